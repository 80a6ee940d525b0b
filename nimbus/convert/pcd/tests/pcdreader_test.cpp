// Whole files through PcdReader: the shared samples of every encoding
// against their first and last finite points (decoded independently), a
// hand-compressed body with padding and repeated values, every value type,
// and PLY vertices in both byte orders.

#include "pcdreader.h"
#include "pcdtestfiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <tuple>

using namespace nimbus::pcd;
using namespace pcdtest;

namespace {

std::vector<PcdPoint> readAll(PcdReader& reader)
{
    std::vector<PcdPoint> points;
    PcdPoint batch[1000];
    for (;;) {
        const std::size_t n = reader.readPoints(batch, 1000);
        points.insert(points.end(), batch, batch + n);
        if (n < 1000)
            return points;
    }
}

bool finite(const PcdPoint& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

const char kFloatXyz[] = "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\n";

} // namespace

TEST(PcdSamples, EveryEncodingGivesTheRecordedPoints)
{
    struct Case {
        const char* file;
        std::uint64_t points, finite;
        double first[3], last[3];
    };
    const Case cases[] = {
        {"pcd/pcl/bunny.pcd", 397, 397, {0.005421599838882685, 0.11349000036716461, 0.040748998522758484},
         {-0.07793000340461731, 0.1751600056886673, -0.04439999908208847}},
        {"pcd/pcl/colored_cloud.pcd", 1000, 1000, {-0.8550515174865723, -0.6315085887908936, 1.4670000076293945},
         {0.2712914049625397, -0.3860686123371124, 0.9129999876022339}},
        {"pcd/pcl/curve_close.pcd", 110, 110, {0.26186829805374146, 0, 0}, {0.4157775044441223, 0, 0}},
        {"pcd/pcl/five_people.pcd", 307200, 239075, {-1.7318687438964844, -1.2329047918319702, 3.0460002422332764},
         {1.3913942575454712, 1.1406056880950928, 2.5320000648498535}},
        {"pcd/pcl/cturtle.pcd", 167198, 167198, {-1.4197180271148682, 0.09770400077104568, 1.4052950143814087},
         {1.4197180271148682, -0.09269300103187561, 1.4056340456008911}},
        {"pcd/pcl/2d/lena.pcd", 65536, 65536, {1, 1, 0}, {256, 256, 0}},
        {"pcd/pdal/autzen-utm.pcd", 1065, 1065, {494428.61, 4877455.58, 131.57}, {494490.24, 4878741.67, 129.21}},
        {"pcd/pdal/utm17_space.pcd", 10, 10, {289814.15625, 4320978.5, 170.75999450683594},
         {289818.5, 4320980.5, 170.5800018310547}},
    };
    for (const Case& k : cases) {
        PcdReader reader;
        ASSERT_TRUE(reader.open(sharedTestData(k.file))) << k.file << ": " << reader.error();
        const std::vector<PcdPoint> points = readAll(reader);
        ASSERT_FALSE(reader.failed()) << k.file << ": " << reader.error();
        ASSERT_EQ(points.size(), k.points) << k.file;
        std::vector<PcdPoint> kept;
        for (const PcdPoint& p : points)
            if (finite(p))
                kept.push_back(p);
        ASSERT_EQ(kept.size(), k.finite) << k.file;
        EXPECT_EQ(kept.front().x, k.first[0]) << k.file;
        EXPECT_EQ(kept.front().y, k.first[1]) << k.file;
        EXPECT_EQ(kept.front().z, k.first[2]) << k.file;
        EXPECT_EQ(kept.back().x, k.last[0]) << k.file;
        EXPECT_EQ(kept.back().y, k.last[1]) << k.file;
        EXPECT_EQ(kept.back().z, k.last[2]) << k.file;
    }
    // The organized Kinect frame keeps its rows: 640 x 480.
    PcdReader organized;
    ASSERT_TRUE(organized.open(sharedTestData("pcd/pcl/five_people.pcd")));
    EXPECT_EQ(organized.header().width, 640u);
    EXPECT_EQ(organized.header().height, 480u);
}

// Four points x y z (F4), a 3-byte padding field "_" and a 64-bit count,
// compressed by hand: 20 literal bytes, a back-reference repeating the
// 4-byte y value three times (distance 4, overlapping), then literals.
std::string handCompressedCloud()
{
    std::string raw;
    for (float x : {1.5f, 2.5f, 3.5f, 4.5f})
        append(raw, x);
    for (int i = 0; i < 4; ++i)
        append(raw, 10.0f);
    for (float z : {-1.0f, -1.0f, -1.0f, 7.0f})
        append(raw, z);
    raw += std::string(12, '\xaa');
    for (std::int64_t n : {1, 2, 3, -4})
        append(raw, n);
    std::string packed;
    packed += char(19) + raw.substr(0, 20);
    packed += {char(0xE0), char(12 - 2 - 7), char(4 - 1)};
    packed += char(31) + raw.substr(32, 32);
    packed += char(27) + raw.substr(64, 28);
    std::string file = "VERSION 0.7\nFIELDS x y z _ n\nSIZE 4 4 4 1 8\nTYPE F F F U I\nCOUNT 1 1 1 3 1\n"
                       "WIDTH 2\nHEIGHT 2\nVIEWPOINT 1 2 3 0 0 0 1\nPOINTS 4\nDATA binary_compressed\n";
    append(file, std::uint32_t(packed.size()));
    append(file, std::uint32_t(raw.size()));
    return file + packed;
}

TEST(PcdCompressed, HandMadeBodyWithPaddingAndBackReference)
{
    PcdReader reader;
    ASSERT_TRUE(reader.open(writeScratch("hand.pcd", handCompressedCloud()))) << reader.error();
    EXPECT_EQ(reader.header().pointBytes, 23u);
    EXPECT_EQ(reader.header().viewpoint[0], 1.0);
    EXPECT_EQ(reader.header().viewpoint[6], 1.0);
    const std::vector<PcdPoint> points = readAll(reader);
    ASSERT_EQ(points.size(), 4u);
    const double expected[4][3] = {{1.5, 10, -1}, {2.5, 10, -1}, {3.5, 10, -1}, {4.5, 10, 7}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(points[i].x, expected[i][0]) << i;
        EXPECT_EQ(points[i].y, expected[i][1]) << i;
        EXPECT_EQ(points[i].z, expected[i][2]) << i;
    }
}

TEST(PcdValues, EveryTypeInBinaryAndText)
{
    struct Type { char letter; int size; };
    for (const Type t : {Type{'I', 1}, Type{'U', 1}, Type{'I', 2}, Type{'U', 2}, Type{'I', 4},
                         Type{'U', 4}, Type{'I', 8}, Type{'U', 8}, Type{'F', 4}, Type{'F', 8}}) {
        const std::string s = std::to_string(t.size);
        const std::string l(1, t.letter);
        std::string file = "VERSION 0.7\nFIELDS pad x y z\nSIZE 1 " + s + " " + s + " " + s
            + "\nTYPE U " + l + " " + l + " " + l + "\nCOUNT 2 1 1 1\nWIDTH 1\nPOINTS 1\nDATA binary\n";
        file += "\x01\x02";
        for (int v : {1, 100, t.letter == 'U' ? 3 : -3}) {
            if (t.letter == 'F' && t.size == 4)
                append(file, float(v));
            else if (t.letter == 'F')
                append(file, double(v));
            else {
                const std::uint64_t bits = static_cast<std::uint64_t>(std::int64_t(v));
                file.append(reinterpret_cast<const char*>(&bits), t.size); // little-endian host
            }
        }
        PcdReader reader;
        ASSERT_TRUE(reader.open(writeScratch("type.pcd", file))) << l << s << ": " << reader.error();
        PcdPoint p{};
        ASSERT_EQ(reader.readPoints(&p, 1), 1u) << l << s;
        EXPECT_EQ(p.x, 1.0) << l << s;
        EXPECT_EQ(p.y, 100.0) << l << s;
        EXPECT_EQ(p.z, t.letter == 'U' ? 3.0 : -3.0) << l << s;
    }
    // Text integers wrap to their field's width as a stream read and a
    // narrowing cast give them; a fraction is cut off.
    const std::string text = "VERSION 0.7\nFIELDS x y z\nSIZE 1 1 4\nTYPE I U I\nCOUNT 1 1 1\n"
                             "WIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA ascii\n-300 -1 3.7\n\n+5 256 -0.5e3\n";
    PcdReader reader;
    ASSERT_TRUE(reader.open(writeScratch("ints.pcd", text))) << reader.error();
    const std::vector<PcdPoint> points = readAll(reader);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].x, -44.0);
    EXPECT_EQ(points[0].y, 255.0);
    EXPECT_EQ(points[0].z, 3.0);
    EXPECT_EQ(points[1].x, 5.0);
    EXPECT_EQ(points[1].y, 0.0);
    EXPECT_EQ(points[1].z, 0.0);
}

