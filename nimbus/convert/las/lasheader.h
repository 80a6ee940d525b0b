#pragma once
// The public header block of a LAS/LAZ file, its variable length records and
// the LASzip compression record, parsed from the bytes in front of the point
// data. Parsing never reads outside the given bytes; whatever makes a file
// unreadable is reported as a reason text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "nimbusreason.h"

namespace nimbus {
namespace las {

enum class ItemType : std::uint16_t {
    Byte = 0,
    Point10 = 6,
    GpsTime11 = 7,
    Rgb12 = 8,
    WavePacket13 = 9,
    Point14 = 10,
    Rgb14 = 11,
    RgbNir14 = 12,
    WavePacket14 = 13,
    Byte14 = 14,
};

struct LaszipItem {
    std::uint16_t type = 0;
    std::uint16_t size = 0;
    std::uint16_t version = 0;
};

enum class Compressor : std::uint16_t { None = 0, Pointwise = 1, PointwiseChunked = 2, LayeredChunked = 3 };

struct LaszipInfo {
    Compressor compressor = Compressor::None;
    std::uint16_t coder = 0;
    std::uint32_t options = 0;
    std::uint32_t chunkSize = 0;
    std::vector<LaszipItem> items;

    // Chunk sizes come from the chunk table rather than from the record.
    bool variableChunks() const { return chunkSize == 0 || chunkSize == 0xFFFFFFFFu; }
};

struct LasHeader {
    std::uint8_t versionMajor = 0;
    std::uint8_t versionMinor = 0;
    std::uint16_t headerSize = 0;
    std::uint32_t pointDataOffset = 0;
    std::uint32_t vlrCount = 0;
    std::uint8_t formatByte = 0;   // as stored, compression bits included; what messages report
    std::uint8_t pointFormat = 0;  // 0..10
    std::uint16_t recordLength = 0;
    std::uint32_t legacyPointCount = 0;
    std::uint64_t pointCount64 = 0;  // LAS 1.4 only, else 0
    double scale[3] = {0, 0, 0};
    double offset[3] = {0, 0, 0};
    double maximum[3] = {0, 0, 0};
    double minimum[3] = {0, 0, 0};
    std::uint32_t vlrsRead = 0;
    bool compressed = false;  // points are LAZ-coded (a LASzip record with a compressor)
    LaszipInfo laszip;

    // Points the file holds. A 1.4 header's 64-bit count is the true one even
    // when the legacy field disagrees: the legacy field is only a copy for old
    // readers, and must be 0 for formats 6-10 and for counts beyond 32 bits.
    // A 1.4 header with only the legacy count filled in comes from a writer
    // that skipped the new field; its points are still there to be read.
    std::uint64_t pointCount() const
    {
        if (versionMinor < 4)
            return legacyPointCount;
        return pointCount64 ? pointCount64 : legacyPointCount;
    }
    bool hasRgb() const;
    // Byte offset of red inside a record; meaningful only when hasRgb().
    std::size_t rgbOffset() const;
};

// Smallest record of each point format 0..10.
std::size_t baseRecordSize(std::uint8_t pointFormat);

// Bytes of the fixed header worth reading first: enough for every version.
constexpr std::size_t kMaxHeaderPrefix = 375;
constexpr std::size_t kMinHeaderSize = 227;

// Parses `size` bytes from the start of the file: at least the header, and
// ideally everything up to the point data so the records can be read.
// `fileSize` is the whole file's size, for plausibility checks.
bool parseLasHeader(const std::uint8_t* data, std::size_t size, std::uint64_t fileSize, LasHeader& header,
                    Reason& error);

// Parses and checks a LASzip record payload against the header's record.
bool parseLaszipRecord(const std::uint8_t* data, std::size_t size, std::uint16_t recordLength,
                       LaszipInfo& info, Reason& error);

} // namespace las
} // namespace nimbus
