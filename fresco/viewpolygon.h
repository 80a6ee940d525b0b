// The straight-down view of one tile: a horizontal rectangle over the tile's
// box, placed high enough that the eye is above everything the tile holds.
#pragma once

#include <osg/BoundingBox>
#include <osg/Vec3d>

#include <vector>

namespace fresco {

// zmax + (zmin + zmax)/2, but never below zmax: a tile whose mid height is
// negative would otherwise put the eye inside or under the model and the clip
// plane would cut it away.
double viewPolygonHeight(const osg::BoundingBoxd &box);

// Corners (xmin, ymin), (xmax, ymin), (xmax, ymax), (xmin, ymax) at
// viewPolygonHeight(box).
std::vector<osg::Vec3d> viewPolygon(const osg::BoundingBoxd &box);

} // namespace fresco
