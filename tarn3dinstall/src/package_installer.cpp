#include "package_installer.h"

#include "file_transaction.h"
#include "install_texts.h"
#include "loader_list.h"
#include "path_text.h"

#include <QDir>
#include <QFileInfo>
#include <QList>

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

// Present as anything, a dangling link included.
bool present(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// One package folder and the target folder its files go to.
struct FolderCopy {
    QString destination;
    QFileInfoList files;
    PackageInstaller::Destination kind;

    QString destinationOf(const QFileInfo& file) const
    {
        return QDir::cleanPath(joinPath(destination, file.fileName()));
    }
};

// The folders of one package tree, each before its subfolders.
void planTree(const QString& destinationRoot, const QString& sourceDir, const QString& subPath,
              PackageInstaller::Destination kind, QList<FolderCopy>& plan)
{
    plan.append({destinationRoot + subPath, packageFiles(sourceDir), kind});
    for (const QFileInfo& folder : packageFolders(sourceDir))
        planTree(destinationRoot, folder.filePath(), subPath + QLatin1Char('/') + folder.fileName(), kind, plan);
}

// Package files found in a target folder tree, by path relative to it.
void presentFiles(const QString& sourceDir, const QString& targetDir, const QString& prefix, QStringList& found)
{
    for (const QFileInfo& file : packageFiles(sourceDir)) {
        if (QFileInfo(joinPath(targetDir, file.fileName())).isFile())
            found.append(prefix + file.fileName());
    }
    for (const QFileInfo& folder : packageFolders(sourceDir))
        presentFiles(folder.filePath(), joinPath(targetDir, folder.fileName()), prefix + folder.fileName() + '/',
                     found);
}

// Why one of the files to be replaced or removed may not be touched (a
// folder in its place, or read-only); empty when all may.
QString whyNotChangeable(FileSystem& files, const QStringList& paths)
{
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink())
            return texts::folderInTheWay(path);
        if (info.exists() && files.isReadOnly(path))
            return texts::readOnly(path);
    }
    return QString();
}

// Reports a failed operation: the reason, then what undoing it left, then
// the closing line.
bool failWith(OperationObserver& observer, const QString& reason, const QString& closingLine)
{
    observer.reportProblem(reason);
    observer.appendDetail(closingLine);
    return false;
}

bool abandon(OperationObserver& observer, FileTransaction& transaction, const QString& closingLine)
{
    observer.reportProblem(transaction.error());
    const QStringList problems = transaction.rollback();
    if (problems.isEmpty())
        observer.appendDetail(texts::undone());
    for (const QString& problem : problems)
        observer.reportProblem(problem);
    observer.appendDetail(closingLine);
    return false;
}

// The common end of every operation: the list goes in last (until it names
// the module the host loads none of the new files), then everything is put
// in place at once; set-aside files that cannot be dropped are named.
bool commitWithList(OperationObserver& observer, FileTransaction& transaction, bool listChanges,
                    const QString& listFile, const QByteArray& newList, const QString& closingLine)
{
    if (listChanges && !transaction.stageReplacement(listFile, newList))
        return abandon(observer, transaction, closingLine);
    if (!transaction.commit())
        return abandon(observer, transaction, closingLine);
    for (const QString& leftover : transaction.finish())
        observer.reportProblem(leftover);
    return true;
}

} // namespace

PackageInstaller::PackageInstaller(const QString& appDir, HostFamily family, OperationObserver& observer,
                                   FileSystem* files)
    : appDir_(appDir),
      family_(family),
      observer_(observer),
      ownFiles_(files ? nullptr : std::make_unique<SystemFileSystem>()),
      files_(files ? *files : *ownFiles_)
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

QString PackageInstaller::moduleSourcePath(const HostProfile& target) const
{
    return packageDir() + (target.x86 ? QStringLiteral("/x86/") : QStringLiteral("/x64/")) + target.productName
         + QLatin1Char('/') + pluginFileName(family_);
}

