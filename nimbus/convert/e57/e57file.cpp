#include "e57file.h"
#include "e57messages.h"

#include <cstring>
#include <utility>

namespace nimbus::e57 {

namespace {

std::uint64_t le64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
        | (std::uint32_t(p[3]) << 24);
}

} // namespace

unsigned bitsForRange(std::int64_t minimum, std::int64_t maximum)
{
    const std::uint64_t span = static_cast<std::uint64_t>(maximum) - static_cast<std::uint64_t>(minimum);
    unsigned bits = 0;
    for (std::uint64_t s = span; s != 0; s >>= 1)
        ++bits;
    return bits;
}

bool Field::valueRange(double& lo, double& hi) const
{
    switch (kind) {
    case FieldKind::Integer:
        lo = static_cast<double>(minimum);
        hi = static_cast<double>(maximum);
        return true;
    case FieldKind::ScaledInteger:
        lo = static_cast<double>(minimum) * scale + offset;
        hi = static_cast<double>(maximum) * scale + offset;
        if (hi < lo)
            std::swap(lo, hi);
        return true;
    case FieldKind::Float32:
    case FieldKind::Float64:
        lo = floatMinimum;
        hi = floatMaximum;
        return hasFloatRange;
    }
    return false;
}

bool parseFileHeader(const std::uint8_t* b, std::uint64_t fileSize, FileHeader& h, Reason& error)
{
    if (std::memcmp(b, "ASTM-E57", 8) != 0) {
        error = Reason(msg::kNotE57);
        return false;
    }
    h.major = le32(b + 8);
    h.minor = le32(b + 12);
    h.fileLength = le64(b + 16);
    h.xmlOffset = le64(b + 24);
    h.xmlLength = le64(b + 32);
    h.pageSize = le64(b + 40);
    if (h.major != 1) {
        error = Reason(msg::kUnsupportedVersion, h.major, h.minor);
        return false;
    }
    if (h.pageSize != kPageSize) {
        error = Reason(msg::kPageSize, h.pageSize);
        return false;
    }
    if (h.fileLength == 0 || h.fileLength % kPageSize != 0) {
        error = Reason(msg::kFileLength, h.fileLength);
        return false;
    }
    if (h.fileLength > fileSize) {
        error = Reason(msg::kTruncated, h.fileLength, fileSize);
        return false;
    }
    std::uint64_t xmlLogical = 0;
    const std::uint64_t logicalLength = h.fileLength / kPageSize * kPageData;
    if (!physicalToLogical(h.xmlOffset, xmlLogical) || xmlLogical > logicalLength
        || h.xmlLength > logicalLength - xmlLogical) {
        error = Reason(msg::kXmlOutside, h.xmlOffset, h.xmlLength);
        return false;
    }
    return true;
}

bool E57File::hasSignature(const std::string& path)
{
    PagedReader pages;
    char signature[8];
    return pages.open(path) && pages.readRaw(signature, 8) && std::memcmp(signature, "ASTM-E57", 8) == 0;
}

bool E57File::open(const std::string& path)
{
    if (!pages_.open(path)) {
        error_ = pages_.reason();
        return false;
    }
    return load();
}

bool E57File::openMemory(const void* data, std::uint64_t size)
{
    pages_.openMemory(data, size);
    return load();
}

bool E57File::load()
{
    std::uint8_t raw[kHeaderSize];
    if (!pages_.readRaw(raw, kHeaderSize)) {
        error_ = Reason(msg::kShorterThanHeader);
        return false;
    }
    if (std::memcmp(raw, "ASTM-E57", 8) == 0) {
        // The header is taken from its checked page, so that damage to it is
        // reported as damage and not as an odd value.
        if (pages_.fileSize() < kPageSize) {
            error_ = Reason(msg::kShorterThanPage);
            return false;
        }
        if (!pages_.read(0, raw, kHeaderSize)) {
            error_ = pages_.reason();
            return false;
        }
    }
    if (!parseFileHeader(raw, pages_.fileSize(), header_, error_))
        return false;
    pages_.limitPages(header_.fileLength / kPageSize);
    std::uint64_t xmlLogical = 0;
    physicalToLogical(header_.xmlOffset, xmlLogical);
    return parseXmlSection(pages_, xmlLogical, header_.xmlLength, scans_, error_, &coordinateMetadata_);
}

} // namespace nimbus::e57
