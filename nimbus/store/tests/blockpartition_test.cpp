#include "blockpartition.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <cmath>
#include <limits>
#include <numeric>

using nimbus::BufferPartition;
using nimbus::CellBox;
using nimbus::PointRecord;
using nimbus::partitionPoints;

namespace {

PointRecord point(float x, float y, float z)
{
    return PointRecord{x, y, z, 0, 0, 0, 0};
}

void add(std::vector<PointRecord>& points, int copies, float x, float y, float z)
{
    for (int i = 0; i < copies; ++i)
        points.push_back(point(x, y, z));
}

BufferPartition partition(const std::vector<PointRecord>& points, std::int32_t limit = nimbus::kMaxBlockPoints)
{
    return partitionPoints(points.data(), static_cast<std::int32_t>(points.size()), limit);
}

void expectBox(const CellBox& box, float minX, float minY, float minZ, float maxX, float maxY,
               float maxZ)
{
    EXPECT_EQ(box.minX, minX);
    EXPECT_EQ(box.minY, minY);
    EXPECT_EQ(box.minZ, minZ);
    EXPECT_EQ(box.maxX, maxX);
    EXPECT_EQ(box.maxY, maxY);
    EXPECT_EQ(box.maxZ, maxZ);
}

// Every block's count equals the number of points assigned to it.
void expectConsistent(const BufferPartition& result)
{
    std::vector<std::int32_t> counted(result.blocks.size(), 0);
    for (std::int32_t block : result.blockOfPoint) {
        ASSERT_GE(block, -1);
        ASSERT_LT(block, static_cast<std::int32_t>(result.blocks.size()));
        if (block >= 0)
            ++counted[static_cast<std::size_t>(block)];
    }
    for (std::size_t b = 0; b < result.blocks.size(); ++b)
        EXPECT_EQ(counted[b], result.blocks[b].pointCount) << "block " << b;
}

std::int64_t storedPoints(const BufferPartition& result)
{
    std::int64_t total = 0;
    for (const CellBox& box : result.blocks)
        total += box.pointCount;
    return total;
}

} // namespace

TEST(BlockPartition, GridCellNeedsTenPoints)
{
    std::vector<PointRecord> points;
    for (int i = 0; i < 9; ++i)
        points.push_back(point(1.0f + i, 2.0f, 3.0f));
    BufferPartition result = partition(points);
    EXPECT_TRUE(result.blocks.empty());
    EXPECT_EQ(result.blockOfPoint, std::vector<std::int32_t>(9, -1));

    // The tenth point sits on the maximum of every axis: the whole tight box.
    points.push_back(point(19.5f, 7.0f, 8.0f));
    points.front() = point(1.0f, 7.0f, 8.0f);
    result = partition(points);
    ASSERT_EQ(result.blocks.size(), 1u);
    expectBox(result.blocks[0], 1.0f, 2.0f, 3.0f, 19.5f, 7.0f, 8.0f);
    EXPECT_EQ(result.blocks[0].pointCount, 10);
    EXPECT_EQ(result.blockOfPoint, std::vector<std::int32_t>(10, 0));
    EXPECT_EQ(result.subdivisionPasses, 0);
}

TEST(BlockPartition, CellsComeInSignedKeyOrder)
{
    std::vector<PointRecord> points;
    // Keys (1,0,0), (0,5,0), (-1,9,9), (0,0,-3), interleaved in the buffer.
    for (int i = 0; i < 10; ++i) {
        points.push_back(point(25.0f + i, 1.0f, 1.0f));
        points.push_back(point(1.0f, 105.0f + i, 1.0f));
        points.push_back(point(-21.0f - i, 185.0f, 185.0f));
        points.push_back(point(1.0f, 1.0f, -65.0f - i));
    }
    const BufferPartition result = partition(points);
    ASSERT_EQ(result.blocks.size(), 4u);
    EXPECT_EQ(result.blocks[0].minX, -30.0f); // key (-1, 9, 9)
    EXPECT_EQ(result.blocks[1].minZ, -74.0f); // key (0, 0, -3)
    EXPECT_EQ(result.blocks[2].minY, 105.0f); // key (0, 5, 0)
    EXPECT_EQ(result.blocks[3].minX, 25.0f);  // key (1, 0, 0)
    const std::int32_t blockOfSlot[4] = {3, 2, 0, 1};
    for (std::size_t i = 0; i < points.size(); ++i)
        EXPECT_EQ(result.blockOfPoint[i], blockOfSlot[i % 4]);
}

