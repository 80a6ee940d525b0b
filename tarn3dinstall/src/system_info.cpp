#include "system_info.h"

namespace tarn3d {

QString programFilesDir()
{
    return qEnvironmentVariable("ProgramFiles");
}

} // namespace tarn3d
