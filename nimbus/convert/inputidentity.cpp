#include "inputidentity.h"

namespace nimbus {

QString InputIdentity::changeTo(const InputIdentity& now) const
{
    if (!known)
        return QString();
    if (!now.known)
        return QStringLiteral("the input vanished while it was read");
    if (now.volume != volume || now.file != file)
        return QStringLiteral("the input was replaced while it was read");
    if (now.size < size)
        return QStringLiteral("the input shrank from %1 to %2 bytes while it was read").arg(size).arg(now.size);
    return QString();
}

} // namespace nimbus
