#pragma once
// Order of the points inside a stored block: the breadth-first order of a
// balanced kd-tree, so every prefix of a block is an even spatial sample.

#include "pointrecord.h"

#include <cstdint>
#include <vector>

namespace nimbus {

// A range of a block still to be split around its median.
struct KdRange {
    std::int32_t begin;
    std::int32_t end;
    std::int32_t depth;
    std::int32_t out; // where its median goes
};

// The working memory of orderBlockPoints, kept by a caller that orders many
// blocks so it is allocated once. One thread uses one at a time. The caller
// owns it, not thread-local storage: under MinGW the destructors of
// thread-local objects corrupted the heap as the process ended.
struct KdOrderScratch {
    std::vector<PointRecord> original;
    std::vector<std::uint32_t> axisBits;
    std::vector<std::uint64_t> ranks;
    std::vector<KdRange> ranges;
};

// Rearranges a block's points in place into kd-tree breadth-first order:
// position 0 is the x-median, 1 and 2 the y-medians of the halves, and so on,
// cycling x, y, z (the upper of two middle points is the median). Equal
// coordinates are ordered by position before ordering, so the result does
// not depend on the selection algorithm or the thread count.
void orderBlockPoints(PointRecord* points, std::int32_t n, KdOrderScratch& scratch);
// The same with working memory of its own, for a single block.
void orderBlockPoints(PointRecord* points, std::int32_t n);

} // namespace nimbus
