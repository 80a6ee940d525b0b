#include "splitline.h"

#include "classicnumber.h"

#include <cstring>

namespace nimbus {

std::vector<std::string> splitLine(std::string_view line, char separator)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t p = line.find(separator); p != std::string_view::npos;
         p = line.find(separator, start)) {
        fields.emplace_back(line.substr(start, p - start));
        start = p + 1;
    }
    fields.emplace_back(line.substr(start));
    return fields;
}

namespace {

inline const char* findSeparator(const char* from, const char* end, char separator)
{
    const void* hit = std::memchr(from, separator, static_cast<std::size_t>(end - from));
    return hit ? static_cast<const char*>(hit) : end;
}

} // namespace

bool readThreeFields(std::string_view line, char separator, int first, double out[3])
{
    if (line.empty())
        return false;
    const char* p = line.data();
    const char* const end = p + line.size();
    for (int skipped = 0; skipped < first; ++skipped) {
        const char* sep = findSeparator(p, end, separator);
        if (sep == end)
            return false;
        p = sep + 1;
    }
    double values[3];
    for (int i = 0; i < 3; ++i) {
        const char* fieldEnd;
        if (p < end && !isClassicSpace(*p)) {
            // No character of a number is a separator, so the number read up
            // to the line's end is the one read up to the field's end, and the
            // separator usually follows it directly.
            const char* stop = nullptr;
            if (!parseClassicDouble(p, end, values[i], &stop))
                return false;
            fieldEnd = stop < end && *stop == separator ? stop : findSeparator(stop, end, separator);
            if (fieldEnd == end && i < 2)
                return false; // fewer fields than needed
        } else {
            // Leading blanks may hide the separator itself.
            fieldEnd = findSeparator(p, end, separator);
            if (fieldEnd == end && i < 2)
                return false;
            if (!parseClassicDouble(p, fieldEnd, values[i]))
                return false;
        }
        if (i < 2)
            p = fieldEnd + 1;
    }
    out[0] = values[0];
    out[1] = values[1];
    out[2] = values[2];
    return true;
}

bool readFirstThreeFieldsOfLine(const char* p, const char* end, char separator, double out[3],
                                const char** lineEnd)
{
    const char* const start = p;
    double values[3];
    // Each field starts with its number and the separator follows it
    // directly: neither a number nor the separator can be a line end, so the
    // line's end need not be known. Anything else takes the general way.
    for (int i = 0; i < 3; ++i) {
        const char* stop = nullptr;
        if (p == end || isClassicSpace(*p) || !parseClassicDouble(p, end, values[i], &stop))
            break;
        if (i < 2) {
            if (stop == end || *stop != separator)
                break;
            p = stop + 1;
            continue;
        }
        // The rest of the line is ignored.
        const char* const newline = stop < end && *stop == '\n' ? stop : findSeparator(stop, end, '\n');
        *lineEnd = newline;
        out[0] = values[0];
        out[1] = values[1];
        out[2] = values[2];
        return true;
    }
    const char* const newline = findSeparator(start, end, '\n');
    *lineEnd = newline;
    return readThreeFields(std::string_view(start, static_cast<std::size_t>(newline - start)), separator, 0, out);
}

bool readThreeNumbers(std::string_view line, double out[3])
{
    const char* p = line.data();
    const char* const end = p + line.size();
    double values[3];
    for (double& value : values) {
        if (!parseClassicDouble(p, end, value, &p))
            return false;
    }
    out[0] = values[0];
    out[1] = values[1];
    out[2] = values[2];
    return true;
}

} // namespace nimbus
