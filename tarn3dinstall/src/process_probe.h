#pragma once

#include <QString>
#include <memory>

namespace tarn3d {

// Tells whether a process with the given executable file name runs now.
class ProcessProbe {
public:
    virtual ~ProcessProbe() = default;
    // Exact, case-sensitive comparison of the whole executable file name.
    virtual bool isRunning(const QString& executableName) const = 0;
};

std::unique_ptr<ProcessProbe> createSystemProcessProbe();

} // namespace tarn3d
