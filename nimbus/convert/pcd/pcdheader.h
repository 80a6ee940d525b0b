#pragma once
// The text header of a PCD point-cloud file: its fields, the cloud's size,
// the sensor viewpoint and how the body is stored. Parsing never throws; a
// header that cannot describe a readable cloud is refused with a reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "nimbusreason.h"

namespace nimbus {
namespace pcd {

enum class PcdEncoding { Ascii, Binary, BinaryCompressed };

// How a field's values are stored. Unknown covers TYPE/SIZE pairs no reader
// gives a number for (for example a 2-byte float): such a field is carried
// as opaque bytes and only refused when it holds a coordinate.
enum class PcdValueType { Unknown, Int8, Uint8, Int16, Uint16, Int32, Uint32, Int64, Uint64,
                          Float32, Float64 };

struct PcdField {
    std::string name;
    PcdValueType type = PcdValueType::Unknown;
    std::uint32_t size = 0;   // bytes of one value
    std::uint32_t count = 1;  // values per point; 0 means the field holds nothing
    std::uint64_t offset = 0; // bytes before it within one point record
};

struct PcdHeader {
    std::vector<PcdField> fields;
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint64_t points = 0;
    // Translation x, y, z and rotation quaternion w, x, y, z of the sensor.
    double viewpoint[7] = {0, 0, 0, 1, 0, 0, 0};
    PcdEncoding encoding = PcdEncoding::Ascii;
    std::uint64_t pointBytes = 0;     // one point record in a binary body
    std::uint64_t valuesPerPoint = 0; // numbers per line of a text body
    std::uint64_t dataOffset = 0;     // first byte of the body
    std::uint64_t headerLines = 0;    // lines before the body
    bool bigEndian = false;           // binary values most significant byte first
};

// Parses the header at the start of `text` (the first `size` bytes of a
// file; a header that does not end within them is refused). The reasons
// name what is wrong, for example "not a PCD file: unexpected header line".
bool parsePcdHeader(const char* text, std::size_t size, PcdHeader& header, Reason& reason);

// The value type a TYPE letter and SIZE give.
PcdValueType pcdValueType(char type, std::uint32_t size);

// The first field called `name`, else the first whose name matches it
// ignoring ASCII case ("X" for "x"); null when there is none. Fields that
// hold no value (COUNT 0) do not count.
const PcdField* findPcdField(const PcdHeader& header, const char* name);

} // namespace pcd
} // namespace nimbus
