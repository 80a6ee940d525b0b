#include "crsmessages.h"
#include "crsresolver.h"
#include "wktsummary.h"

#include <cctype>
#include <cstdlib>

namespace nimbus::crs {

namespace {

// The code of "EPSG:n" (any case, spaces around the colon allowed), or 0.
int epsgCode(const std::string& text)
{
    if (text.size() < 6)
        return 0;
    std::string prefix = text.substr(0, 4);
    for (char& c : prefix)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (prefix != "EPSG")
        return 0;
    std::size_t pos = 4;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    if (pos >= text.size() || text[pos] != ':')
        return 0;
    ++pos;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    const std::string digits = text.substr(pos);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::atoi(digits.c_str());
}

} // namespace

std::string wktFromDeclaration(const std::string& declaration, const CrsResolver& resolver, Reason& note)
{
    note = Reason();
    if (declaration.empty())
        return {};
    WktSummary summary;
    if (summarizeWkt(declaration, summary))
        return declaration;
    if (const int code = epsgCode(declaration)) {
        std::string wkt;
        Reason why;
        if (resolver.wktFromEpsg(code, wkt, why))
            return wkt;
        note = Reason(msg::kEpsgNotKept, code, why);
        return {};
    }
    const std::string shown = declaration.size() > 60 ? declaration.substr(0, 60) + "..." : declaration;
    note = Reason(msg::kDeclarationNotKept, shown);
    return {};
}

} // namespace nimbus::crs
