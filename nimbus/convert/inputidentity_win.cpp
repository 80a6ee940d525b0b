#include "inputidentity.h"

#include <windows.h>

#include <string>

namespace nimbus {

InputIdentity InputIdentity::of(const QString& path)
{
    InputIdentity identity;
    // No access asked for: only the file's attributes are read, and no other
    // reader or writer is refused meanwhile.
    const std::wstring name = path.toStdWString();
    HANDLE file = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(file, &info)) {
        identity.known = true;
        identity.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        identity.volume = info.dwVolumeSerialNumber;
        identity.file = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    ::CloseHandle(file);
    return identity;
}

} // namespace nimbus
