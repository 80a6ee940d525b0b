#include "plyheader.h"

#include "headerwords.h"
#include "pcdmessages.h"

#include <charconv>
#include <string_view>
#include <vector>

namespace nimbus {
namespace pcd {

namespace {

// PLY's scalar type names, old and sized, as PCD's TYPE and SIZE.
bool plyType(std::string_view name, char& type, std::uint32_t& size)
{
    struct Name { const char* a; const char* b; char type; std::uint32_t size; };
    static constexpr Name kNames[] = {
        {"char", "int8", 'I', 1},   {"uchar", "uint8", 'U', 1},   {"short", "int16", 'I', 2},
        {"ushort", "uint16", 'U', 2}, {"int", "int32", 'I', 4},   {"uint", "uint32", 'U', 4},
        {"float", "float32", 'F', 4}, {"double", "float64", 'F', 8},
    };
    for (const Name& n : kNames) {
        if (name == n.a || name == n.b) {
            type = n.type;
            size = n.size;
            return true;
        }
    }
    return false;
}

} // namespace

bool parsePlyHeader(const char* text, std::size_t size, PcdHeader& header, Reason& reason)
{
    header = PcdHeader();
    const std::string_view all(text, size);
    std::size_t start = 0;
    std::uint64_t lines = 0;
    bool first = true, ended = false, haveVertex = false, inVertex = false, haveFormat = false;
    bool elementBefore = false; // an element with entries stored before the vertices
    while (!ended) {
        const std::size_t end = all.find('\n', start);
        if (end == std::string_view::npos) {
            reason = Reason(first ? msg::kNotPly : msg::kPlyHeaderNotEnding);
            return false;
        }
        const std::vector<std::string_view> line = headerWords(all.substr(start, end - start));
        start = end + 1;
        ++lines;
        if (first) {
            if (line.size() != 1 || line[0] != "ply") {
                reason = Reason(msg::kNotPly);
                return false;
            }
            first = false;
            continue;
        }
        if (line.empty())
            continue;
        const std::string_view key = line[0];
        if (key == "end_header") {
            ended = true;
        } else if (key == "format") {
            const std::string_view kind = line.size() > 1 ? line[1] : std::string_view();
            if (kind == "ascii")
                header.encoding = PcdEncoding::Ascii;
            else if (kind == "binary_little_endian" || kind == "binary_big_endian")
                header.encoding = PcdEncoding::Binary;
            else {
                reason = Reason(msg::kPlyUnknownFormat);
                return false;
            }
            header.bigEndian = kind == "binary_big_endian";
            haveFormat = true;
        } else if (key == "element") {
            std::uint64_t count = 0;
            const bool countOk = line.size() == 3
                && std::from_chars(line[2].data(), line[2].data() + line[2].size(), count).ptr
                    == line[2].data() + line[2].size();
            inVertex = line.size() == 3 && line[1] == "vertex" && !haveVertex;
            if (inVertex) {
                if (!countOk) {
                    reason = Reason(msg::kPlyBadVertexCount);
                    return false;
                }
                header.points = count;
                haveVertex = true;
            } else if (!haveVertex && (!countOk || count > 0)) {
                elementBefore = true;
            }
        } else if (key == "property" && inVertex) {
            if (line.size() >= 2 && line[1] == "list") {
                reason = Reason(msg::kPlyVertexLists);
                return false;
            }
            char type = 0;
            PcdField field;
            if (line.size() != 3 || !plyType(line[1], type, field.size)) {
                reason = Reason(msg::kPlyBadProperty);
                return false;
            }
            field.name = std::string(line[2]);
            field.type = pcdValueType(type, field.size);
            field.offset = header.pointBytes;
            header.pointBytes += field.size;
            header.valuesPerPoint += 1;
            header.fields.push_back(std::move(field));
        } else if (key != "comment" && key != "obj_info" && key != "property") {
            reason = Reason(msg::kPlyUnexpectedLine);
            return false;
        }
    }
    if (!haveFormat) {
        reason = Reason(msg::kPlyLacksFormat);
        return false;
    }
    if (!haveVertex) {
        reason = Reason(msg::kPlyNoVertices);
        return false;
    }
    if (elementBefore && header.points > 0) {
        reason = Reason(msg::kPlyElementsBeforeVertices);
        return false;
    }
    header.width = header.points;
    header.height = 1;
    header.dataOffset = start;
    header.headerLines = lines;
    return true;
}

} // namespace pcd
} // namespace nimbus
