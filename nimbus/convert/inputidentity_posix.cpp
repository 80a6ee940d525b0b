#include "inputidentity.h"

#include <QFile>

#include <sys/stat.h>

namespace nimbus {

InputIdentity InputIdentity::of(const QString& path)
{
    InputIdentity identity;
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return identity;
    identity.known = true;
    identity.size = static_cast<std::uint64_t>(status.st_size);
    identity.volume = static_cast<std::uint64_t>(status.st_dev);
    identity.file = static_cast<std::uint64_t>(status.st_ino);
    return identity;
}

} // namespace nimbus
