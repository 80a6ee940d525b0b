// Step markers of a job ("Debug 12" ... "Debug 26"), appended to a fixed log
// file so that the last line shows how far the end of a job got.
#pragma once

#include <string>

namespace fresco {

// "D:/tarn3dLog.txt" on Windows; elsewhere "tarn3dLog.txt" in the per-user
// state folder ($XDG_STATE_HOME, or ~/.local/state when that is unset or not
// absolute). Looked up on every call.
std::string logFilePath();

// Appends `line` and a line end, opening, flushing and closing the file each
// time so that every line reaches the system before the next step begins.
// Creates the state folder when missing; a file that cannot be opened drops
// the line silently.
void writeLog(const std::string &line);

} // namespace fresco