QString PackageInstaller::listFilePath(const HostProfile& target) const
{
    const QString dir = target.extraSystemDir.isEmpty() ? target.systemDir : target.extraSystemDir;
    return joinPath(dir, loaderListName(family_));
}

QStringList PackageInstaller::keepList()
{
    return {QStringLiteral("Verdo.Sqlite3.dll"), QStringLiteral("msvcp140.dll"), QStringLiteral("vcruntime140.dll")};
}

bool PackageInstaller::install(const HostProfile& target)
{
    if (target.binDir.isEmpty())
        return false;
    const QString failed = texts::installFailedDetail();
    if (target.systemDir.isEmpty())
        return failWith(observer_, texts::noTargetFolder(QStringLiteral("SYSTEM")), failed);

    // The package first: a missing part is found before anything changes.
    const QString systemSource = packageDir() + QStringLiteral("/system");
    const QString blocksSource = packageDir() + QStringLiteral("/BLOCKS");
    QStringList sources{binPackageDir(target), systemSource};
    if (!target.blocksDir.isEmpty())
        sources.append(blocksSource);
    for (const QString& dir : sources) {
        if (!QFileInfo(dir).isDir())
            return failWith(observer_, texts::packageIncomplete(dir), failed);
    }
    const QString moduleSource = moduleSourcePath(target);
    if (!QFileInfo(moduleSource).isFile())
        return failWith(observer_, texts::packageIncomplete(moduleSource), failed);

    QList<FolderCopy> plan;
    planTree(target.binDir, binPackageDir(target), QString(), Destination::Bin, plan);
    planTree(target.systemDir, systemSource, QString(), Destination::System, plan);
    if (!target.blocksDir.isEmpty())
        planTree(target.blocksDir, blocksSource, QString(), Destination::Blocks, plan);
    const QString moduleDestination = joinPath(target.binDir, pluginFileName(family_));

    // Then the target: every file to be replaced must be replaceable.
    QStringList destinations;
    for (const FolderCopy& folder : plan) {
        for (const QFileInfo& file : folder.files)
            destinations.append(folder.destinationOf(file));
    }
    destinations.append(moduleDestination);
    const QString blocked = whyNotChangeable(files_, destinations);
    if (!blocked.isEmpty())
        return failWith(observer_, blocked, failed);

    const QString listFile = listFilePath(target);
    if (!QFileInfo(listFile).isFile())
        return failWith(observer_, texts::listMissing(listFile), failed);
    QByteArray list;
    QString reason;
    if (!files_.readFile(listFile, &list, &reason))
        return failWith(observer_, texts::cannotRead(listFile, reason), failed);
    const QByteArray newList = withModuleLine(list, moduleName().toLatin1());
    const bool listChanges = newList != list;
    if (listChanges && files_.isReadOnly(listFile))
        return failWith(observer_, texts::readOnly(listFile), failed);

    FileTransaction transaction(files_);
    for (const QString& destination : destinations)
        transaction.reserve(destination);
    for (const FolderCopy& folder : plan) {
        if (!transaction.makePath(folder.destination))
            return abandon(observer_, transaction, failed);
        const int offset = folder.kind == Destination::Blocks ? 1 : 0;
        observer_.setProgressRange(0, static_cast<int>(folder.files.size()) - 1 + offset);
        for (int i = 0; i < folder.files.size(); ++i) {
            const QFileInfo& file = folder.files.at(i);
            observer_.keepResponsive();
            observer_.setProgressValue(i + offset);
            observer_.appendDetail(texts::copying(file.fileName()));
            if (!transaction.stageCopy(file.filePath(), folder.destinationOf(file)))
                return abandon(observer_, transaction, failed);
        }
    }
    if (!transaction.stageCopy(moduleSource, moduleDestination))
        return abandon(observer_, transaction, failed);
    if (!commitWithList(observer_, transaction, listChanges, listFile, newList, failed))
        return false;
    observer_.appendDetail(texts::installDoneDetail());
    return true;
}

