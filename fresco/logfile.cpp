#include "logfile.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <fstream>

namespace fresco {

std::string logFilePath()
{
#if defined(_WIN32)
    return "D:/tarn3dLog.txt";
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
#if !defined(_WIN32)
    QDir().mkpath(QFileInfo(QString::fromLocal8Bit(path.c_str())).absolutePath());
#endif
    // The runtime opens files shared for reading and writing, so other
    // processes may follow the log while a job runs.
    std::ofstream out(path, std::ios::out | std::ios::app);
    if (!out.is_open())
        return;
    out << line << std::endl;
}

} // namespace fresco
