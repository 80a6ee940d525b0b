#pragma once
// Splitting a header line of a PCD or PLY file into its words.

#include <string_view>
#include <vector>

namespace nimbus {
namespace pcd {

inline bool isHeaderBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The words of `line`, separated by runs of blanks ("\r" included).
inline std::vector<std::string_view> headerWords(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && isHeaderBlank(line[at]))
            ++at;
        const std::size_t begin = at;
        while (at < line.size() && !isHeaderBlank(line[at]))
            ++at;
        if (at > begin)
            out.push_back(line.substr(begin, at - begin));
    }
    return out;
}

} // namespace pcd
} // namespace nimbus
