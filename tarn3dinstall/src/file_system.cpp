#include "file_system.h"

#include "install_texts.h"
#include "native_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

namespace tarn3d {

namespace {

bool failWith(const QFile& file, QString* error)
{
    if (error)
        *error = file.errorString();
    return false;
}

// Flushes, syncs and closes a file written through `file`, checking each.
bool finishWriting(QFile& file, QString* error)
{
    if (!file.flush())
        return failWith(file, error);
    if (!native::syncToDisk(file, error))
        return false;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return failWith(file, error);
    return true;
}

// Writes all bytes. A short write is retried, so a disk that fills up part
// way reports its reason on the next attempt instead of no reason at all.
bool writeAll(QFile& file, const char* data, qint64 size, QString* error)
{
    while (size > 0) {
        const qint64 written = file.write(data, size);
        if (written <= 0)
            return failWith(file, error);
        data += written;
        size -= written;
    }
    return true;
}

bool openNew(QFile& file, QString* error)
{
    // Unbuffered: a failing write then carries the system's reason, not a
    // generic one from a later flush of the buffer.
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered) || failWith(file, error);
}

} // namespace

bool SystemFileSystem::makeDir(const QString& path, QString* error)
{
    return native::makeDir(path, error);
}

bool SystemFileSystem::removeDir(const QString& path, QString* error)
{
    return native::removeEmptyDir(path, error);
}

bool SystemFileSystem::copyFile(const QString& source, const QString& destination, QString* error)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return failWith(in, error);
    QFile out(destination);
    if (!openNew(out, error))
        return false;
    bool ok = true;
    constexpr qint64 kChunk = 256 * 1024;
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
        const qint64 got = in.read(buffer.get(), kChunk);
        if (got < 0) {
            ok = failWith(in, error);
            break;
        }
        if (got == 0)
            break;
        if (!writeAll(out, buffer.get(), got, error)) {
            ok = false;
            break;
        }
    }
    if (ok)
        ok = finishWriting(out, error);
    if (!ok) {
        out.close();
        QFile::remove(destination);
    }
    return ok;
}

bool SystemFileSystem::writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile out(path);
    if (!openNew(out, error))
        return false;
    const bool ok = writeAll(out, bytes.constData(), bytes.size(), error) && finishWriting(out, error);
    if (!ok) {
        out.close();
        QFile::remove(path);
    }
    return ok;
}

bool SystemFileSystem::readFile(const QString& path, QByteArray* bytes, QString* error)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return failWith(in, error);
    *bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return failWith(in, error);
    return true;
}

bool SystemFileSystem::rename(const QString& from, const QString& to, bool replace, QString* error)
{
    return native::renameEntry(from, to, replace, error);
}

bool SystemFileSystem::removeFile(const QString& path, QString* error)
{
    return native::removeFile(path, error);
}

bool SystemFileSystem::removeTree(const QString& path, QString* error)
{
    const QFileInfo info(path);
    // A link or a Windows junction goes alone; what it points to is not ours.
    if (info.isSymLink() || info.isJunction() || !info.isDir())
        return native::removeFile(path, error);
    if (QDir(path).removeRecursively())
        return true;
    if (error)
        *error = texts::partlyDeleted();
    return false;
}

bool SystemFileSystem::isReadOnly(const QString& path)
{
    return native::isReadOnly(path);
}

} // namespace tarn3d
