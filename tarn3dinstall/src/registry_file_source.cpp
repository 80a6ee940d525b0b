// Systems without a registry read an export file instead, so the installer
// can be driven (and tested) against a recorded hive.
#include "reg_file_registry.h"

namespace tarn3d {

std::unique_ptr<RegistryReader> createSystemRegistry(QString* error)
{
    auto registry = std::make_unique<RegFileRegistry>();
    const QString path = qEnvironmentVariable("TARN3D_REGISTRY_FILE");
    if (!path.isEmpty() && !registry->load(path) && error)
        *error = registry->errorString();
    return registry;
}

} // namespace tarn3d
