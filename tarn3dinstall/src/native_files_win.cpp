#include "native_files.h"

#include <QDir>
#include <QFile>

#include <windows.h>

namespace tarn3d::native {

namespace {

std::wstring nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool fail(QString* error)
{
    const DWORD code = GetLastError();
    if (error)
        *error = errorText(static_cast<int>(code));
    return false;
}

} // namespace

bool renameEntry(const QString& from, const QString& to, bool replace, QString* error)
{
    const DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
    return MoveFileExW(nativePath(from).c_str(), nativePath(to).c_str(), flags) || fail(error);
}

bool removeFile(const QString& path, QString* error)
{
    // A link to a folder is itself a folder entry and goes with RemoveDirectory.
    const std::wstring name = nativePath(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
        && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return RemoveDirectoryW(name.c_str()) || fail(error);
    return DeleteFileW(name.c_str()) || fail(error);
}

bool makeDir(const QString& path, QString* error)
{
    return CreateDirectoryW(nativePath(path).c_str(), nullptr) || fail(error);
}

bool removeEmptyDir(const QString& path, QString* error)
{
    return RemoveDirectoryW(nativePath(path).c_str()) || fail(error);
}

bool isReadOnly(const QString& path)
{
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
        && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool syncToDisk(QFile& /*file*/, QString* /*error*/)
{
    // NTFS and FAT allocate space while WriteFile runs, so a full disk has
    // already failed the write or the flush; nothing is left to learn here.
    return true;
}

QString errorText(int code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM
                                            | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer),
                                        0, nullptr);
    QString text = length ? QString::fromWCharArray(buffer, static_cast<int>(length)).trimmed()
                          : QStringLiteral("error %1").arg(code);
    if (buffer)
        LocalFree(buffer);
    return text;
}

} // namespace tarn3d::native
