#include "outputnames.h"

#include "prjfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace nimbus {

namespace {

Qt::CaseSensitivity fileNameCase()
{
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

QString comparable(const QString& path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

} // namespace

namespace OutputNames {

std::filesystem::path fileSystemPath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString finalPath(const QString& inputPath, const QString& outputFolder)
{
    const QFileInfo info(inputPath);
    const QString folder =
        outputFolder.isEmpty() ? info.absolutePath() : QFileInfo(outputFolder).absoluteFilePath();
    return QDir::toNativeSeparators(QDir::fromNativeSeparators(folder) + QLatin1Char('/')
                                    + info.completeBaseName() + QLatin1String(".ilas"));
}

QString partialPath(const QString& finalPath)
{
    QString path = finalPath;
    path.chop(5); // ".ilas"
    return path + QLatin1String(".partial.ilas");
}

QString coordinateSystemPath(const QString& ilasPath)
{
    return QString::fromStdString(crs::prjPathBeside(ilasPath.toStdString()));
}

QString partTemplate(const QString& finalPath)
{
    return finalPath + QLatin1String(".XXXXXX.part");
}

QStringList existingPartFiles(const QString& finalPath)
{
    const QFileInfo info(finalPath);
    const QDir folder = info.absoluteDir();
    // Compared as text, not as a pattern: a NAME holding "*" or "[" would
    // otherwise match other outputs' files.
    const QString prefix = info.fileName() + QLatin1Char('.');
    QStringList paths;
    const QStringList names = folder.entryList({QStringLiteral("*.part")},
                                               QDir::Files | QDir::Hidden | QDir::System,
                                               QDir::Name);
    for (const QString& name : names) {
        if (name.startsWith(prefix, fileNameCase()) && name.size() > prefix.size() + 5)
            paths << QDir::toNativeSeparators(folder.filePath(name));
    }
    return paths;
}

bool wouldReplaceInput(const QString& inputPath, const QString& outputPath)
{
    if (comparable(outputPath).compare(comparable(inputPath), fileNameCase()) == 0)
        return true;
    const QString target = QFileInfo(outputPath).canonicalFilePath();
    if (!target.isEmpty() && target == QFileInfo(inputPath).canonicalFilePath())
        return true;
    std::error_code error;
    const std::filesystem::path output = fileSystemPath(outputPath);
    if (!std::filesystem::exists(output, error) || error)
        return false;
    const bool same = std::filesystem::equivalent(output, fileSystemPath(inputPath), error);
    return same && !error;
}

bool outputsWouldReplaceInput(const QString& inputPath, const QString& finalPath)
{
    return wouldReplaceInput(inputPath, finalPath) || wouldReplaceInput(inputPath, partialPath(finalPath));
}

bool isConverterOutput(const QString& fileName)
{
    return fileName.endsWith(QLatin1String(".ilas"), Qt::CaseInsensitive)
        || fileName.endsWith(QLatin1String(".part"), Qt::CaseInsensitive);
}

} // namespace OutputNames

} // namespace nimbus
