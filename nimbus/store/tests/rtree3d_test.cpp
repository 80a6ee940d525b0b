#include "rtree3d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using nimbus::RTree3D;

namespace {

RTree3D::Box cube(double x, double y, double z, double edge)
{
    return {x, y, z, x + edge, y + edge, z + edge};
}

std::vector<std::int64_t> sorted(std::vector<std::int64_t> ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

TEST(RTree3D, VolumeIsTheSphereThroughTheCorners)
{
    // Half-extents 1, 2, 2: radius 3.
    EXPECT_DOUBLE_EQ(RTree3D::volume({0, 0, 0, 2, 4, 4}), 4.18879 * 27.0);
    EXPECT_DOUBLE_EQ(RTree3D::volume({5, 5, 5, 5, 5, 5}), 0.0);
}

TEST(RTree3D, TenthInsertionSplitsTheRootLeaf)
{
    RTree3D tree;
    for (int i = 1; i <= 9; ++i)
        ASSERT_TRUE(tree.insert(cube(i * 3.0, 0, 0, 1), i));
    EXPECT_EQ(tree.rootLevel(), 0);
    EXPECT_EQ(tree.idsByRootBranch().size(), 9u);

    ASSERT_TRUE(tree.insert(cube(30, 0, 0, 1), 10));
    EXPECT_EQ(tree.rootLevel(), 1);
    const auto groups = tree.idsByRootBranch();
    ASSERT_EQ(groups.size(), 2u);
    std::vector<std::int64_t> all;
    for (const auto& group : groups) {
        EXPECT_GE(group.size(), 4u);
        EXPECT_LE(group.size(), 6u);
        all.insert(all.end(), group.begin(), group.end());
    }
    EXPECT_EQ(sorted(all), (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // Boxes along one line: the two groups are the two ends of the line.
    EXPECT_EQ(sorted(groups[0]).front(), 1);
    EXPECT_EQ(sorted(groups[1]).back(), 10);
}

TEST(RTree3D, SearchFindsBoxesThatOnlyTouchTheQuery)
{
    RTree3D tree;
    ASSERT_TRUE(tree.insert({0, 0, 0, 1, 1, 1}, 7));
    ASSERT_TRUE(tree.insert({3, 3, 3, 4, 4, 4}, 8));
    std::vector<std::int64_t> found{99};
    EXPECT_EQ(tree.search({1, 0.5, 0.5, 2, 2, 2}, found), 1);
    EXPECT_EQ(found, (std::vector<std::int64_t>{7}));
    EXPECT_EQ(tree.search({1.0000001, 0, 0, 2, 2, 2}, found), 0);
    EXPECT_TRUE(found.empty());
    // A query shrunk to a single point on a box's corner finds that box.
    EXPECT_EQ(tree.search({4, 4, 4, 4, 4, 4}, found), 1);
    EXPECT_EQ(found, (std::vector<std::int64_t>{8}));
}

TEST(RTree3D, HundredEqualBoxesAreAllFoundOnce)
{
    RTree3D tree;
    const RTree3D::Box box{1, 2, 3, 4, 5, 6};
    for (int id = 1; id <= 100; ++id)
        ASSERT_TRUE(tree.insert(box, id));
    EXPECT_GE(tree.rootLevel(), 1);
    std::vector<std::int64_t> found;
    ASSERT_EQ(tree.search(box, found), 100);
    found = sorted(found);
    for (int id = 1; id <= 100; ++id)
        EXPECT_EQ(found[static_cast<std::size_t>(id - 1)], id);
}

TEST(RTree3D, ManyScatteredBoxesMatchABruteForceSearch)
{
    RTree3D tree;
    std::vector<RTree3D::Box> boxes;
    unsigned state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<double>((state >> 8) % 1000) / 10.0;
    };
    for (int id = 1; id <= 500; ++id) {
        const RTree3D::Box box = cube(next(), next(), next(), 1 + next() / 20);
        boxes.push_back(box);
        ASSERT_TRUE(tree.insert(box, id));
    }
    for (int q = 0; q < 50; ++q) {
        const RTree3D::Box query = cube(next(), next(), next(), 5);
        std::vector<std::int64_t> expected;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            bool overlap = true;
            for (int a = 0; a < 3; ++a)
                overlap = overlap && !(query[a] > boxes[i][a + 3]) && !(boxes[i][a] > query[a + 3]);
            if (overlap)
                expected.push_back(static_cast<std::int64_t>(i + 1));
        }
        std::vector<std::int64_t> found;
        tree.search(query, found);
        EXPECT_EQ(sorted(found), expected);
    }
}

// Five boxes a = [0,10]^3 (ids 1-5) and five b = [2,8]^3 (ids 6-10): the
// seeds are ids 1 and 6; the a boxes join id 1, then id 7 (no preference)
// fills group 0 to six and the rest go to id 6: covers [0,10]^3 and [2,8]^3. A box inside both grows neither; the
// later slot wins because its own volume is smaller.
TEST(RTree3D, EqualGrowthPrefersTheSmallerSubtree)
{
    RTree3D tree;
    for (int id = 1; id <= 5; ++id)
        ASSERT_TRUE(tree.insert({0, 0, 0, 10, 10, 10}, id));
    for (int id = 6; id <= 10; ++id)
        ASSERT_TRUE(tree.insert({2, 2, 2, 8, 8, 8}, id));
    auto groups = tree.idsByRootBranch();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(sorted(groups[0]), (std::vector<std::int64_t>{1, 2, 3, 4, 5, 7}));
    EXPECT_EQ(sorted(groups[1]), (std::vector<std::int64_t>{6, 8, 9, 10}));

    ASSERT_TRUE(tree.insert({3, 3, 3, 4, 4, 4}, 11));
    groups = tree.idsByRootBranch();
    EXPECT_EQ(sorted(groups[1]), (std::vector<std::int64_t>{6, 8, 9, 10, 11}));
}

// Five boxes a = [0,10]^3 and five b = [5,15]x[0,10]x[0,10]: seeds a and b,
// groups {a x5} and {b x5} with equal volumes. A box inside both stays in the
// earlier slot.
TEST(RTree3D, EqualGrowthAndVolumeKeepsTheEarlierSlot)
{
    RTree3D tree;
    for (int id = 1; id <= 5; ++id)
        ASSERT_TRUE(tree.insert({0, 0, 0, 10, 10, 10}, id));
    for (int id = 6; id <= 10; ++id)
        ASSERT_TRUE(tree.insert({5, 0, 0, 15, 10, 10}, id));
    auto groups = tree.idsByRootBranch();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(sorted(groups[0]), (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(sorted(groups[1]), (std::vector<std::int64_t>{6, 7, 8, 9, 10}));

    ASSERT_TRUE(tree.insert({6, 1, 1, 9, 2, 2}, 11));
    groups = tree.idsByRootBranch();
    EXPECT_EQ(sorted(groups[0]), (std::vector<std::int64_t>{1, 2, 3, 4, 5, 11}));
}

TEST(RTree3D, RefusesNanBoxesAndIdZero)
{
    RTree3D tree;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(tree.insert({nan, 0, 0, 1, 1, 1}, 1));
    EXPECT_FALSE(tree.insert({0, 0, 0, 1, 1, nan}, 2));
    EXPECT_FALSE(tree.insert({0, 0, 0, 1, 1, 1}, 0));
    std::vector<std::int64_t> found;
    EXPECT_EQ(tree.search({-1e300, -1e300, -1e300, 1e300, 1e300, 1e300}, found), 0);
    EXPECT_TRUE(tree.insert({0, 0, 0, 1, 1, 1}, 3));
    EXPECT_EQ(tree.search({0, 0, 0, 1, 1, 1}, found), 1);
}