TEST(PlyVertices, BothByteOrdersAndTextWithFacesAfterThem)
{
    const std::string props = "property double x\nproperty float y\nproperty int z\nproperty uchar red\n";
    const std::string faces = "element face 1\nproperty list uchar int vertex_indices\n";
    std::string big = "ply\nformat binary_big_endian 1.0\ncomment made by hand\nelement vertex 2\n" + props
        + faces + "end_header\n";
    std::string little = "ply\nformat binary_little_endian 1.0\nelement vertex 2\n" + props + faces
        + "end_header\n";
    const auto swapped = [](auto value) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        return std::string(std::rbegin(bytes), std::rend(bytes));
    };
    for (const auto& [x, y, z] : {std::tuple{1.5, -2.0f, 1000000}, std::tuple{-0.25, 8.0f, -7}}) {
        big += swapped(x) + swapped(y) + swapped(std::int32_t(z)) + "\x05";
        append(little, x);
        append(little, y);
        append(little, std::int32_t(z));
        little += "\x05";
    }
    const std::string text = "ply\r\nformat ascii 1.0\r\nelement vertex 2\r\n" + props + faces
        + "end_header\r\n1.5 -2 1000000 5\r\n-0.25 8 -7 5\r\n3 0 1 1\r\n";
    for (const auto& [name, bytes] : {std::pair{"big.ply", big}, std::pair{"little.ply", little},
                                      std::pair{"text.ply", text}}) {
        PcdReader reader;
        ASSERT_TRUE(reader.openPly(writeScratch(name, bytes)))
            << name << ": " << reader.error();
        const std::vector<PcdPoint> points = readAll(reader);
        ASSERT_EQ(points.size(), 2u) << name;
        EXPECT_EQ(points[0].x, 1.5) << name;
        EXPECT_EQ(points[0].y, -2.0) << name;
        EXPECT_EQ(points[0].z, 1000000.0) << name;
        EXPECT_EQ(points[1].x, -0.25) << name;
        EXPECT_EQ(points[1].y, 8.0) << name;
        EXPECT_EQ(points[1].z, -7.0) << name;
    }
}
