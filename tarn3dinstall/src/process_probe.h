#pragma once

#include <QString>
#include <memory>

namespace tarn3d {

// Tells whether a process with the given executable file name runs now.
class ProcessProbe {
public:
    virtual ~ProcessProbe() = default;
    // Compares the whole executable file name, ignoring case as Windows does.
    virtual bool isRunning(const QString& executableName) const = 0;
};

// Whether a running program's file name is the one looked for: the whole
// name, any case ("ACAD.EXE" is "acad.exe").
bool isSameExecutableName(const QString& runningName, const QString& wantedName);

std::unique_ptr<ProcessProbe> createSystemProcessProbe();

} // namespace tarn3d
