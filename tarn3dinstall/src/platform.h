#pragma once

#include "process_probe.h"
#include "registry_reader.h"

#include <QString>
#include <functional>
#include <memory>

namespace tarn3d {

// The machine services the installer relies on, bundled so that tests can
// hand the window and the detector a recorded registry, a fake process list
// or another system bitness.
struct Platform {
    std::shared_ptr<const RegistryReader> registry;
    std::shared_ptr<const ProcessProbe> processes;
    std::function<bool()> nativeX64;
    std::function<QString()> programFiles;
    QString appDir; // folder holding the TARN3D package
    QString registryError; // why the registry could not be read, if it could not
};

// The real machine; appDir is the folder of the running executable.
Platform systemPlatform();

} // namespace tarn3d
