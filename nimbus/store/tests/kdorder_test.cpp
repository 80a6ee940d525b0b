#include "kdorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <random>
#include <tuple>

using nimbus::PointRecord;
using nimbus::orderBlockPoints;

namespace {

PointRecord point(float x, float y, float z, std::uint8_t tag = 0)
{
    return PointRecord{x, y, z, tag, 0, 0, 0};
}

std::vector<float> xs(const std::vector<PointRecord>& points)
{
    std::vector<float> result;
    for (const PointRecord& p : points)
        result.push_back(p.x);
    return result;
}

float coordinate(const PointRecord& p, int axis)
{
    return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
}

// Walks the ordered block as the breadth-first layout of a balanced kd-tree
// and checks every median against the points of its range: the range's points
// are known from the original block, identified by their position (kept in
// the red and green bytes).
void expectBreadthFirstKdOrder(const std::vector<PointRecord>& original,
                               const std::vector<PointRecord>& ordered)
{
    auto position = [](const PointRecord& p) { return p.red | (p.green << 8); };
    struct Range {
        std::vector<int> members;
        int depth;
    };
    std::vector<int> all(original.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<int>(i);
    std::deque<Range> queue{{all, 0}};
    std::size_t out = 0;
    std::vector<bool> seen(original.size(), false);
    while (!queue.empty()) {
        Range range = std::move(queue.front());
        queue.pop_front();
        if (range.members.empty())
            continue;
        ASSERT_LT(out, ordered.size());
        const int median = position(ordered[out++]);
        ASSERT_FALSE(seen[static_cast<std::size_t>(median)]);
        seen[static_cast<std::size_t>(median)] = true;
        const int axis = range.depth % 3;
        const float m = coordinate(original[static_cast<std::size_t>(median)], axis);
        Range lower{{}, range.depth + 1};
        Range upper{{}, range.depth + 1};
        bool found = false;
        for (int member : range.members) {
            const float c = coordinate(original[static_cast<std::size_t>(member)], axis);
            if (member == median)
                found = true;
            else if (c < m || (c == m && member < median))
                lower.members.push_back(member);
            else
                upper.members.push_back(member);
        }
        ASSERT_TRUE(found) << "median outside its range";
        // The upper of the two middle points is the median of an even range.
        ASSERT_EQ(lower.members.size(), range.members.size() / 2);
        queue.push_back(std::move(lower));
        queue.push_back(std::move(upper));
    }
    EXPECT_EQ(out, ordered.size());
}

} // namespace

TEST(KdOrder, SmallBlocksFollowTheExamples)
{
    std::vector<PointRecord> two{point(1, 0, 0), point(2, 0, 0)};
    orderBlockPoints(two.data(), 2);
    EXPECT_EQ(xs(two), (std::vector<float>{2, 1}));

    std::vector<PointRecord> three{point(3, 0, 0), point(1, 0, 0), point(2, 0, 0)};
    orderBlockPoints(three.data(), 3);
    EXPECT_EQ(xs(three), (std::vector<float>{2, 1, 3}));

    std::vector<PointRecord> one{point(7, 8, 9, 42)};
    orderBlockPoints(one.data(), 1);
    EXPECT_EQ(one[0].x, 7);
    EXPECT_EQ(one[0].red, 42);
}

TEST(KdOrder, SecondLevelSplitsAlongY)
{
    // x-median is (4, ...); halves {1, 2, 3} and {5, 6, 7} by x, each then
    // ordered by y.
    std::vector<PointRecord> points{point(1, 30, 0), point(2, 10, 0), point(3, 20, 0), point(4, 0, 0),
                                    point(5, 3, 0),  point(6, 1, 0),  point(7, 2, 0)};
    orderBlockPoints(points.data(), 7);
    EXPECT_EQ(xs(points), (std::vector<float>{4, 3, 7, 2, 1, 6, 5}));
}

TEST(KdOrder, EqualCoordinatesKeepTheirOriginalOrder)
{
    // All x equal: the tie goes by position, so the median is the point at
    // position 2 and the colours travel with their points.
    std::vector<PointRecord> points;
    for (std::uint8_t i = 0; i < 4; ++i)
        points.push_back(point(5, 5, 5, i));
    orderBlockPoints(points.data(), 4);
    std::vector<int> tags;
    for (const PointRecord& p : points)
        tags.push_back(p.red);
    // Ranges: [0,4) -> 2; [0,2) -> 1, [3,4) -> 3; [0,1) -> 0.
    EXPECT_EQ(tags, (std::vector<int>{2, 1, 3, 0}));
}

// One working memory serves blocks of every size in turn, as on a writer's
// thread: what a larger block left in it changes nothing in a smaller one.
TEST(KdOrder, RandomBlocksAreInBreadthFirstKdOrder)
{
    std::mt19937 random(7);
    nimbus::KdOrderScratch scratch;
    for (int n : {4097, 2, 1000, 5, 16, 100, 17}) {
        // Coarse coordinates give many ties.
        std::uniform_int_distribution<int> coarse(0, n < 100 ? 3 : 20);
        std::vector<PointRecord> original;
        for (int i = 0; i < n; ++i) {
            PointRecord p = point(static_cast<float>(coarse(random)), static_cast<float>(coarse(random)),
                                  static_cast<float>(coarse(random)));
            p.red = static_cast<std::uint8_t>(i & 0xff);
            p.green = static_cast<std::uint8_t>(i >> 8);
            original.push_back(p);
        }
        std::vector<PointRecord> ordered = original;
        orderBlockPoints(ordered.data(), n, scratch);
        SCOPED_TRACE(n);
        expectBreadthFirstKdOrder(original, ordered);
        std::vector<PointRecord> alone = original;
        orderBlockPoints(alone.data(), n);
        EXPECT_EQ(0, std::memcmp(alone.data(), ordered.data(), ordered.size() * sizeof(PointRecord)));
    }
}
