#include "package_installer.h"

#include "install_texts.h"
#include "loader_list.h"
#include "path_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarn3d {

namespace {

QFileInfoList packageFiles(const QString& dir)
{
    return QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
}

QFileInfoList packageFolders(const QString& dir)
{
    return QDir(dir).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot,
                                   QDir::Name | QDir::IgnoreCase);
}

} // namespace

PackageInstaller::PackageInstaller(const QString& appDir, HostFamily family, OperationObserver& observer)
    : appDir_(appDir), family_(family), observer_(observer)
{
}

QString PackageInstaller::packageDir() const
{
    return joinPath(appDir_, QStringLiteral("TARN3D"));
}

QString PackageInstaller::binPackageDir(const HostProfile& target) const
{
    return packageDir() + (target.x86 ? QStringLiteral("/x86") : QStringLiteral("/x64"))
         + QStringLiteral("/tarn3d_Dll");
}

QStringList PackageInstaller::keepList()
{
    return {QStringLiteral("Verdo.Sqlite3.dll"), QStringLiteral("msvcp140.dll"), QStringLiteral("vcruntime140.dll")};
}

bool PackageInstaller::installFiles(const HostProfile& target)
{
    if (target.binDir.isEmpty())
        return false;
    const struct {
        QString root;
        QString source;
        Destination kind;
    } trees[] = {
        {target.binDir, binPackageDir(target), Destination::Bin},
        {target.systemDir, packageDir() + QStringLiteral("/system"), Destination::System},
        {target.blocksDir, packageDir() + QStringLiteral("/BLOCKS"), Destination::Blocks},
    };
    for (const auto& tree : trees) {
        if (!copyTree(tree.root, tree.source, QString(), tree.kind)) {
            observer_.appendDetail(texts::installFailedDetail());
            return false;
        }
    }
    observer_.appendDetail(texts::installDoneDetail());

    const QString moduleFile = pluginFileName(family_);
    const QString source = packageDir() + (target.x86 ? QStringLiteral("/x86/") : QStringLiteral("/x64/"))
                         + target.productName + QLatin1Char('/') + moduleFile;
    const QString destination = joinPath(target.binDir, moduleFile);
    if (QFileInfo::exists(destination))
        QFile::remove(destination);
    if (!QFile::copy(source, destination)) {
        // The folders went in, but without the module file the install is not
        // done; say so after the line that announced completion.
        observer_.appendDetail(texts::installFailedDetail());
        return false;
    }
    return true;
}

QString PackageInstaller::listFilePath(const HostProfile& target, const QString& listName) const
{
    const QString dir = target.extraSystemDir.isEmpty() ? target.systemDir : target.extraSystemDir;
    return joinPath(dir, listName);
}

bool PackageInstaller::registerModule(const HostProfile& target, const QString& module, const QString& listName)
{
    if (target.systemDir.isEmpty())
        return false;
    if (addModuleLine(listFilePath(target, listName), module))
        return true;
    // The details already say "安装完成..." for the files; a list file that
    // is missing or cannot be rewritten must not leave that as the last word.
    observer_.appendDetail(texts::installFailedDetail());
    return false;
}

bool PackageInstaller::unregisterModule(const HostProfile& target, const QString& module, const QString& listName)
{
    if (target.systemDir.isEmpty())
        return false;
    const QString listFile = listFilePath(target, listName);
    if (!QFileInfo::exists(listFile))
        return false;
    return removeModuleLine(listFile, module);
}

bool PackageInstaller::copyTree(const QString& destinationRoot, const QString& sourceDir, const QString& subPath,
                                Destination destination)
{
    if (destinationRoot.isEmpty())
        return true; // a target without that folder (BLOCKS) skips the tree
    const QString targetDir = destinationRoot + subPath;
    if (!QFileInfo(targetDir).isDir())
        QDir().mkpath(targetDir);

    const QFileInfoList files = packageFiles(sourceDir);
    const int offset = destination == Destination::Blocks ? 1 : 0;
    observer_.setProgressRange(0, static_cast<int>(files.size()) - 1 + offset);
    for (int i = 0; i < files.size(); ++i) {
        const QFileInfo& file = files.at(i);
        observer_.keepResponsive();
        observer_.setProgressValue(i + offset);
        observer_.appendDetail(texts::copying(file.fileName()));
        const QString target = QDir::cleanPath(joinPath(targetDir, file.fileName()));
        if (QFileInfo::exists(target))
            QFile::remove(target);
        if (!QFile::copy(file.filePath(), target))
            return false;
    }
    for (const QFileInfo& folder : packageFolders(sourceDir)) {
        if (!copyTree(destinationRoot, folder.filePath(), subPath + QLatin1Char('/') + folder.fileName(),
                      destination))
            return false;
    }
    return true;
}

bool PackageInstaller::uninstallFiles(const HostProfile& target)
{
    if (target.binDir.isEmpty())
        return false;
    if (!removeTree(target, binPackageDir(target), QString())) {
        observer_.appendDetail(texts::uninstallFailedDetail());
        return false;
    }
    observer_.appendDetail(texts::uninstallDoneDetail());
    const QString moduleFile = joinPath(target.binDir, pluginFileName(family_));
    if (QFileInfo::exists(moduleFile))
        return QFile::remove(moduleFile);
    return true;
}

bool PackageInstaller::removeTree(const HostProfile& target, const QString& sourceDir, const QString& subPath)
{
    if (target.binDir.isEmpty())
        return true;
    const QString targetDir = target.binDir + subPath;

    const QFileInfoList files = packageFiles(sourceDir);
    const QStringList keep = keepList();
    observer_.setProgressRange(0, static_cast<int>(files.size()) - 1);
    for (int i = 0; i < files.size(); ++i) {
        const QString name = files.at(i).fileName();
        observer_.keepResponsive();
        observer_.setProgressValue(i);
        observer_.appendDetail(texts::removing(name));
        if (keep.contains(name, Qt::CaseInsensitive))
            continue;
        const QString file = joinPath(targetDir, name);
        if (QFileInfo::exists(file) && !QFile::remove(file))
            return false;
    }
    for (const QFileInfo& folder : packageFolders(sourceDir)) {
        const QString path = joinPath(targetDir, folder.fileName());
        const QFileInfo info(path);
        if (info.isSymLink()) {
            // Only the link goes; the folder it points to is not ours.
            if (!QFile::remove(path))
                return false;
        } else if (info.isDir() && !QDir(path).removeRecursively()) {
            return false;
        }
    }
    return true;
}

bool installPackage(PackageInstaller& installer, const HostProfile& target)
{
    return installer.installFiles(target)
        && installer.registerModule(target, moduleName(), loaderListName(installer.family()));
}

bool uninstallPackage(PackageInstaller& installer, const HostProfile& target)
{
    const bool ok = installer.uninstallFiles(target);
    // The list entry goes whatever happened to the files; its outcome does not
    // change the result, as a stale entry only makes the host warn on start.
    installer.unregisterModule(target, moduleName(), loaderListName(installer.family()));
    return ok;
}

} // namespace tarn3d
