#pragma once
// The header of a PLY file, as far as its vertices go: their properties
// become the fields of a PcdHeader, so that PcdReader reads PLY vertices
// (text or binary, either byte order) like PCD points. Elements after the
// vertices (faces, edges) are ignored.

#include "pcdheader.h"

#include <cstddef>
#include <string>

namespace nimbus {
namespace pcd {

// Parses the header at the start of `text` (the first `size` bytes of the
// file). Refused with a reason: not a PLY header, no vertex element, and
// what the vertex reading does not cover: other elements stored before the
// vertices and list properties among the vertex's own.
bool parsePlyHeader(const char* text, std::size_t size, PcdHeader& header, Reason& reason);

} // namespace pcd
} // namespace nimbus
