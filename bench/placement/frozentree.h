// A tile set's scene with every paged level frozen at its deepest file: each
// osg::PagedLOD is replaced by the content of the level files it names, read
// and frozen in turn, down to the deepest file that exists; where a named
// file is missing the level's own children stay. The result holds no paged
// or switched level, so a camera draws the finest geometry everywhere,
// whatever its resolution.
#pragma once

#include <osg/Node>
#include <osg/ref_ptr>

#include <string>
#include <vector>

namespace placement {

struct FreezeCounts
{
    int levelFilesRead = 0;
    // Level files named by a PagedLOD that could not be read; their
    // PagedLOD's own (coarser) children are drawn instead.
    std::vector<std::string> missing;
    // Plain osg::LOD nodes met (drawn with all their children).
    int plainLods = 0;
};

// Reads `rootFile` and freezes it. Null when the root cannot be read.
osg::ref_ptr<osg::Node> readFrozen(const std::string &rootFile, FreezeCounts &counts);

} // namespace placement