bool PackageInstaller::uninstall(const HostProfile& target)
{
    if (target.binDir.isEmpty())
        return false;
    const QString failed = texts::uninstallFailedDetail();
    const QString binSource = binPackageDir(target);
    if (!QFileInfo(binSource).isDir())
        return failWith(observer_, texts::packageIncomplete(binSource), failed);

    // What there is to remove: the package's BIN files but the shared ones,
    // the BIN folders of the package's subfolder names, the module file.
    const QFileInfoList files = packageFiles(binSource);
    const QStringList keep = keepList();
    QStringList fileRemovals;
    for (const QFileInfo& file : files) {
        const QString path = joinPath(target.binDir, file.fileName());
        if (!keep.contains(file.fileName(), Qt::CaseInsensitive) && present(path))
            fileRemovals.append(path);
    }
    QStringList otherRemovals; // whole folders, then the module file
    for (const QFileInfo& folder : packageFolders(binSource)) {
        const QString path = joinPath(target.binDir, folder.fileName());
        const QFileInfo info(path);
        if (info.isDir() || info.isSymLink())
            otherRemovals.append(path);
    }
    const QString moduleFile = joinPath(target.binDir, pluginFileName(family_));
    QStringList singleFiles = fileRemovals;
    if (present(moduleFile) && !fileRemovals.contains(moduleFile)) {
        otherRemovals.append(moduleFile);
        singleFiles.append(moduleFile);
    }
    const QString blocked = whyNotChangeable(files_, singleFiles);
    if (!blocked.isEmpty())
        return failWith(observer_, blocked, failed);

    const QString listFile = listFilePath(target);
    QByteArray list;
    QByteArray newList;
    if (QFileInfo(listFile).isFile()) {
        QString reason;
        if (!files_.readFile(listFile, &list, &reason))
            return failWith(observer_, texts::cannotRead(listFile, reason), failed);
        newList = withoutModuleLines(list, moduleName().toLatin1());
    }
    const bool listChanges = newList != list;
    if (listChanges && files_.isReadOnly(listFile))
        return failWith(observer_, texts::readOnly(listFile), failed);

    if (fileRemovals.isEmpty() && otherRemovals.isEmpty() && !listChanges) {
        observer_.appendDetail(texts::notInstalled());
        observer_.appendDetail(texts::uninstallDoneDetail());
        return true;
    }

    FileTransaction transaction(files_);
    observer_.setProgressRange(0, static_cast<int>(files.size()) - 1);
    for (int i = 0; i < files.size(); ++i) {
        const QString name = files.at(i).fileName();
        const QString path = joinPath(target.binDir, name);
        observer_.keepResponsive();
        observer_.setProgressValue(i);
        if (!present(path))
            continue;
        if (!fileRemovals.contains(path)) {
            observer_.appendDetail(texts::keptShared(name));
            continue;
        }
        observer_.appendDetail(texts::removing(name));
        if (!transaction.stageRemoval(path))
            return abandon(observer_, transaction, failed);
    }
    for (const QString& path : otherRemovals) {
        observer_.appendDetail(texts::removing(QFileInfo(path).fileName()));
        if (!transaction.stageRemoval(path))
            return abandon(observer_, transaction, failed);
    }
    if (!commitWithList(observer_, transaction, listChanges, listFile, newList, failed))
        return false;

    // SYSTEM and BLOCKS stay: the menus and drawings may be in use by the
    // plug-in itself.
    QStringList keptFiles;
    presentFiles(packageDir() + QStringLiteral("/system"), target.systemDir, QString(), keptFiles);
    if (!target.blocksDir.isEmpty())
        presentFiles(packageDir() + QStringLiteral("/BLOCKS"), target.blocksDir, QString(), keptFiles);
    for (const QString& file : keptFiles)
        observer_.appendDetail(texts::kept(file));
    observer_.appendDetail(texts::uninstallDoneDetail());
    return true;
}

bool installPackage(PackageInstaller& installer, const HostProfile& target)
{
    return installer.install(target);
}

bool uninstallPackage(PackageInstaller& installer, const HostProfile& target)
{
    return installer.uninstall(target);
}

} // namespace tarn3d
