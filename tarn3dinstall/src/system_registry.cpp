// Which registry a program reads. Compiled into each program rather than
// into the core library, so a test build of the installer can never reach
// the real hive while the shipped one always does.
#include "registry_reader.h"

namespace tarn3d {

std::unique_ptr<RegistryReader> createSystemRegistry(QString* error)
{
#if defined(Q_OS_WIN) && !defined(TARN3D_RECORDED_REGISTRY)
    (void)error;
    return createNativeRegistry();
#else
    return createRecordedRegistry(error);
#endif
}

} // namespace tarn3d