TEST(BlockPartition, KeyZeroCellsAreFortyUnitsWide)
{
    std::vector<PointRecord> points;
    for (int i = 0; i < 5; ++i) {
        points.push_back(point(-19.99f + i, 0.5f, 0.5f));
        points.push_back(point(19.99f - i, 0.5f, 0.5f));
        points.push_back(point(40.0f, 0.5f, 0.5f + i));  // key 2
        points.push_back(point(-40.0f, 0.5f, 0.5f + i)); // key -2
        points.push_back(point(39.0f, 0.5f, 0.5f + i));  // key 1
    }
    const BufferPartition result = partition(points);
    // Key 0 holds the ten points on both sides of zero; keys -2, 1 and 2 hold
    // five each and are dropped.
    ASSERT_EQ(result.blocks.size(), 1u);
    expectBox(result.blocks[0], -19.99f, 0.5f, 0.5f, 19.99f, 0.5f, 0.5f);
    EXPECT_EQ(result.blocks[0].pointCount, 10);

    for (int i = 0; i < 5; ++i) {
        points.push_back(point(40.0f, 0.5f, 1.5f + i));
        points.push_back(point(-40.0f, 0.5f, 1.5f + i));
        points.push_back(point(-39.9f, 0.5f, 1.5f + i)); // key -1
    }
    const BufferPartition more = partition(points);
    ASSERT_EQ(more.blocks.size(), 3u);
    EXPECT_EQ(more.blocks[0].minX, -40.0f);
    EXPECT_EQ(more.blocks[0].maxX, -40.0f);
    EXPECT_EQ(more.blocks[1].minX, -19.99f);
    EXPECT_EQ(more.blocks[2].minX, 40.0f);
    expectConsistent(more);
}

TEST(BlockPartition, NonFiniteAndOutOfRangePointsAreDroppedAndCounted)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<PointRecord> points;
    add(points, 10, 3.0f, 3.0f, 3.0f);
    points.push_back(point(nan, 3.0f, 3.0f));
    points.push_back(point(3.0f, inf, 3.0f));
    points.push_back(point(3.0f, 3.0f, -inf));
    points.push_back(point(5e10f, 3.0f, 3.0f));  // key 2.5e9
    points.push_back(point(3.0f, -5e10f, 3.0f)); // key -2.5e9
    add(points, 10, -4.2e10f, 3.0f, 3.0f);       // key -2.1e9 still fits
    const BufferPartition result = partition(points);
    EXPECT_EQ(result.droppedPoints, 5u);
    ASSERT_EQ(result.blocks.size(), 2u);
    EXPECT_EQ(result.blocks[0].minX, -4.2e10f);
    for (std::size_t i = 10; i < 15; ++i)
        EXPECT_EQ(result.blockOfPoint[i], -1);
    expectConsistent(result);
}

TEST(BlockPartition, FiveHundredThousandPointsStayOneBlock)
{
    std::vector<PointRecord> points;
    for (int i = 0; i < 500000; ++i)
        points.push_back(point(static_cast<float>(i % 100) * 0.1f, static_cast<float>(i / 100 % 100) * 0.1f,
                               static_cast<float>(i / 10000) * 0.1f));
    const BufferPartition result = partition(points);
    ASSERT_EQ(result.blocks.size(), 1u);
    EXPECT_EQ(result.blocks[0].pointCount, 500000);
    EXPECT_EQ(result.subdivisionPasses, 0);
}

