#pragma once
// The three GeoTIFF georeferencing tags as LAS files carry them in their
// projection records: the key directory (34735), its double parameters
// (34736) and its ASCII parameters (34737), each as stored.

#include <cstdint>
#include <string>
#include <vector>

#include "nimbusreason.h"

namespace nimbus::crs {

struct GeoKeys {
    std::vector<std::uint16_t> directory;
    std::vector<double> doubles;
    std::string ascii;

    bool empty() const { return directory.empty(); }
    // The header (version 1, revision 1.0, count) plus `count` whole keys,
    // and every key pointing into the parameter tags inside them.
    bool wellFormed(Reason& error) const;
};

// Keys GeoTIFF defines for a system named by an EPSG code.
constexpr std::uint16_t kModelTypeKey = 1024;
constexpr std::uint16_t kRasterTypeKey = 1025;
constexpr std::uint16_t kGeographicTypeKey = 2048;
constexpr std::uint16_t kProjectedTypeKey = 3072;
constexpr std::uint16_t kModelProjected = 1;
constexpr std::uint16_t kModelGeographic = 2;
constexpr std::uint16_t kPixelIsArea = 1;

// The key directory of a projected (or else geographic) system that the
// EPSG code `code` names in full.
GeoKeys epsgGeoKeys(int code, bool projected);

} // namespace nimbus::crs
