#pragma once
// The coordinate-system file beside an output (NAME.prj beside NAME.ilas,
// the convention GIS programs look for): one OGC WKT text, nothing else.

#include <filesystem>
#include <string>

#include "nimbusreason.h"

namespace nimbus::crs {

// NAME.prj for NAME.ilas (any other name gets .prj appended); works on the
// name alone, in whatever encoding it comes.
std::string prjPathBeside(const std::string& ilasPath);

// Writes `wkt` to `path` through a new file beside it renamed over any
// earlier one, so a reader never sees half a text. False with `error` set
// when it cannot be written (nothing is left behind then).
bool writePrj(const std::filesystem::path& path, const std::string& wkt, Reason& error);

// Removes `path` if it exists; false with `error` set when it stays.
bool removePrj(const std::filesystem::path& path, Reason& error);

// Reads the WKT at `path`. False when there is none (`error` empty) or it
// cannot be read (`error` says why); larger texts than any coordinate
// system needs are refused.
bool readPrj(const std::filesystem::path& path, std::string& wkt, Reason& error);

} // namespace nimbus::crs
