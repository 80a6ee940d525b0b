// Scans /proc. The executable name is taken from the exe link where it can
// be read, else from the first command-line word (which also covers Windows
// programs started through a compatibility layer), else from comm.
#include "process_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarn3d {
namespace {

QString lastPathComponent(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.section(QLatin1Char('/'), -1);
}

QStringList executableNames(const QString& processDir)
{
    QStringList names;
    const QString target = QFileInfo(processDir + QStringLiteral("/exe")).symLinkTarget();
    if (!target.isEmpty())
        names.append(lastPathComponent(target));

    QFile cmdline(processDir + QStringLiteral("/cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray data = cmdline.read(4096);
        const QByteArray first = data.left(data.indexOf('\0') < 0 ? data.size() : data.indexOf('\0'));
        if (!first.isEmpty())
            names.append(lastPathComponent(QString::fromLocal8Bit(first)));
    }

    QFile comm(processDir + QStringLiteral("/comm"));
    if (comm.open(QIODevice::ReadOnly))
        names.append(QString::fromLocal8Bit(comm.read(256)).trimmed());
    return names;
}

class ProcFsProcessProbe : public ProcessProbe {
public:
    bool isRunning(const QString& executableName) const override
    {
        if (executableName.isEmpty())
            return false;
        const QDir proc(QStringLiteral("/proc"));
        const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& entry : entries) {
            bool numeric = false;
            entry.toLongLong(&numeric);
            if (!numeric)
                continue;
            for (const QString& name : executableNames(proc.filePath(entry))) {
                if (isSameExecutableName(name, executableName))
                    return true;
            }
        }
        return false;
    }
};

} // namespace

std::unique_ptr<ProcessProbe> createSystemProcessProbe()
{
    return std::make_unique<ProcFsProcessProbe>();
}

} // namespace tarn3d
