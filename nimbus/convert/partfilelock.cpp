#include "partfilelock.h"

#include <QFile>

namespace nimbus {

bool removeUnlessLocked(const QString& path)
{
    PartFileLock lock;
    // Removed while locked, so a run that opens it meanwhile finds the name
    // gone and makes another.
    return lock.acquire(path) && QFile::remove(path);
}

} // namespace nimbus
