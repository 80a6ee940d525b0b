#include "lasheader.h"

#include "bytes.h"
#include "lasmessages.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace nimbus {
namespace las {

namespace {

constexpr std::size_t kVlrHeaderSize = 54;
constexpr std::uint16_t kLaszipRecordId = 22204;
constexpr std::size_t kLaszipFixedSize = 34;

bool userIdIs(const std::uint8_t* field, const char* id)
{
    const std::size_t n = std::strlen(id);
    if (std::memcmp(field, id, n) != 0)
        return false;
    return n == 16 || field[n] == 0;
}

bool checkItem(const LaszipItem& item, Compressor compressor, Reason& error)
{
    const bool layered = compressor == Compressor::LayeredChunked;
    const auto type = static_cast<ItemType>(item.type);
    auto fail = [&](const Message& what) {
        error = Reason(msg::kItemFault, item.type, item.size, item.version, Reason(what));
        return false;
    };
    switch (type) {
    case ItemType::Byte:
    case ItemType::Point10:
    case ItemType::GpsTime11:
    case ItemType::Rgb12:
    case ItemType::WavePacket13: {
        if (layered)
            return fail(msg::kItemNotInLayered);
        const std::uint16_t want = type == ItemType::Point10 ? 20
                                   : type == ItemType::GpsTime11 ? 8
                                   : type == ItemType::Rgb12 ? 6
                                   : type == ItemType::WavePacket13 ? 29
                                                                    : 0;
        if (want ? item.size != want : item.size == 0)
            return fail(msg::kItemWrongSize);
        const std::uint16_t maxVersion = type == ItemType::WavePacket13 ? 1 : 2;
        if (item.version < 1 || item.version > maxVersion)
            return fail(msg::kItemUnsupportedVersion);
        return true;
    }
    case ItemType::Point14:
    case ItemType::Rgb14:
    case ItemType::RgbNir14:
    case ItemType::WavePacket14:
    case ItemType::Byte14: {
        if (!layered)
            return fail(msg::kItemNeedsLayered);
        const std::uint16_t want = type == ItemType::Point14 ? 30
                                   : type == ItemType::Rgb14 ? 6
                                   : type == ItemType::RgbNir14 ? 8
                                   : type == ItemType::WavePacket14 ? 29
                                                                    : 0;
        if (want ? item.size != want : item.size == 0)
            return fail(msg::kItemWrongSize);
        const bool versionOk = type == ItemType::WavePacket14 ? (item.version == 3 || item.version == 4)
                                                              : (item.version >= 2 && item.version <= 4);
        if (!versionOk)
            return fail(msg::kItemUnsupportedVersion);
        return true;
    }
    }
    return fail(msg::kItemUnknownType);
}

const Message* unusableNumber(double v)
{
    if (std::isnan(v))
        return &msg::kNotANumber;
    if (std::isinf(v))
        return &msg::kInfinite;
    return nullptr;
}

// Every coordinate is record integer * scale + offset: a scale of 0 puts all
// points on one spot, a NaN or infinite value leaves no point usable.
bool checkTransform(const LasHeader& h, Reason& error)
{
    static const char* const axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        if (h.scale[a] == 0.0) {
            error = Reason(msg::kScaleUnusable, axes[a], "0");
            return false;
        }
        if (const Message* bad = unusableNumber(h.scale[a])) {
            error = Reason(msg::kScaleUnusable, axes[a], Reason(*bad));
            return false;
        }
        if (const Message* bad = unusableNumber(h.offset[a])) {
            error = Reason(msg::kOffsetUnusable, axes[a], Reason(*bad));
            return false;
        }
    }
    return true;
}

} // namespace

