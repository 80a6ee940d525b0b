#pragma once
// Every reason and remark the coordinate-system library reports, as
// messages (see nimbusreason.h).

#include "nimbusreason.h"

namespace nimbus::crs::msg {

#define NIMBUS_CRS_MESSAGES(X)                                                                              \
    X(kCannotWrite, "cannot write %1")                                                                     \
    X(kCannotRename, "cannot rename %1 to %2: %3")                                                         \
    X(kCannotRemove, "cannot remove %1: %2")                                                               \
    X(kCannotRead, "cannot read %1")                                                                       \
    X(kCannotReadBecause, "cannot read %1: %2")                                                            \
    X(kPrjTooLarge, "%1 is too large to hold a coordinate system")                                         \
    X(kNoKeyHeader, "the GeoTIFF key directory has no valid header")                                       \
    X(kFewerKeys, "the GeoTIFF key directory holds fewer keys than it announces")                          \
    X(kKeyOutside, "GeoTIFF key %1 points outside its parameters")                                         \
    X(kNoLibrary, "this build has no coordinate-system library to name it in WKT")                         \
    X(kKeysToGdalFailed, "cannot hand the GeoTIFF keys to GDAL")                                           \
    X(kGdalCannotReadKeys, "GDAL cannot read the GeoTIFF keys")                                            \
    X(kGdalWordsOnKeys, "%1", "GDAL's own words on GeoTIFF keys it could not read")                        \
    X(kKeysUnknownToGdal, "the GeoTIFF keys name no coordinate system GDAL knows")                         \
    X(kEpsgUnknownToGdal, "EPSG:%1 is not a coordinate system GDAL knows")                                 \
    X(kEpsgNotKept, "the coordinate system EPSG:%1 was not kept: %2")                                      \
    X(kDeclarationNotKept, "the coordinate system \"%1\" was not kept: it is neither WKT nor an EPSG code")
NIMBUS_DECLARE_MESSAGES(NIMBUS_CRS_MESSAGES)

} // namespace nimbus::crs::msg
