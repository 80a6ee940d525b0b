#include "test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace tarn3d::test {

const QString kAutoCadRoot = QStringLiteral("HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD");
const QString kAutoCadWowRoot = QStringLiteral("HKEY_CURRENT_USER\\Software\\Wow6432Node\\Autodesk\\AutoCAD");
const QString kZwcadRoot = QStringLiteral("HKEY_CURRENT_USER\\Software\\ZWSOFT\\ZWCAD");
const QString kZwcadOemRoot = QStringLiteral("HKEY_CURRENT_USER\\Software\\RUDOVAVERA\\ZWCADOEM");
const QString kGstarRoot = QStringLiteral("HKEY_CURRENT_USER\\Software\\Gstarsoft\\GstarCAD");

TempTree::TempTree() = default;

QString TempTree::path(const QString& relative) const
{
    return relative.isEmpty() ? dir_.path() : dir_.path() + '/' + relative;
}

QString TempTree::mkdir(const QString& relative) const
{
    const QString full = path(relative);
    QDir().mkpath(full);
    return full;
}

QString TempTree::write(const QString& relative, const QByteArray& content) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).path());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return full;
}

QByteArray TempTree::read(const QString& relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool TempTree::exists(const QString& relative) const
{
    return QFileInfo::exists(path(relative));
}

static QString escaped(QString text)
{
    text.replace('\\', QLatin1String("\\\\"));
    text.replace('"', QLatin1String("\\\""));
    return text;
}

RegText& RegText::key(const QString& keyPath)
{
    if (keyPath != currentKey_) {
        lines_.append(QString());
        lines_.append('[' + keyPath + ']');
        currentKey_ = keyPath;
    }
    return *this;
}

RegText& RegText::value(const QString& keyPath, const QString& name, const QString& text)
{
    key(keyPath);
    lines_.append('"' + escaped(name) + "\"=\"" + escaped(text) + '"');
    return *this;
}

RegText& RegText::raw(const QString& line)
{
    lines_.append(line);
    return *this;
}

QString RegText::text() const
{
    return QStringLiteral("Windows Registry Editor Version 5.00\r\n") + lines_.join(QStringLiteral("\r\n"))
         + QStringLiteral("\r\n");
}

QByteArray RegText::utf8() const
{
    return text().toUtf8();
}

QByteArray RegText::utf16WithBom() const
{
    const QString content = text();
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : content) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

std::shared_ptr<RegFileRegistry> registryFrom(const RegText& text)
{
    auto registry = std::make_shared<RegFileRegistry>();
    registry->parse(text.utf8());
    return registry;
}

QString profileKey(const QString& root, const QString& release, const QString& product, const QString& profile,
                   const QString& group)
{
    return QStringLiteral("%1\\%2\\%3\\Profiles\\%4\\%5").arg(root, release, product, profile, group);
}

PluginDirs makePluginDirs(const TempTree& tree, const QString& base, const QString& listName,
                          const QByteArray& listContent)
{
    PluginDirs dirs;
    dirs.bin = tree.mkdir(base + "/BIN");
    dirs.system = tree.mkdir(base + "/SYSTEM");
    dirs.blocks = tree.mkdir(base + "/BLOCKS");
    tree.write(base + "/SYSTEM/" + listName, listContent);
    return dirs;
}

QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray content;
        if (info.isSymLink()) {
            content = "<link> " + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
            content = "<dir>";
        } else {
            QFile file(path);
            content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
        }
        entries.insert(path.mid(root.size()), content);
    }
    return entries;
}

bool FaultyFileSystem::fails(QString* error)
{
    if (!failing.contains(++changes))
        return false;
    if (error)
        *error = QStringLiteral("injected fault %1").arg(changes);
    return true;
}

bool FaultyFileSystem::makeDir(const QString& path, QString* error)
{
    return !fails(error) && real_.makeDir(path, error);
}

bool FaultyFileSystem::removeDir(const QString& path, QString* error)
{
    return !fails(error) && real_.removeDir(path, error);
}

bool FaultyFileSystem::copyFile(const QString& source, const QString& destination, QString* error)
{
    if (!fails(error))
        return real_.copyFile(source, destination, error);
    QByteArray bytes;
    QString ignored;
    if (real_.readFile(source, &bytes, &ignored))
        real_.writeFile(destination, bytes.left(bytes.size() / 2), &ignored);
    return false;
}

bool FaultyFileSystem::writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    if (!fails(error))
        return real_.writeFile(path, bytes, error);
    QString ignored;
    real_.writeFile(path, bytes.left(bytes.size() / 2), &ignored);
    return false;
}

bool FaultyFileSystem::readFile(const QString& path, QByteArray* bytes, QString* error)
{
    return real_.readFile(path, bytes, error);
}

bool FaultyFileSystem::rename(const QString& from, const QString& to, bool replace, QString* error)
{
    return !fails(error) && real_.rename(from, to, replace, error);
}

bool FaultyFileSystem::removeFile(const QString& path, QString* error)
{
    return !fails(error) && real_.removeFile(path, error);
}

bool FaultyFileSystem::removeTree(const QString& path, QString* error)
{
    return !fails(error) && real_.removeTree(path, error);
}

bool FaultyFileSystem::isReadOnly(const QString& path)
{
    return readOnlyFiles.contains(path) || real_.isReadOnly(path);
}

} // namespace tarn3d::test
