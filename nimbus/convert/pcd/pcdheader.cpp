#include "pcdheader.h"

#include "headerwords.h"
#include "pcdmessages.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace nimbus {
namespace pcd {

namespace {

bool parseUnsigned(std::string_view text, std::uint64_t& value)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && !text.empty();
}

bool parseReal(std::string_view text, double& value)
{
    // Viewpoints are written by programs in plain decimal notation.
    std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return !copy.empty() && end == copy.c_str() + copy.size();
}

} // namespace

PcdValueType pcdValueType(char type, std::uint32_t size)
{
    switch (type) {
    case 'F':
        return size == 4 ? PcdValueType::Float32
            : size == 8  ? PcdValueType::Float64
                         : PcdValueType::Unknown;
    case 'I':
        return size == 1 ? PcdValueType::Int8
            : size == 2  ? PcdValueType::Int16
            : size == 4  ? PcdValueType::Int32
            : size == 8  ? PcdValueType::Int64
                         : PcdValueType::Unknown;
    case 'U':
        return size == 1 ? PcdValueType::Uint8
            : size == 2  ? PcdValueType::Uint16
            : size == 4  ? PcdValueType::Uint32
            : size == 8  ? PcdValueType::Uint64
                         : PcdValueType::Unknown;
    default:
        return PcdValueType::Unknown;
    }
}

const PcdField* findPcdField(const PcdHeader& header, const char* name)
{
    const std::string_view wanted(name);
    for (const PcdField& field : header.fields)
        if (field.count > 0 && field.name == wanted)
            return &field;
    for (const PcdField& field : header.fields) {
        if (field.count == 0 || field.name.size() != wanted.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < wanted.size() && same; ++i) {
            const char c = field.name[i];
            same = (c >= 'A' && c <= 'Z' ? char(c + 32) : c) == wanted[i];
        }
        if (same)
            return &field;
    }
    return nullptr;
}

bool parsePcdHeader(const char* text, std::size_t size, PcdHeader& header, Reason& reason)
{
    header = PcdHeader();
    const std::string_view all(text, size);
    std::vector<std::string_view> names, sizes, types, counts;
    bool haveFields = false, havePoints = false, haveWidth = false, haveHeight = false;
    std::string_view data;
    std::size_t start = 0;
    std::uint64_t lines = 0;
    while (start < all.size() && data.empty()) {
        const std::size_t end = all.find('\n', start);
        if (end == std::string_view::npos)
            break; // the header does not end within the bytes given
        const std::vector<std::string_view> line = headerWords(all.substr(start, end - start));
        start = end + 1;
        ++lines;
        if (line.empty() || line.front().front() == '#')
            continue;
        const std::string_view key = line.front();
        const std::vector<std::string_view> rest(line.begin() + 1, line.end());
        if (key == "FIELDS" || key == "COLUMNS") {
            names = rest;
            haveFields = !rest.empty();
        } else if (key == "SIZE") {
            sizes = rest;
        } else if (key == "TYPE") {
            types = rest;
        } else if (key == "COUNT") {
            counts = rest;
        } else if (key == "WIDTH" || key == "HEIGHT") {
            std::uint64_t& value = key == "WIDTH" ? header.width : header.height;
            if (rest.size() != 1 || !parseUnsigned(rest[0], value)) {
                reason = Reason(msg::kPcdBadWidthHeight);
                return false;
            }
            (key == "WIDTH" ? haveWidth : haveHeight) = true;
        } else if (key == "POINTS") {
            havePoints = rest.size() == 1 && parseUnsigned(rest[0], header.points);
            if (!havePoints) {
                reason = Reason(msg::kPcdBadPoints);
                return false;
            }
        } else if (key == "VIEWPOINT") {
            // Only kept for callers; a malformed one leaves the identity.
            double values[7];
            bool usable = rest.size() == 7;
            for (std::size_t i = 0; usable && i < 7; ++i)
                usable = parseReal(rest[i], values[i]);
            if (usable)
                std::copy(values, values + 7, header.viewpoint);
        } else if (key == "DATA") {
            data = rest.size() == 1 ? rest[0] : std::string_view("?");
        } else if (key != "VERSION") {
            reason = Reason(msg::kPcdUnexpectedLine);
            return false;
        }
    }
    if (data.empty() || !haveFields || !havePoints) {
        reason = Reason(msg::kPcdLacksEntries);
        return false;
    }
    if (data == "ascii")
        header.encoding = PcdEncoding::Ascii;
    else if (data == "binary")
        header.encoding = PcdEncoding::Binary;
    else if (data == "binary_compressed")
        header.encoding = PcdEncoding::BinaryCompressed;
    else {
        reason = Reason(msg::kPcdUnknownData);
        return false;
    }
    header.dataOffset = start;
    header.headerLines = lines;

    // Without SIZE, TYPE or COUNT every field is one 4-byte float.
    const std::size_t n = names.size();
    if ((!sizes.empty() && sizes.size() != n) || (!types.empty() && types.size() != n)
        || (!counts.empty() && counts.size() != n)) {
        reason = Reason(msg::kPcdEntriesPerField);
        return false;
    }
    // Records beyond 4 GiB cannot be real; the bound keeps every product of
    // sizes below 2^64.
    constexpr std::uint64_t kRecordLimit = std::uint64_t(1) << 32;
    for (std::size_t i = 0; i < n; ++i) {
        PcdField field;
        field.name = std::string(names[i]);
        std::uint64_t bytes = 4, count = 1;
        if ((!sizes.empty() && !parseUnsigned(sizes[i], bytes))
            || (!counts.empty() && !parseUnsigned(counts[i], count)) || bytes == 0
            || bytes >= kRecordLimit || count >= kRecordLimit
            || bytes * count >= kRecordLimit - header.pointBytes) {
            reason = Reason(msg::kPcdBadSizeCount);
            return false;
        }
        field.size = static_cast<std::uint32_t>(bytes);
        field.count = static_cast<std::uint32_t>(count);
        const char letter = types.empty() ? 'F' : (types[i].size() == 1 ? types[i][0] : '?');
        field.type = pcdValueType(letter, field.size);
        field.offset = header.pointBytes;
        header.pointBytes += bytes * count;
        header.valuesPerPoint += count;
        header.fields.push_back(std::move(field));
    }

    // An organized cloud is HEIGHT rows of WIDTH points; HEIGHT defaults to
    // a single row and WIDTH to the whole row.
    if (!haveHeight)
        header.height = 1;
    if (!haveWidth)
        header.width = header.height != 0 ? header.points / header.height : 0;
    if (header.points > 0) {
        const bool fits = header.height != 0 && header.width != 0
            && header.width <= header.points / header.height
            && header.width * header.height == header.points;
        if (!fits) {
            reason = Reason(msg::kPcdShapeMismatch, header.width, header.height, header.points);
            return false;
        }
    }
    return true;
}

} // namespace pcd
} // namespace nimbus
