#pragma once
// Byte layout of an ilas file: a 216-byte header, the blocks' point data, then
// one 40-byte directory record per block. All values little-endian.

#include <cstddef>
#include <cstdint>

namespace nimbus {

constexpr char kIlasMagic[] = "Quillfen-ilas-v2.1";    // 18 characters + NUL
constexpr char kIlasPlaceholderMagic[] = "Quillfen";   // until the file is complete
constexpr std::int64_t kIlasHeaderSize = 216;
constexpr std::int64_t kIlasEntrySize = 40;
// Initial bounds: largest and smallest positive normal float, held as doubles.
constexpr double kIlasInitialMin = 3.4028234663852886e38;
constexpr double kIlasInitialMax = 1.1754943508222875e-38;

#pragma pack(push, 1)
struct IlasHeader {
    std::uint8_t hasColor;
    std::uint8_t reserved1[3];
    std::int32_t blockCount;
    std::int64_t directoryOffset;
    std::int64_t pointCount;
    double originX, originY, originZ;
    double minX, minY, minZ;
    double maxX, maxY, maxZ;
    char magic[19];
    std::uint8_t zero1[31];
    char createdAt[63];
    std::uint8_t zero2;
    std::uint8_t reserved2[6];
};

struct IlasBlockEntry {
    std::int32_t index;
    std::int32_t pointCount;
    std::int64_t dataOffset;
    float minX, minY, minZ;
    float maxX, maxY, maxZ;
};
#pragma pack(pop)

static_assert(sizeof(IlasHeader) == 216, "header is 216 bytes");
static_assert(offsetof(IlasHeader, blockCount) == 4, "header layout");
static_assert(offsetof(IlasHeader, directoryOffset) == 8, "header layout");
static_assert(offsetof(IlasHeader, pointCount) == 16, "header layout");
static_assert(offsetof(IlasHeader, originX) == 24, "header layout");
static_assert(offsetof(IlasHeader, minX) == 48, "header layout");
static_assert(offsetof(IlasHeader, maxX) == 72, "header layout");
static_assert(offsetof(IlasHeader, magic) == 96, "header layout");
static_assert(offsetof(IlasHeader, createdAt) == 146, "header layout");
static_assert(offsetof(IlasHeader, zero2) == 209, "header layout");
static_assert(sizeof(IlasBlockEntry) == 40, "directory record is 40 bytes");
static_assert(offsetof(IlasBlockEntry, dataOffset) == 8, "directory layout");
static_assert(offsetof(IlasBlockEntry, minX) == 16, "directory layout");

// The header as the writer builds it before any block: colour on, no blocks,
// directory at 216, origin 0, the initial bounds, the placeholder magic and
// the creation time (local, "%Y-%m-%d %H:%M:%S").
IlasHeader makeInitialIlasHeader();

} // namespace nimbus