// 500,001 points in the cell [0,16]^3 (middle 8 on every axis), behind a
// small cell of higher key, so the children follow all grid cells.
TEST(BlockPartition, OverfullCellIsHalvedIntoNumberedChildren)
{
    std::vector<PointRecord> points;
    add(points, 10, 105.0f, 105.0f, 105.0f); // key (5,5,5): block 0
    points.push_back(point(0, 0, 0));
    add(points, 249999, 1, 1, 1);           // child 0
    add(points, 5, 12, 2, 12);              // child 5: upper x, lower y, upper z
    add(points, 4, 12, 12, 2);              // child 6: four points, dropped
    points.push_back(point(8, 8, 8));       // on the middle: upper on every axis
    points.push_back(point(16, 16, 16));    // on the cell's upper faces
    add(points, 249990, 12, 12, 12);        // child 7
    ASSERT_EQ(points.size(), 10u + 500001u);

    const BufferPartition result = partition(points);
    EXPECT_EQ(result.subdivisionPasses, 1);
    ASSERT_EQ(result.blocks.size(), 4u);
    expectBox(result.blocks[0], 105, 105, 105, 105, 105, 105);
    expectBox(result.blocks[1], 0, 0, 0, 8, 8, 8);
    EXPECT_EQ(result.blocks[1].pointCount, 250000);
    expectBox(result.blocks[2], 8, 0, 8, 16, 8, 16);
    EXPECT_EQ(result.blocks[2].pointCount, 5);
    expectBox(result.blocks[3], 8, 8, 8, 16, 16, 16);
    EXPECT_EQ(result.blocks[3].pointCount, 249992);

    EXPECT_EQ(result.blockOfPoint[10], 1);              // (0,0,0)
    EXPECT_EQ(result.blockOfPoint[10 + 250000], 2);     // first child-5 point
    EXPECT_EQ(result.blockOfPoint[10 + 250005], -1);    // child 6
    EXPECT_EQ(result.blockOfPoint[10 + 250009], 3);     // (8,8,8)
    EXPECT_EQ(result.blockOfPoint[10 + 250010], 3);     // (16,16,16)
    EXPECT_EQ(storedPoints(result), 10 + 500001 - 4);
    expectConsistent(result);
}

TEST(BlockPartition, SecondPassChildrenFollowTheFirstPass)
{
    // With blocks of at most 100 points, [0,8]^3 (middle 4) has 150 points in
    // child 0 and 50 in child 7; child 0, [0,4]^3 with middle 2, is halved
    // again: x = 0 or 1 lower, x = 3 upper; z = 0 or 1 lower, 2 or 3 upper.
    std::vector<PointRecord> points;
    points.push_back(point(0, 0, 0));
    for (int i = 0; i < 149; ++i)
        points.push_back(point(i % 2 ? 3.0f : 1.0f, 1.0f, 1.0f + static_cast<float>(i % 3)));
    add(points, 49, 6, 6, 6);
    points.push_back(point(8, 8, 8));
    const BufferPartition result = partition(points, 100);
    EXPECT_EQ(result.subdivisionPasses, 2);
    ASSERT_EQ(result.blocks.size(), 5u);
    expectBox(result.blocks[0], 4, 4, 4, 8, 8, 8);
    EXPECT_EQ(result.blocks[0].pointCount, 50);
    expectBox(result.blocks[1], 0, 0, 0, 2, 2, 2);
    EXPECT_EQ(result.blocks[1].pointCount, 26);
    expectBox(result.blocks[2], 0, 0, 2, 2, 2, 4);
    EXPECT_EQ(result.blocks[2].pointCount, 50);
    expectBox(result.blocks[3], 2, 0, 0, 4, 2, 2);
    EXPECT_EQ(result.blocks[3].pointCount, 25);
    expectBox(result.blocks[4], 2, 0, 2, 4, 2, 4);
    EXPECT_EQ(result.blocks[4].pointCount, 49);
    expectConsistent(result);
}

TEST(BlockPartition, IdenticalPointsAreCutIntoChunksInBufferOrder)
{
    std::vector<PointRecord> points;
    add(points, 600000, 5, 5, 5);
    const BufferPartition result = partition(points);
    ASSERT_EQ(result.blocks.size(), 2u);
    expectBox(result.blocks[0], 5, 5, 5, 5, 5, 5);
    expectBox(result.blocks[1], 5, 5, 5, 5, 5, 5);
    EXPECT_EQ(result.blocks[0].pointCount, 500000);
    EXPECT_EQ(result.blocks[1].pointCount, 100000);
    EXPECT_EQ(result.blockOfPoint[0], 0);
    EXPECT_EQ(result.blockOfPoint[499999], 0);
    EXPECT_EQ(result.blockOfPoint[500000], 1);
    EXPECT_EQ(result.blockOfPoint[599999], 1);
    expectConsistent(result);
}

