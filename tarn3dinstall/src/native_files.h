#pragma once

#include <QString>

class QFile;

// The few file-system calls whose behaviour or error text differs between
// Windows and POSIX systems. Each failing call returns false and, when
// `error` is given, puts the system's own reason into it.
namespace tarn3d::native {

// Renames a file or folder. Without `replace`, an existing `to` makes the call
// fail; with it, an existing file at `to` is replaced in one step.
bool renameEntry(const QString& from, const QString& to, bool replace, QString* error);
// Deletes a file (or a symbolic link, never what it points to).
bool removeFile(const QString& path, QString* error);
// Creates one folder; its parent must exist.
bool makeDir(const QString& path, QString* error);
// Deletes an empty folder.
bool removeEmptyDir(const QString& path, QString* error);
// The file may not be changed: the read-only attribute on Windows; no write
// permission bit at all, or no write access for this user, elsewhere (so it
// binds an administrator or root as well).
bool isReadOnly(const QString& path);
// Pushes the written content of an open file to the disk, so a full or
// failing disk shows up now rather than after the file was put in place.
bool syncToDisk(QFile& file, QString* error);
// The system's text for an error number (errno, or a Windows error code).
QString errorText(int code);

} // namespace tarn3d::native
