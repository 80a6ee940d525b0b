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
        const char* fieldEnd = findSeparator(p, end, separator);
        if (fieldEnd == end && i < 2)
            return false; // fewer fields than needed
        if (!parseClassicDouble(p, fieldEnd, values[i]))
            return false;
        if (i < 2)
            p = fieldEnd + 1;
    }
    out[0] = values[0];
    out[1] = values[1];
    out[2] = values[2];
    return true;
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
