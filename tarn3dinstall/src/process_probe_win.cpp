// Walks a Toolhelp snapshot of all processes.
#include "process_probe.h"

#include <windows.h>
#include <tlhelp32.h>

namespace tarn3d {
namespace {

class ToolhelpProcessProbe : public ProcessProbe {
public:
    bool isRunning(const QString& executableName) const override
    {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return false;
        bool found = false;
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof(entry);
        BOOL more = Process32FirstW(snapshot, &entry);
        while (more) {
            if (isSameExecutableName(QString::fromWCharArray(entry.szExeFile), executableName)) {
                found = true;
                break;
            }
            entry.dwSize = sizeof(entry);
            more = Process32NextW(snapshot, &entry);
        }
        CloseHandle(snapshot);
        return found;
    }
};

} // namespace

std::unique_ptr<ProcessProbe> createSystemProcessProbe()
{
    return std::make_unique<ToolhelpProcessProbe>();
}

} // namespace tarn3d
