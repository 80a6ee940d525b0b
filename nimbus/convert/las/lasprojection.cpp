#include "lasprojection.h"

#include "bytes.h"
#include "inputfile.h"
#include "lasmessages.h"

#include <cstring>
#include <vector>

namespace nimbus {
namespace las {

namespace {

constexpr std::size_t kVlrHeaderSize = 54;
constexpr std::size_t kEvlrHeaderSize = 60;
constexpr std::uint16_t kWktBit = 1u << 4;
constexpr std::uint16_t kKeyDirectory = 34735;
constexpr std::uint16_t kKeyDoubles = 34736;
constexpr std::uint16_t kKeyAscii = 34737;
constexpr std::uint16_t kWktRecord = 2112;
// A WKT text in an extended record beyond this is not a coordinate system.
constexpr std::uint64_t kMaxWktBytes = 1u << 20;

bool userIdIs(const std::uint8_t* field, const char* id)
{
    char text[17] = {};
    std::memcpy(text, field, 16);
    return std::strcmp(text, id) == 0;
}

std::string textOf(const std::vector<std::uint8_t>& bytes)
{
    std::string text(bytes.begin(), bytes.end());
    // Records end their text with one or more NULs.
    const std::size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

void take(LasProjection& out, const std::uint8_t* userId, std::uint16_t recordId,
          const std::vector<std::uint8_t>& payload)
{
    const bool projection = userIdIs(userId, "LASF_Projection");
    if (projection && recordId == kKeyDirectory && out.keys.directory.empty()) {
        for (std::size_t i = 0; i + 2 <= payload.size(); i += 2)
            out.keys.directory.push_back(loadU16(payload.data() + i));
    } else if (projection && recordId == kKeyDoubles && out.keys.doubles.empty()) {
        for (std::size_t i = 0; i + 8 <= payload.size(); i += 8)
            out.keys.doubles.push_back(loadF64(payload.data() + i));
    } else if (projection && recordId == kKeyAscii && out.keys.ascii.empty()) {
        out.keys.ascii.assign(payload.begin(), payload.end());
    } else if (recordId == kWktRecord) {
        std::string& target = projection ? out.wkt : out.otherWkt;
        if (target.empty())
            target = textOf(payload);
    }
}

bool wanted(std::uint16_t recordId)
{
    return recordId == kKeyDirectory || recordId == kKeyDoubles || recordId == kKeyAscii
        || recordId == kWktRecord;
}

} // namespace

LasProjection readLasProjection(const std::string& path, const LasHeader& header)
{
    LasProjection out;
    InputFile file;
    Reason error;
    if (!file.open(path, error))
        return out;
    std::uint8_t fixed[8];
    if (file.readAt(6, fixed, 2) == 2)
        out.wktFlagged = header.versionMinor >= 4 && (loadU16(fixed) & kWktBit) != 0;

    // The records before the points, as far as they fit in front of them.
    const std::uint64_t end = std::min<std::uint64_t>(header.pointDataOffset, file.size());
    std::uint64_t pos = header.headerSize;
    std::vector<std::uint8_t> payload;
    for (std::uint32_t i = 0; i < header.vlrCount && pos + kVlrHeaderSize <= end; ++i) {
        std::uint8_t v[kVlrHeaderSize];
        if (file.readAt(pos, v, sizeof v) != sizeof v)
            break;
        const std::uint16_t recordId = loadU16(v + 18);
        const std::uint64_t length = loadU16(v + 20);
        const std::uint64_t at = pos + kVlrHeaderSize;
        if (at + length > end)
            break;
        if (wanted(recordId)) {
            payload.resize(length);
            if (file.readAt(at, payload.data(), payload.size()) == payload.size())
                take(out, v + 2, recordId, payload);
        }
        pos = at + length;
    }

    // LAS 1.4 keeps larger records after the points.
    if (header.versionMinor >= 4 && file.readAt(235, fixed, 8) == 8) {
        pos = loadU64(fixed);
        std::uint8_t countBytes[4];
        const std::uint32_t count = file.readAt(243, countBytes, 4) == 4 ? loadU32(countBytes) : 0;
        for (std::uint32_t i = 0; i < count && pos != 0 && pos < file.size(); ++i) {
            std::uint8_t v[kEvlrHeaderSize];
            if (file.readAt(pos, v, sizeof v) != sizeof v)
                break;
            const std::uint16_t recordId = loadU16(v + 18);
            const std::uint64_t length = loadU64(v + 20);
            const std::uint64_t at = pos + kEvlrHeaderSize;
            if (length > file.size() - at)
                break;
            if (wanted(recordId) && length <= kMaxWktBytes) {
                payload.resize(static_cast<std::size_t>(length));
                if (file.readAt(at, payload.data(), payload.size()) == payload.size())
                    take(out, v + 2, recordId, payload);
            }
            pos = at + length;
        }
    }
    return out;
}

std::string lasCoordinateSystem(const LasProjection& projection, const crs::CrsResolver& resolver,
                                Reason& note)
{
    note = Reason();
    if (projection.wktFlagged && !projection.wkt.empty())
        return projection.wkt;
    if (!projection.keys.empty()) {
        std::string wkt;
        Reason why;
        if (resolver.wktFromGeoKeys(projection.keys, wkt, why))
            return wkt;
        if (!projection.wkt.empty())
            return projection.wkt;
        if (!projection.otherWkt.empty())
            return projection.otherWkt;
        note = Reason(msg::kGeoKeysNotKept, why);
        return {};
    }
    return projection.wkt.empty() ? projection.otherWkt : projection.wkt;
}

} // namespace las
} // namespace nimbus
