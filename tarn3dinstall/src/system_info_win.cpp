#include "system_info.h"

#include <windows.h>

namespace tarn3d {

bool isNativeX64System()
{
    // Looked up at run time: the call does not exist on the oldest systems,
    // which are 32-bit anyway.
    using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel)
        return false;
    const auto getNativeSystemInfo =
        reinterpret_cast<NativeInfoFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    if (!getNativeSystemInfo)
        return false;
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof(info));
    getNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64
        || info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

} // namespace tarn3d
