#include "geokeys.h"

#include "crsmessages.h"

namespace nimbus::crs {

namespace {

constexpr std::uint16_t kDirectoryTag = 34735;
constexpr std::uint16_t kDoublesTag = 34736;
constexpr std::uint16_t kAsciiTag = 34737;

} // namespace

bool GeoKeys::wellFormed(Reason& error) const
{
    if (directory.size() < 4 || directory[0] != 1) {
        error = Reason(msg::kNoKeyHeader);
        return false;
    }
    const std::size_t count = directory[3];
    if (directory.size() < 4 + 4 * count) {
        error = Reason(msg::kFewerKeys);
        return false;
    }
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint16_t* key = directory.data() + 4 + 4 * k;
        const std::size_t location = key[1], n = key[2], index = key[3];
        const bool inDoubles = location == kDoublesTag && index + n <= doubles.size();
        const bool inAscii = location == kAsciiTag && index + n <= ascii.size();
        const bool inDirectory = location == kDirectoryTag && index + n <= directory.size();
        if (location != 0 && !inDoubles && !inAscii && !inDirectory) {
            error = Reason(msg::kKeyOutside, key[0]);
            return false;
        }
    }
    return true;
}

GeoKeys epsgGeoKeys(int code, bool projected)
{
    GeoKeys keys;
    const auto c = static_cast<std::uint16_t>(code);
    keys.directory = {1, 1, 0, 3,
                      kModelTypeKey, 0, 1, projected ? kModelProjected : kModelGeographic,
                      kRasterTypeKey, 0, 1, kPixelIsArea,
                      projected ? kProjectedTypeKey : kGeographicTypeKey, 0, 1, c};
    return keys;
}

} // namespace nimbus::crs
