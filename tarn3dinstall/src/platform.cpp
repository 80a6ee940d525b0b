#include "platform.h"

#include "system_info.h"

#include <QCoreApplication>

namespace tarn3d {

Platform systemPlatform()
{
    Platform platform;
    QString error;
    platform.registry = createSystemRegistry(&error);
    platform.registryError = error;
    platform.processes = createSystemProcessProbe();
    platform.nativeX64 = &isNativeX64System;
    platform.programFiles = &programFilesDir;
    platform.appDir = QCoreApplication::applicationDirPath();
    return platform;
}

} // namespace tarn3d