TEST(BlockPartition, DenseSpotInsideACellEndsInChunks)
{
    // 600,000 points on one spot and 10 beside it: the spot's child keeps
    // shrinking until its box cannot be halved any more, then is cut.
    std::vector<PointRecord> points;
    add(points, 300000, 1, 1, 1);
    add(points, 10, 3, 3, 3);
    add(points, 300000, 1, 1, 1);
    const BufferPartition result = partition(points);
    EXPECT_GT(result.subdivisionPasses, 2);
    ASSERT_EQ(result.blocks.size(), 3u);
    // The first pass keeps [2,3]^3 with the ten points.
    expectBox(result.blocks[0], 2, 2, 2, 3, 3, 3);
    EXPECT_EQ(result.blocks[0].pointCount, 10);
    EXPECT_EQ(result.blocks[1].pointCount, 500000);
    EXPECT_EQ(result.blocks[2].pointCount, 100000);
    EXPECT_EQ(result.blocks[1].minX, 1.0f);
    EXPECT_EQ(result.blocks[2].minX, 1.0f);
    EXPECT_LT(result.blocks[1].maxX, 1.0001f);
    EXPECT_EQ(result.blockOfPoint[300000], 0);
    EXPECT_EQ(result.blockOfPoint[300010 + 199999], 1);
    EXPECT_EQ(result.blockOfPoint[300010 + 200000], 2);
    expectConsistent(result);
}

TEST(BlockPartition, EmptyOrMissingInputGivesNothing)
{
    EXPECT_TRUE(partitionPoints(nullptr, 100).blocks.empty());
    const PointRecord one = point(1, 1, 1);
    EXPECT_TRUE(partitionPoints(&one, 0).blockOfPoint.empty());
    EXPECT_TRUE(partitionPoints(&one, -5).blocks.empty());
}

TEST(BlockPartition, FarApartCellsGiveTheSameBlocksAsCloseOnes)
{
    // Close cells are binned through a dense grid, far-apart ones through a
    // table; both must give the same cells in the same order.
    std::vector<PointRecord> points;
    unsigned state = 99;
    for (int i = 0; i < 300000; ++i) {
        state = state * 1664525u + 1013904223u;
        points.push_back(point(static_cast<float>(state % 2000) * 0.05f - 40.0f,
                               static_cast<float>((state >> 11) % 1000) * 0.1f,
                               static_cast<float>((state >> 21) % 400) * 0.05f));
    }
    const BufferPartition close = partition(points);
    add(points, 10, 3e9f, 2e9f, -1e9f);
    const BufferPartition far = partition(points);
    ASSERT_EQ(far.blocks.size(), close.blocks.size() + 1);
    for (std::size_t b = 0; b < close.blocks.size(); ++b) {
        expectBox(far.blocks[b], close.blocks[b].minX, close.blocks[b].minY, close.blocks[b].minZ,
                  close.blocks[b].maxX, close.blocks[b].maxY, close.blocks[b].maxZ);
        EXPECT_EQ(far.blocks[b].pointCount, close.blocks[b].pointCount);
    }
    EXPECT_EQ(far.blocks.back().minX, 3e9f);
    for (std::size_t i = 0; i < close.blockOfPoint.size(); ++i)
        ASSERT_EQ(far.blockOfPoint[i], close.blockOfPoint[i]) << i;
    expectConsistent(far);
}

TEST(BlockPartition, ResultDoesNotDependOnTheThreadCount)
{
    // Large enough to be binned in chunks, dense enough to be halved.
    std::vector<PointRecord> points;
    unsigned state = 5;
    for (int i = 0; i < 800000; ++i) {
        state = state * 1664525u + 1013904223u;
        const float spread = i % 3 == 0 ? 200.0f : 10.0f;
        points.push_back(point(static_cast<float>(state % 1000) / 1000.0f * spread,
                               static_cast<float>((state >> 10) % 1000) / 1000.0f * spread,
                               static_cast<float>((state >> 20) % 1000) / 1000.0f * 10.0f));
    }
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    const BufferPartition one = partition(points);
    omp_set_num_threads(2);
    const BufferPartition two = partition(points);
    omp_set_num_threads(saved);
    EXPECT_GE(one.subdivisionPasses, 1);
    ASSERT_EQ(one.blocks.size(), two.blocks.size());
    for (std::size_t b = 0; b < one.blocks.size(); ++b) {
        expectBox(two.blocks[b], one.blocks[b].minX, one.blocks[b].minY, one.blocks[b].minZ,
                  one.blocks[b].maxX, one.blocks[b].maxY, one.blocks[b].maxZ);
        EXPECT_EQ(two.blocks[b].pointCount, one.blocks[b].pointCount);
    }
    EXPECT_TRUE(one.blockOfPoint == two.blockOfPoint);
    expectConsistent(one);
}
