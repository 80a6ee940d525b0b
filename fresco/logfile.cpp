#include "logfile.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <atomic>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#endif

namespace fresco {

namespace {

const char *const kFixedPath = "D:/tarn3dLog.txt";

#ifdef _WIN32
class SystemLogLocation : public LogLocation
{
public:
    bool fixedPathUsable() const override
    {
        // A drive without a medium must not bring up the system's "insert a
        // disk" box in the middle of a job.
        DWORD previousMode = 0;
        SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
        bool usable = false;
        const UINT type = GetDriveTypeW(L"D:\\");
        if (type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN) {
            const HANDLE file = CreateFileW(L"D:\\tarn3dLog.txt", FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                usable = true;
                CloseHandle(file);
            }
        }
        SetThreadErrorMode(previousMode, nullptr);
        return usable;
    }

    QString localDataFolder() const override
    {
        // On Windows the generic data location is %LOCALAPPDATA% itself, not
        // a folder named after whichever program loaded the library.
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    }
};

std::atomic<const LogLocation *> g_location{nullptr};

QString windowsLogPath()
{
    static const SystemLogLocation systemLocation;
    const LogLocation *location = g_location.load();
    if (!location)
        location = &systemLocation;
    if (location->fixedPathUsable())
        return QString::fromLatin1(kFixedPath);
    const QString folder = location->localDataFolder();
    if (folder.isEmpty())
        return QString();
    return QDir::cleanPath(folder) + QStringLiteral("/tarn3dLog.txt");
}
#endif

} // namespace

void setLogLocation(const LogLocation *location)
{
#ifdef _WIN32
    g_location.store(location);
#else
    (void)location;
    (void)kFixedPath;
#endif
}

std::string logFilePath()
{
#if defined(_WIN32)
    return windowsLogPath().toStdString();
#else
    QString stateDir = QString::fromLocal8Bit(qgetenv("XDG_STATE_HOME"));
    // The XDG rules ignore relative values.
    if (stateDir.isEmpty() || QDir::isRelativePath(stateDir))
        stateDir = QDir::homePath() + QStringLiteral("/.local/state");
    return (stateDir + QStringLiteral("/tarn3dLog.txt")).toLocal8Bit().toStdString();
#endif
}

void writeLog(const std::string &line)
{
    const std::string path = logFilePath();
    if (path.empty())
        return;
#if defined(_WIN32)
    const QString text = QString::fromStdString(path);
    // Through the wide-character API: the user's folder may have a name the
    // ANSI code page cannot spell.
    const std::filesystem::path file(text.toStdWString());
#else
    const QString text = QString::fromLocal8Bit(path.c_str());
    const std::filesystem::path file(path);
#endif
    QDir().mkpath(QFileInfo(text).absolutePath());
    // The runtime opens files shared for reading and writing, so other
    // processes may follow the log while a job runs.
    std::ofstream out(file, std::ios::out | std::ios::app);
    if (!out.is_open())
        return;
    out << line << std::endl;
}

} // namespace fresco
