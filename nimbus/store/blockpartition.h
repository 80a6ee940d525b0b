#pragma once
// Decides which block each point of one hand-off buffer goes to: 20-unit
// grid cells first, then octree halving of cells that are too full. Pure
// computation, no threads, so the rules can be checked in isolation.

#include "gridbinning.h"
#include "pointrecord.h"

#include <cstdint>
#include <vector>

namespace nimbus {

// Fewer points than this and a grid cell is dropped (the default; a run
// may ask for another minimum, 1 keeping every point).
constexpr std::int32_t kMinGridCellPoints = 10;
// Fewer points than this and a sub-cell is dropped; never more than the
// grid cells' minimum, so a minimum of 1 keeps every point.
constexpr std::int32_t kMinSubCellPoints = 5;

// A block-to-be: its box (relative coordinates) and how many points it gets.
struct CellBox {
    float minX = 0, minY = 0, minZ = 0;
    float maxX = 0, maxY = 0, maxZ = 0;
    std::int32_t pointCount = 0;
};

struct BufferPartition {
    // In block order: grid cells in key order (kx, then ky, then kz), then
    // the kept sub-cells of the first halving pass, then of the next, ...
    std::vector<CellBox> blocks;
    // For every input point, its block's position in `blocks`, or -1 when
    // the point is not stored (sparse cell, or dropped). Each block's points
    // are stored in buffer order.
    std::vector<std::int32_t> blockOfPoint;
    // Points with a non-finite coordinate or a grid key outside int32.
    std::uint64_t droppedPoints = 0;
    // Number of halving passes that ran.
    int subdivisionPasses = 0;
};

// `maxBlockPoints` is the largest block; cells with more points are halved,
// and a cell that cannot be halved any further is cut into consecutive
// chunks of at most that many points. `indexStorage` (for example the
// blockOfPoint of an earlier partition) lends its memory to blockOfPoint.
// Grid cells with fewer than `minCellPoints` points are dropped.
BufferPartition partitionPoints(const PointRecord* points, std::int32_t count,
                                std::int32_t maxBlockPoints = kMaxBlockPoints,
                                std::vector<std::int32_t> indexStorage = {},
                                std::int32_t minCellPoints = kMinGridCellPoints);

} // namespace nimbus
