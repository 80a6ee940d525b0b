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

// Only a file that passes every structural rule of the check (all but the
// kd order) is exported; its blocks are read from the reader's file, so a
// file cut meanwhile fails with "file changed while reading". The output is assembled in a temporary file
// beside `path` and renamed over it only when complete; on failure nothing is
// left behind and `error` says why. Temporary files of an earlier export of
// the same name are removed first. A LAS export carries `coordinateSystem`
// (OGC WKT, may be empty) as GeoTIFF keys when an EPSG code names it, else as
// a WKT record.
bool exportLas(const IlasReader& reader, const std::string& path, std::string& error,
               const std::string& coordinateSystem = std::string());
bool exportXyz(const IlasReader& reader, const std::string& path, std::string& error);

} // namespace nimbus::ilas
