#include "process_probe.h"

namespace tarn3d {

bool isSameExecutableName(const QString& runningName, const QString& wantedName)
{
    return !wantedName.isEmpty() && runningName.compare(wantedName, Qt::CaseInsensitive) == 0;
}

} // namespace tarn3d
