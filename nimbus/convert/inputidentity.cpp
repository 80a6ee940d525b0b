#include "inputidentity.h"

#include <QCoreApplication>

namespace nimbus {

QString InputIdentity::changeTo(const InputIdentity& now) const
{
    if (!known)
        return QString();
    if (!now.known)
        return QCoreApplication::translate("Nimbus", "the input vanished while it was read");
    if (now.volume != volume || now.file != file)
        return QCoreApplication::translate("Nimbus", "the input was replaced while it was read");
    if (now.size < size)
        return QCoreApplication::translate("Nimbus", "the input shrank from %1 to %2 bytes while it was read")
            .arg(size)
            .arg(now.size);
    return QString();
}

} // namespace nimbus