std::size_t baseRecordSize(std::uint8_t pointFormat)
{
    static const std::size_t sizes[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
    return pointFormat <= 10 ? sizes[pointFormat] : 0;
}

bool LasHeader::hasRgb() const
{
    switch (pointFormat) {
    case 2: case 3: case 5: case 7: case 8: case 10:
        return true;
    default:
        return false;
    }
}

std::size_t LasHeader::rgbOffset() const
{
    switch (pointFormat) {
    case 2: return 20;
    case 3: case 5: return 28;
    default: return 30;
    }
}

bool parseLaszipRecord(const std::uint8_t* data, std::size_t size, std::uint16_t recordLength,
                       LaszipInfo& info, Reason& error)
{
    if (size < kLaszipFixedSize) {
        error = Reason(msg::kLaszipRecordTooShort);
        return false;
    }
    const std::uint16_t compressor = loadU16(data);
    info.coder = loadU16(data + 2);
    info.options = loadU32(data + 8);
    info.chunkSize = loadU32(data + 12);
    const std::uint16_t itemCount = loadU16(data + 32);
    if (compressor > 3) {
        error = Reason(msg::kUnknownCompressor, compressor);
        return false;
    }
    info.compressor = static_cast<Compressor>(compressor);
    if (info.coder != 0) {
        error = Reason(msg::kUnknownCoder, info.coder);
        return false;
    }
    if (itemCount == 0 || kLaszipFixedSize + 6u * itemCount > size) {
        error = Reason(msg::kBrokenItemList);
        return false;
    }
    info.items.clear();
    std::uint32_t total = 0;
    for (std::uint16_t i = 0; i < itemCount; ++i) {
        const std::uint8_t* p = data + kLaszipFixedSize + 6u * i;
        LaszipItem item{loadU16(p), loadU16(p + 2), loadU16(p + 4)};
        if (info.compressor != Compressor::None && !checkItem(item, info.compressor, error))
            return false;
        total += item.size;
        info.items.push_back(item);
    }
    if (info.compressor == Compressor::None)
        return true;
    const auto first = static_cast<ItemType>(info.items.front().type);
    if (first != ItemType::Point10 && first != ItemType::Point14) {
        error = Reason(msg::kPointItemNotFirst);
        return false;
    }
    for (std::size_t i = 1; i < info.items.size(); ++i) {
        const auto t = static_cast<ItemType>(info.items[i].type);
        if (t == ItemType::Point10 || t == ItemType::Point14) {
            error = Reason(msg::kPointItemTwice);
            return false;
        }
    }
    if (total != recordLength) {
        error = Reason(msg::kItemsCoverOtherSize, total, recordLength);
        return false;
    }
    return true;
}

bool parseLasHeader(const std::uint8_t* data, std::size_t size, std::uint64_t fileSize, LasHeader& h,
                    Reason& error)
{
    h = LasHeader();
    if (size < 4 || std::memcmp(data, "LASF", 4) != 0) {
        error = Reason(msg::kNotLas);
        return false;
    }
    if (size < kMinHeaderSize || fileSize < kMinHeaderSize) {
        error = Reason(msg::kHeaderTruncated);
        return false;
    }
    h.versionMajor = data[24];
    h.versionMinor = data[25];
    h.headerSize = loadU16(data + 94);
    h.pointDataOffset = loadU32(data + 96);
    h.vlrCount = loadU32(data + 100);
    h.formatByte = data[104];
    h.pointFormat = h.formatByte & 0x3F;
    h.recordLength = loadU16(data + 105);
    h.legacyPointCount = loadU32(data + 107);
    for (int a = 0; a < 3; ++a) {
        h.scale[a] = loadF64(data + 131 + 8 * a);
        h.offset[a] = loadF64(data + 155 + 8 * a);
        h.maximum[a] = loadF64(data + 179 + 16 * a);
        h.minimum[a] = loadF64(data + 187 + 16 * a);
    }
    // Later minor versions may move or widen fields; reading them with the
    // 1.4 layout would misplace counts and offsets.
    if (h.versionMajor != 1 || h.versionMinor > 4) {
        error = Reason(msg::kUnsupportedVersion, h.versionMajor, h.versionMinor);
        return false;
    }
    if (!checkTransform(h, error))
        return false;
    if (h.headerSize < kMinHeaderSize) {
        error = Reason(msg::kHeaderSizeTooSmall, h.headerSize);
        return false;
    }
    if (h.versionMinor >= 4) {
        if (h.headerSize < kMaxHeaderPrefix) {
            error = Reason(msg::kHeader14SizeTooSmall, h.headerSize);
            return false;
        }
        if (size < kMaxHeaderPrefix) {
            error = Reason(msg::kHeaderTruncated);
            return false;
        }
        h.pointCount64 = loadU64(data + 247);
    }
    if (h.headerSize > fileSize) {
        error = Reason(msg::kHeaderTruncated);
        return false;
    }
    if (h.pointDataOffset < h.headerSize) {
        error = Reason(msg::kPointDataInsideHeader);
        return false;
    }
    if (h.pointFormat > 10) {
        error = Reason(msg::kUnknownPointFormat, h.formatByte);
        return false;
    }
    if (h.recordLength < 12) {
        error = Reason(msg::kRecordLengthTooSmall, h.recordLength);
        return false;
    }

    // VLRs run from the end of the header up to the point data; a list that
    // claims more than fits is cut short, as common readers do.
    const std::size_t vlrEnd = std::min<std::uint64_t>(std::min<std::uint64_t>(h.pointDataOffset, fileSize), size);
    std::size_t pos = h.headerSize;
    bool haveLaszip = false;
    for (std::uint32_t i = 0; i < h.vlrCount; ++i) {
        if (pos > vlrEnd || vlrEnd - pos < kVlrHeaderSize)
            break;
        const std::uint8_t* v = data + pos;
        const std::size_t payload = std::min<std::size_t>(loadU16(v + 20), vlrEnd - pos - kVlrHeaderSize);
        const std::uint16_t recordId = loadU16(v + 18);
        if (!haveLaszip && recordId == kLaszipRecordId && userIdIs(v + 2, "laszip encoded")) {
            if (!parseLaszipRecord(v + kVlrHeaderSize, payload, h.recordLength, h.laszip, error))
                return false;
            haveLaszip = true;
        }
        pos += kVlrHeaderSize + payload;
        ++h.vlrsRead;
    }

    const bool flagged = (h.formatByte & 0xC0) != 0;
    if (flagged && !haveLaszip) {
        error = Reason(msg::kCompressedWithoutRecord);
        return false;
    }
    h.compressed = flagged && h.laszip.compressor != Compressor::None;
    if (!h.compressed && h.recordLength < baseRecordSize(h.pointFormat)) {
        error = Reason(msg::kRecordTooSmallForFormat, h.recordLength, h.pointFormat);
        return false;
    }
    if (h.compressed && h.recordLength < baseRecordSize(h.pointFormat)) {
        error = Reason(msg::kItemsMissPointFormat, h.pointFormat);
        return false;
    }
    return true;
}

} // namespace las
} // namespace nimbus
