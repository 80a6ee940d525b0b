#include "loader_list.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace tarn3d {

namespace {

const char kLineEnd[] = "\r\n";

bool readListFile(const QString& listFile, QByteArray& bytes, QStringList& lines)
{
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    lines.clear();
    for (const QByteArray& raw : bytes.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (!line.isEmpty())
            lines.append(line);
    }
    return true;
}

bool replaceFile(const QString& listFile, const QByteArray& content)
{
    QSaveFile file(listFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

bool addModuleLine(const QString& listFile, const QString& module)
{
    const QFileInfo info(listFile);
    if (!info.isFile() || !info.isWritable())
        return false;
    QByteArray bytes;
    QStringList lines;
    if (!readListFile(listFile, bytes, lines))
        return false;
    if (lines.contains(module))
        return true;
    // The new name goes on a fresh line; an existing final line break gives a
    // blank line before it, which the host ignores.
    bytes += kLineEnd;
    bytes += module.toLocal8Bit();
    return replaceFile(listFile, bytes);
}

bool removeModuleLine(const QString& listFile, const QString& module)
{
    const QFileInfo info(listFile);
    if (!info.exists())
        return true;
    QByteArray bytes;
    QStringList lines;
    if (!readListFile(listFile, bytes, lines))
        return false;
    const int index = lines.indexOf(module);
    if (index < 0)
        return true;
    if (!info.isWritable())
        return false;
    lines.removeAt(index);
    QByteArray content;
    for (const QString& line : lines) {
        content += line.toLocal8Bit();
        content += kLineEnd;
    }
    return replaceFile(listFile, content);
}

} // namespace tarn3d
