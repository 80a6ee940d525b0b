// Drops the drawables of a freshly read scene graph that could not be drawn
// safely: a damaged tile file may carry index arrays pointing past their
// vertices, arrays shorter than their vertices or coordinates that are not
// numbers, and the scene graph would read past the arrays while it measures
// or draws them. Only whole geometries are dropped; the rest of the file
// stays.
#pragma once

namespace osg {
class Geometry;
class Node;
} // namespace osg

namespace fresco {

// True when every primitive of `geometry` stays inside its vertex array,
// every per-vertex array is as long as the vertex array and every vertex is
// finite.
bool isDrawableSafe(const osg::Geometry &geometry);

// Removes every geometry below `node` that isDrawableSafe refuses; returns
// how many were removed.
unsigned int dropUnsafeDrawables(osg::Node &node);

} // namespace fresco
