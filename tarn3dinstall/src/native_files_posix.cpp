#include "native_files.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn3d::native {

namespace {

bool fail(QString* error)
{
    const int code = errno;
    if (error)
        *error = errorText(code);
    return false;
}

} // namespace

bool renameEntry(const QString& from, const QString& to, bool replace, QString* error)
{
    const QByteArray target = QFile::encodeName(to);
    struct stat info;
    if (!replace && ::lstat(target.constData(), &info) == 0) {
        errno = EEXIST;
        return fail(error);
    }
    return ::rename(QFile::encodeName(from).constData(), target.constData()) == 0 || fail(error);
}

bool removeFile(const QString& path, QString* error)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 || fail(error);
}

bool makeDir(const QString& path, QString* error)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0777) == 0 || fail(error);
}

bool removeEmptyDir(const QString& path, QString* error)
{
    return ::rmdir(QFile::encodeName(path).constData()) == 0 || fail(error);
}

bool isReadOnly(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(name.constData(), W_OK) != 0;
}

bool syncToDisk(QFile& file, QString* error)
{
    return ::fsync(file.handle()) == 0 || fail(error);
}

QString errorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace tarn3d::native
