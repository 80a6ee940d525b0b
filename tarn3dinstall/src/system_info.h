#pragma once

#include <QString>

namespace tarn3d {

// The operating system is 64-bit (not merely this process).
bool isNativeX64System();

// The ProgramFiles environment variable, read the same way on every system.
QString programFilesDir();

} // namespace tarn3d
