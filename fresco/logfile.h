// Step markers of a job ("Debug 12" ... "Debug 26"), appended to a fixed log
// file so that the last line shows how far the end of a job got.
#pragma once

#include <QString>

#include <string>

namespace fresco {

// Where the log may go on Windows. The system's answers are used unless a
// test puts in its own with setLogLocation().
class LogLocation
{
public:
    virtual ~LogLocation() = default;
    // Whether drive D: exists and "D:/tarn3dLog.txt" can be opened for
    // appending (which creates it when missing).
    virtual bool fixedPathUsable() const = 0;
    // The user's local application-data folder (%LOCALAPPDATA%); empty when
    // it cannot be found.
    virtual QString localDataFolder() const = 0;
};

// Replaces the Windows answers; nullptr restores the system's. The caller
// keeps `location` alive until it is replaced.
void setLogLocation(const LogLocation *location);

// On Windows "D:/tarn3dLog.txt" when drive D: can take it, otherwise
// "tarn3dLog.txt" in the user's local application-data folder (UTF-8);
// elsewhere "tarn3dLog.txt" in the per-user state folder ($XDG_STATE_HOME, or
// ~/.local/state when that is unset or not absolute). Looked up on every
// call; empty when there is nowhere to write.
std::string logFilePath();

// Appends `line` and a line end, opening, flushing and closing the file each
// time so that every line reaches the system before the next step begins.
// Creates the log's folder when missing; a file that cannot be opened drops
// the line silently.
void writeLog(const std::string &line);

} // namespace fresco
