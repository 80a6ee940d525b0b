#include "wktsummary.h"

#include <cctype>
#include <cstdlib>

namespace nimbus::crs {

namespace {

bool isKeywordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

std::string upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

WktSummary::Kind kindOf(const std::string& keyword)
{
    const std::string k = upper(keyword);
    if (k == "PROJCS" || k == "PROJCRS" || k == "PROJECTEDCRS")
        return WktSummary::Kind::Projected;
    if (k == "GEOGCS" || k == "GEOGCRS" || k == "GEOGRAPHICCRS")
        return WktSummary::Kind::Geographic;
    return WktSummary::Kind::Other;
}

// Reads a quoted string at `pos` ("" inside stands for one quote).
bool readQuoted(const std::string& s, std::size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        if (s[pos] == '"') {
            if (pos + 1 < s.size() && s[pos + 1] == '"') {
                out += '"';
                ++pos;
                continue;
            }
            ++pos;
            return true;
        }
        out += s[pos];
    }
    return false;
}

void skipSpace(const std::string& s, std::size_t& pos)
{
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos])))
        ++pos;
}

bool isOpen(char c) { return c == '[' || c == '('; }
bool isClose(char c) { return c == ']' || c == ')'; }

// The code of an AUTHORITY["EPSG","n"] or ID["EPSG",n] element whose
// opening bracket is at `pos`; 0 for another authority.
int epsgOf(const std::string& s, std::size_t pos)
{
    ++pos;
    skipSpace(s, pos);
    std::string authority;
    if (!readQuoted(s, pos, authority) || upper(authority) != "EPSG")
        return 0;
    skipSpace(s, pos);
    if (pos >= s.size() || s[pos] != ',')
        return 0;
    ++pos;
    skipSpace(s, pos);
    std::string digits;
    if (pos < s.size() && s[pos] == '"') {
        if (!readQuoted(s, pos, digits))
            return 0;
    } else {
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])))
            digits += s[pos++];
    }
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::atoi(digits.c_str());
}

} // namespace

bool summarizeWkt(const std::string& wkt, WktSummary& summary)
{
    summary = WktSummary();
    std::size_t pos = 0;
    skipSpace(wkt, pos);
    const std::size_t keywordStart = pos;
    while (pos < wkt.size() && isKeywordChar(wkt[pos]))
        ++pos;
    const std::string keyword = wkt.substr(keywordStart, pos - keywordStart);
    skipSpace(wkt, pos);
    if (keyword.empty() || pos >= wkt.size() || !isOpen(wkt[pos]))
        return false;
    ++pos;
    skipSpace(wkt, pos);
    if (!readQuoted(wkt, pos, summary.name))
        return false;
    summary.kind = kindOf(keyword);

    // Walk the outermost element's children; only an authority at depth one
    // names the system itself (deeper ones name its datum, units and so on).
    int depth = 1;
    std::string child;
    std::string ignored;
    while (pos < wkt.size() && depth > 0) {
        const char c = wkt[pos];
        if (c == '"') {
            if (!readQuoted(wkt, pos, ignored))
                break;
            continue;
        }
        if (isKeywordChar(c)) {
            const std::size_t start = pos;
            while (pos < wkt.size() && isKeywordChar(wkt[pos]))
                ++pos;
            child = upper(wkt.substr(start, pos - start));
            continue;
        }
        if (isOpen(c)) {
            if (depth == 1 && (child == "AUTHORITY" || child == "ID")) {
                const int code = epsgOf(wkt, pos);
                if (code > 0)
                    summary.epsg = code;
            }
            ++depth;
        } else if (isClose(c)) {
            --depth;
        }
        ++pos;
    }
    return true;
}

} // namespace nimbus::crs
