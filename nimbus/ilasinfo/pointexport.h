#pragma once
// Writes the points of a complete ilas file in formats other tools read:
// LAS 1.2 (point format 0, or 2 with colour; scale 0.001 and the ilas origin
// as offset, so every stored point comes back to the millimetre) and text
// (one point per line, coordinates in metres to the millimetre, then the
// colour when the file has one). Blocks in directory order, points in
// stored order.

#include "ilasreader.h"

#include <string>

namespace nimbus::ilas {

// The output is assembled in a temporary file beside `path` and renamed over
// it only when complete; on failure nothing is left behind and `error` says
// why. A LAS export carries `coordinateSystem` (OGC WKT, may be empty) as
// GeoTIFF keys when an EPSG code names it, else as a WKT record.
bool exportLas(const IlasReader& reader, const std::string& path, std::string& error,
               const std::string& coordinateSystem = std::string());
bool exportXyz(const IlasReader& reader, const std::string& path, std::string& error);

} // namespace nimbus::ilas
