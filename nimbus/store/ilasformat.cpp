#include "ilasformat.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cstring>

namespace nimbus {

IlasHeader makeInitialIlasHeader()
{
    IlasHeader header;
    std::memset(&header, 0, sizeof header);
    header.hasColor = 1;
    header.blockCount = 0;
    header.directoryOffset = kIlasHeaderSize;
    header.pointCount = 0;
    header.minX = header.minY = header.minZ = kIlasInitialMin;
    header.maxX = header.maxY = header.maxZ = kIlasInitialMax;
    std::memcpy(header.magic, kIlasPlaceholderMagic, sizeof kIlasPlaceholderMagic);

    // The C locale keeps the digits ASCII whatever the user's locale; a
    // locale with its own digits would otherwise leave only '?' here.
    const QByteArray created =
        QLocale::c()
            .toString(QDateTime::currentDateTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            .toLatin1();
    const std::size_t length =
        std::min(static_cast<std::size_t>(created.size()), sizeof header.createdAt - 1);
    std::memcpy(header.createdAt, created.constData(), length);
    return header;
}

} // namespace nimbus
