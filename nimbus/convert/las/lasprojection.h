#pragma once
// The coordinate system a LAS/LAZ file declares in its projection records:
// GeoTIFF keys (records 34735-34737) or an OGC WKT text (record 2112), in
// the variable-length records before the points or, for LAS 1.4, in the
// extended ones after them. Records that are cut short or lie outside the
// file are passed over; they never make the points unreadable.

#include "crsresolver.h"
#include "geokeys.h"
#include "lasheader.h"

#include <string>

namespace nimbus {
namespace las {

struct LasProjection {
    bool wktFlagged = false; // LAS 1.4 global encoding: the WKT record is the system
    crs::GeoKeys keys;
    std::string wkt;         // from a LASF_Projection record 2112
    std::string otherWkt;    // a record 2112 under another writer's user id
};

// Reads the projection records of the file at `path` (8-bit platform
// encoding), whose header `header` was parsed already.
LasProjection readLasProjection(const std::string& path, const LasHeader& header);

// The system as WKT, empty when the file declares none. The WKT record
// wins when the file flags it; otherwise the GeoTIFF keys, and a WKT record
// when they name nothing the resolver knows. When a declared system cannot
// be given as WKT, `note` says so.
std::string lasCoordinateSystem(const LasProjection& projection, const crs::CrsResolver& resolver,
                                Reason& note);

} // namespace las
} // namespace nimbus
