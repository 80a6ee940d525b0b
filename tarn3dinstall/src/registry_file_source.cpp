// A recorded hive: what systems without a registry read, and what test
// programs read on every system.
#include "reg_file_registry.h"

namespace tarn3d {

std::unique_ptr<RegistryReader> createRecordedRegistry(QString* error)
{
    auto registry = std::make_unique<RegFileRegistry>();
    const QString path = qEnvironmentVariable("TARN3D_REGISTRY_FILE");
    if (!path.isEmpty() && !registry->load(path) && error)
        *error = registry->errorString();
    return registry;
}

} // namespace tarn3d
