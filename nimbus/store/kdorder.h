#pragma once
// Order of the points inside a stored block: the breadth-first order of a
// balanced kd-tree, so every prefix of a block is an even spatial sample.

#include "pointrecord.h"

#include <cstdint>

namespace nimbus {

// Rearranges a block's points in place into kd-tree breadth-first order:
// position 0 is the x-median, 1 and 2 the y-medians of the halves, and so on,
// cycling x, y, z (the upper of two middle points is the median). Equal
// coordinates are ordered by position before ordering, so the result does
// not depend on the selection algorithm or the thread count.
void orderBlockPoints(PointRecord* points, std::int32_t n);

} // namespace nimbus
