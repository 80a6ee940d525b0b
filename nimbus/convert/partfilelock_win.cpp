#include "partfilelock.h"


#include <windows.h>

namespace nimbus {

namespace {

// The locked byte lies far beyond any data, so the writer, which writes
// through its own handle, is never refused by the lock.
constexpr DWORD kLockOffsetHigh = 0x40000000;

} // namespace

bool PartFileLock::acquire(const QString& path)
{
    release();
    // A file that is being removed can no longer be opened, so the file
    // opened here is the one the name leads to.
    const std::wstring name = path.toStdWString();
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    OVERLAPPED where = {};
    where.OffsetHigh = kLockOffsetHigh;
    if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &where)) {
        ::CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void PartFileLock::release()
{
    if (handle_ == kNoHandle)
        return;
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); // drops the lock
    handle_ = kNoHandle;
}

} // namespace nimbus
