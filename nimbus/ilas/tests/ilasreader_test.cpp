// The reader and the format check on ilas files assembled byte by byte, on
// damaged copies of them, and on blocks put in order by the writer's own
// kd ordering.

#include "ilascheck.h"
#include "ilasreader.h"
#include "kdorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace nimbus;
using namespace nimbus::ilas;

namespace {

using Bytes = std::string;

template <typename T>
void putAt(Bytes& bytes, std::size_t offset, T value)
{
    std::memcpy(&bytes[offset], &value, sizeof value);
}

template <typename T>
void append(Bytes& bytes, T value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

struct HandBlock {
    std::vector<PointRecord> points; // already in stored order
    float box[6];                    // min x y z, max x y z
};

// A complete file as the writer lays it out: header, blocks back to back,
// directory; header bounds = union of the boxes + origin.
Bytes makeIlas(const std::vector<HandBlock>& blocks, bool colour, const double origin[3])
{
    Bytes bytes(216, '\0');
    putAt<std::uint8_t>(bytes, 0, colour ? 1 : 0);
    putAt<std::int32_t>(bytes, 4, static_cast<std::int32_t>(blocks.size()));
    for (int a = 0; a < 3; ++a) {
        putAt<double>(bytes, 24 + 8 * a, origin[a]);
        putAt<double>(bytes, 48 + 8 * a, 3.4028234663852886e38 + origin[a]);
        putAt<double>(bytes, 72 + 8 * a, 1.1754943508222875e-38 + origin[a]);
    }
    std::memcpy(&bytes[96], "Quillfen-ilas-v2.1", 19);
    std::memcpy(&bytes[146], "2024-05-01 08:30:00", 19);
    Bytes directory;
    std::int64_t total = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const HandBlock& b = blocks[i];
        append<std::int32_t>(directory, static_cast<std::int32_t>(i));
        append<std::int32_t>(directory, static_cast<std::int32_t>(b.points.size()));
        append<std::int64_t>(directory, static_cast<std::int64_t>(bytes.size()));
        for (float v : b.box)
            append<float>(directory, v);
        for (const PointRecord& p : b.points)
            bytes.append(reinterpret_cast<const char*>(&p.x), 12);
        if (colour)
            for (const PointRecord& p : b.points)
                bytes.append(reinterpret_cast<const char*>(&p.red), 4);
        total += static_cast<std::int64_t>(b.points.size());
        for (int a = 0; a < 6; ++a) {
            double bound;
            std::memcpy(&bound, &bytes[48 + 8 * a], 8);
            const double value = origin[a % 3] + b.box[a];
            if (i == 0 || (a < 3 ? value < bound : value > bound))
                putAt<double>(bytes, 48 + 8 * a, value);
        }
    }
    putAt<std::int64_t>(bytes, 8, static_cast<std::int64_t>(bytes.size()));
    putAt<std::int64_t>(bytes, 16, total);
    return bytes + directory;
}

class IlasFiles : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes)
    {
        const std::string path = (dir_ / ("f" + std::to_string(count_++) + ".ilas")).string();
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    Problem check(const Bytes& bytes)
    {
        IlasReader reader;
        reader.open(write(bytes));
        return checkFile(reader);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_ = [] {
        auto d = std::filesystem::temp_directory_path()
            / ("ilasreader_test_" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(d);
        return d;
    }();
    int count_ = 0;
};

const double kOrigin[3] = {500000.0, 4000000.0, 100.0};

PointRecord point(float x, float y, float z, std::uint8_t red = 0)
{
    return PointRecord{x, y, z, red, static_cast<std::uint8_t>(red + 1), static_cast<std::uint8_t>(red + 2), 0};
}

// Two blocks: three points on x in kd order (2, 1, 3), and one point.
std::vector<HandBlock> twoBlocks()
{
    return {HandBlock{{point(2, 5, 5, 10), point(1, 5, 5, 20), point(3, 5, 5, 30)}, {1, 5, 5, 3, 5, 5}},
            HandBlock{{point(50, 60, 70, 40)}, {40, 60, 60, 60, 80, 80}}};
}

} // namespace

TEST_F(IlasFiles, ReadsHeaderDirectoryPointsAndColours)
{
    for (const bool colour : {false, true}) {
        SCOPED_TRACE(colour);
        const Bytes bytes = makeIlas(twoBlocks(), colour, kOrigin);
        ASSERT_EQ(bytes.size(), colour ? 216u + 64 + 80 : 216u + 48 + 80);
        IlasReader reader;
        ASSERT_TRUE(reader.open(write(bytes))) << reader.problem().text();
        EXPECT_EQ(reader.state(), FileState::Complete);
        EXPECT_EQ(reader.magic(), "Quillfen-ilas-v2.1");
        EXPECT_EQ(reader.createdAt(), "2024-05-01 08:30:00");
        EXPECT_EQ(reader.header().pointCount, 4);
        EXPECT_EQ(reader.header().minX, 500001.0);
        EXPECT_EQ(reader.header().maxZ, 180.0);
        ASSERT_EQ(reader.blocks().size(), 2u);
        EXPECT_EQ(reader.blocks()[0].dataOffset, 216);
        EXPECT_EQ(reader.blocks()[1].dataOffset, colour ? 264 : 252);

        const BlockView first = reader.block(0);
        ASSERT_EQ(first.count(), 3);
        EXPECT_EQ(first.point(1).x, 1.0f);
        const AbsoluteXyz absolute = reader.absolute(reader.block(1).point(0));
        EXPECT_EQ(absolute.x, 500050.0);
        EXPECT_EQ(absolute.y, 4000060.0);
        EXPECT_EQ(absolute.z, 170.0);
        EXPECT_EQ(first.hasColour(), colour);
        if (colour) {
            EXPECT_EQ(first.colour(2).red, 30);
            EXPECT_EQ(first.colour(2).blue, 32);
            EXPECT_EQ(reader.block(1).colour(0).green, 41);
        }
        EXPECT_FALSE(checkFile(reader).found()) << checkFile(reader).text();

        // Boxes found from the directory: faces touching count.
        EXPECT_EQ(reader.blocksMeeting(Box{{500000, 4000000, 100}, {500001, 4000005, 105}}),
                  std::vector<std::int32_t>{0});
        EXPECT_EQ(reader.blocksMeeting(Box{{500000, 4000000, 100}, {500100, 4000100, 200}}),
                  (std::vector<std::int32_t>{0, 1}));
        EXPECT_TRUE(reader.blocksMeeting(Box{{500004, 4000000, 100}, {500039, 4000100, 200}}).empty());
    }
}

TEST_F(IlasFiles, EmptyFileIsCompleteAndPassesTheCheck)
{
    const Bytes bytes = makeIlas({}, true, kOrigin);
    ASSERT_EQ(bytes.size(), 216u);
    IlasReader reader;
    ASSERT_TRUE(reader.open(write(bytes)));
    EXPECT_TRUE(reader.blocks().empty());
    EXPECT_EQ(reader.header().minX, 500000.0 + 3.4028234663852886e38);
    EXPECT_FALSE(checkFile(reader).found());
}

TEST_F(IlasFiles, DamagedFilesAreRefusedWithTheirReason)
{
    const Bytes good = makeIlas(twoBlocks(), true, kOrigin);
    struct Damage {
        const char* rule;
        std::int64_t block;
        Bytes bytes;
    };
    std::vector<Damage> cases;
    cases.push_back({"header-size", -1, good.substr(0, 215)});
    cases.push_back({"file-size", -1, good.substr(0, good.size() - 1)});
    cases.push_back({"file-size", -1, good + "x"});
    Bytes b = good;
    std::memset(&b[104], 0, 11); // only "Quillfen" left: the placeholder
    cases.push_back({"unfinished", -1, b});
    b = good;
    b[100] = 'X';
    cases.push_back({"magic", -1, b});
    b = good;
    putAt<std::uint8_t>(b, 0, 2);
    cases.push_back({"colour-flag", -1, b});
    b = good;
    putAt<std::int64_t>(b, 8, 1 << 30); // directory past the end
    cases.push_back({"file-size", -1, b});
    b = good;
    putAt<std::int32_t>(b, 4, -1);
    cases.push_back({"file-size", -1, b});
    b = good;
    putAt<std::int64_t>(b, 280 + 40 + 8, 270); // block 1's data runs into the directory
    cases.push_back({"block-range", 1, b});
    b = good;
    putAt<std::int32_t>(b, 280 + 4, 0x7fffffff);
    cases.push_back({"block-range", 0, b});
    b = good;
    putAt<std::int32_t>(b, 280 + 40, 7);
    cases.push_back({"directory-index", 1, b});
    b = good;
    putAt<std::int64_t>(b, 280 + 40 + 8, 240); // overlaps block 0
    cases.push_back({"block-offset", 1, b});
    b = good;
    putAt<std::int64_t>(b, 16, 5);
    cases.push_back({"point-count", -1, b});
    b = good;
    putAt<double>(b, 56, 4000000.5);
    cases.push_back({"header-bounds", -1, b});
    b = good;
    b[200] = 'x'; // after the creation time's NUL
    cases.push_back({"header-padding", -1, b});
    b = good;
    putAt<float>(b, 216 + 12 + 4, 5.5f); // point 1 of block 0 above its box on y
    cases.push_back({"block-box", 0, b});
    b = good;
    putAt<float>(b, 216, 3.0f); // x of points 0 and 2 swapped: (3, 1, 2), 2 above the root
    putAt<float>(b, 216 + 24, 2.0f);
    cases.push_back({"kd-order", 0, b});

    for (const Damage& d : cases) {
        SCOPED_TRACE(d.rule);
        const Problem p = check(d.bytes);
        EXPECT_EQ(p.rule, d.rule) << p.text();
        EXPECT_EQ(p.block, d.block);
        EXPECT_FALSE(p.detail.empty());
    }

    IlasReader missing;
    EXPECT_FALSE(missing.open((dir_ / "missing.ilas").string()));
    EXPECT_EQ(missing.state(), FileState::Unreadable);
    EXPECT_TRUE(missing.blocks().empty());
    EXPECT_FALSE(missing.open(dir_.string())); // a folder is no file
    EXPECT_EQ(missing.problem().detail, "not a regular file");
}

TEST_F(IlasFiles, OversizedBlockBreaksTheSizeRule)
{
    HandBlock big;
    big.points.assign(kMaxBlockPoints + 1, point(1, 1, 1));
    std::copy_n(std::initializer_list<float>{1, 1, 1, 1, 1, 1}.begin(), 6, big.box);
    const Problem p = check(makeIlas({big}, false, kOrigin));
    EXPECT_EQ(p.rule, "block-size");
    EXPECT_EQ(p.block, 0);
}

// The check accepts exactly what the writer's ordering produces, ties
// included, and catches a swapped pair.
TEST(KdOrderCheck, AcceptsTheWritersOrderAndCatchesSwappedPairs)
{
    std::mt19937 random(7);
    for (const std::int32_t n : {1, 2, 3, 4, 7, 8, 15, 16, 17, 100, 1000, 4097}) {
        for (const int grid : {0, 3}) { // 0: distinct values; 3: many ties
            SCOPED_TRACE(std::to_string(n) + " points, grid " + std::to_string(grid));
            std::uniform_real_distribution<float> any(-50, 50);
            std::uniform_int_distribution<int> step(0, grid);
            std::vector<PointRecord> points(static_cast<std::size_t>(n));
            for (PointRecord& p : points)
                p = grid ? point(static_cast<float>(step(random)), static_cast<float>(step(random)),
                                 static_cast<float>(step(random)))
                         : point(any(random), any(random), any(random));
            orderBlockPoints(points.data(), n);
            HandBlock block{points, {-50, -50, -50, 50, 50, 50}};

            const Bytes ordered = makeIlas({block}, true, kOrigin);
            const std::string path = ::testing::TempDir() + "kd.ilas";
            std::ofstream(path, std::ios::binary).write(ordered.data(), static_cast<std::streamsize>(ordered.size()));
            IlasReader reader;
            ASSERT_TRUE(reader.open(path));
            KdScratch scratch;
            EXPECT_FALSE(checkBlock(reader, 0, scratch).found()) << checkBlock(reader, 0, scratch).text();

            if (grid == 0 && n >= 3) {
                // The medians of the lower and the upper x-half swap sides.
                std::swap(block.points[1], block.points[2]);
                const Bytes swapped = makeIlas({block}, true, kOrigin);
                reader.close(); // Windows refuses to rewrite a mapped file
                std::ofstream(path, std::ios::binary)
                    .write(swapped.data(), static_cast<std::streamsize>(swapped.size()));
                ASSERT_TRUE(reader.open(path));
                const Problem p = checkBlock(reader, 0, scratch);
                EXPECT_EQ(p.rule, "kd-order");
                EXPECT_EQ(p.block, 0);
            }
            std::remove(path.c_str());
        }
    }
}
