#pragma once
// What a person (and a LAS writer) needs to know of a coordinate system
// given as WKT: the kind of its outermost element, its name and the EPSG
// code that element carries. Read by a small scanner of the bracket
// structure (WKT 1 and WKT 2 keywords alike), so it needs no
// coordinate-system library.

#include <string>

namespace nimbus::crs {

struct WktSummary {
    enum class Kind { Unknown, Projected, Geographic, Other };
    Kind kind = Kind::Unknown;
    std::string name; // the outermost element's name, empty when unreadable
    int epsg = 0;     // the outermost element's EPSG code, 0 when it has none
};

// False when `wkt` does not start with a keyword, an opening bracket and a
// quoted name.
bool summarizeWkt(const std::string& wkt, WktSummary& summary);

} // namespace nimbus::crs
