#pragma once
// Turns coordinate systems declared by code (GeoTIFF keys, EPSG numbers)
// into OGC WKT. This needs the EPSG registry of a coordinate-system
// library; builds without one (the Windows builds for now) link a resolver
// that declines, so such inputs still convert and only their coordinate
// system is reported as not written. WKT given by an input never passes
// through here: it is kept as it is.

#include "geokeys.h"

#include <string>

namespace nimbus::crs {

class CrsResolver {
public:
    virtual ~CrsResolver() = default;
    // False with `error` set when the keys cannot be read or the system
    // they name is not known.
    virtual bool wktFromGeoKeys(const GeoKeys& keys, std::string& wkt, Reason& error) const = 0;
    virtual bool wktFromEpsg(int code, std::string& wkt, Reason& error) const = 0;
};

// The resolver this build has; lives as long as the program.
const CrsResolver& systemCrsResolver();

// A coordinate system written as text by an input's metadata: WKT is kept
// as it is, "EPSG:n" goes through `resolver`. Empty `declaration`: empty
// result and no note. Anything else, or a code the resolver cannot name,
// gives an empty result and a `note` saying so.
std::string wktFromDeclaration(const std::string& declaration, const CrsResolver& resolver, Reason& note);

} // namespace nimbus::crs
