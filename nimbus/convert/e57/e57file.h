#pragma once
// An opened E57 file: its header checked, its pages readable through their
// checksums, and the scans of its data3D list described from the XML
// section. Records are read with ScanRecordReader (scanrecords.h).

#include "pagedreader.h"
#include "nimbusreason.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbus::e57 {

struct FileHeader {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint64_t fileLength = 0;  // physical
    std::uint64_t xmlOffset = 0;   // physical
    std::uint64_t xmlLength = 0;   // logical
    std::uint64_t pageSize = 0;
};

constexpr std::size_t kHeaderSize = 48;

// Checks the 48 bytes at the start of the first page against a file of
// `fileSize` bytes; false with `error` set when they cannot describe it.
bool parseFileHeader(const std::uint8_t* bytes, std::uint64_t fileSize, FileHeader& header, Reason& error);

enum class FieldKind { Float32, Float64, Integer, ScaledInteger };

struct Field {
    std::string name; // with its prefix for fields of an extension ("las:intensity")
    FieldKind kind = FieldKind::Float64;
    std::int64_t minimum = INT64_MIN;
    std::int64_t maximum = INT64_MAX;
    double scale = 1.0;
    double offset = 0.0;
    // Float fields: their minimum and maximum attributes, when given.
    bool hasFloatRange = false;
    double floatMinimum = 0.0, floatMaximum = 0.0;
    unsigned bits = 0; // per value in the field's byte stream

    // The range of the field's values (scaled for ScaledInteger), lowest
    // first; false for a Float field without both attributes.
    bool valueRange(double& lo, double& hi) const;
};

// The number of bits a field of values minimum..maximum takes per value.
unsigned bitsForRange(std::int64_t minimum, std::int64_t maximum);

struct Pose {
    double w = 1.0, x = 0.0, y = 0.0, z = 0.0; // rotation quaternion as written
    double tx = 0.0, ty = 0.0, tz = 0.0;
};

struct ColourLimits {
    // Per channel (red, green, blue): the bound, and whether the file gives it.
    std::array<double, 3> minimum{}, maximum{};
    std::array<bool, 3> hasMinimum{}, hasMaximum{};
};

struct ScanInfo {
    bool hasPoints = false;
    std::uint64_t fileOffset = 0; // physical offset of the binary section
    std::uint64_t recordCount = 0;
    std::vector<Field> fields;    // the prototype, in record order
    bool codecsGiven = false;     // a codec other than the default bit packing
    bool hasPose = false;
    Pose pose;
    bool hasColourLimits = false;
    ColourLimits colourLimits;
};

// Parses `length` logical bytes of XML at logical offset `logical` in
// pieces, so a large section never sits in memory whole. The root's
// coordinateMetadata text (trimmed; empty when absent) goes to
// `coordinateMetadata` when given.
bool parseXmlSection(PagedReader& pages, std::uint64_t logical, std::uint64_t length,
                     std::vector<ScanInfo>& scans, Reason& error,
                     std::string* coordinateMetadata = nullptr);

class E57File {
public:
    bool open(const std::string& path);
    bool openMemory(const void* data, std::uint64_t size);

    const FileHeader& header() const { return header_; }
    const std::vector<ScanInfo>& scans() const { return scans_; }
    // The file's coordinate system as written (WKT, an EPSG code, ...), or
    // empty.
    const std::string& coordinateMetadata() const { return coordinateMetadata_; }
    PagedReader& pages() { return pages_; }
    // Why the file cannot be read; error() in English.
    const Reason& reason() const { return error_; }
    std::string error() const { return error_.text(); }

    // True when the first eight bytes of the file at `path` are the E57
    // signature.
    static bool hasSignature(const std::string& path);

private:
    bool load();

    PagedReader pages_;
    FileHeader header_;
    std::vector<ScanInfo> scans_;
    std::string coordinateMetadata_;
    Reason error_;
};

} // namespace nimbus::e57
