#include "system_info.h"

#include <QSysInfo>

namespace tarn3d {

bool isNativeX64System()
{
    const QString arch = QSysInfo::currentCpuArchitecture();
    return arch.contains(QLatin1String("64")) || arch == QLatin1String("s390x");
}

} // namespace tarn3d
