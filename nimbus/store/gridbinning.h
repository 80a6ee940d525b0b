#pragma once
// First step of cutting a buffer into blocks: counts the points of every
// 20-unit grid cube and finds each cube's tight box. Pure computation.

#include "pointrecord.h"

#include <cstdint>
#include <vector>

namespace nimbus {

// Edge of a grid cube, in the units of the relative coordinates. A point's
// key is x / 20, y / 20, z / 20, divided in single precision and truncated
// toward zero, so the cubes of key 0 are 40 units wide.
constexpr float kGridCellSize = 20.0f;

struct GridCell {
    std::int32_t kx, ky, kz;
    std::int32_t count;
    float minX, minY, minZ;
    float maxX, maxY, maxZ;
};

struct GridBinning {
    // Cells holding at least one point, ordered by kx, then ky, then kz.
    std::vector<GridCell> cells;
    // For every point its cell's position in `cells`, or -1 when dropped.
    std::vector<std::int32_t> cellOfPoint;
    // Points with a non-finite coordinate or a key outside int32.
    std::uint64_t droppedPoints = 0;
};

// Large buffers are binned by several threads; the result does not depend
// on their number. `indexStorage` lends its memory to cellOfPoint.
GridBinning binIntoGrid(const PointRecord* points, std::int32_t count,
                        std::vector<std::int32_t> indexStorage = {});

} // namespace nimbus
