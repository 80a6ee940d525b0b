#include "outputfolder.h"

#include <QFileInfo>
#include <QTemporaryFile>

namespace fresco {

QString outputFolderProblem(const QString &folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.exists())
        return QStringLiteral("it does not exist");
    if (!info.isDir())
        return QStringLiteral("it is not a folder");
    // Permissions alone do not tell (read-only mounts, ACLs, quotas): try.
    QTemporaryFile probe(folder + QStringLiteral("/.fresco-probe-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    return QString();
}

} // namespace fresco
