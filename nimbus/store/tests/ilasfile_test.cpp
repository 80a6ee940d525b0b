#include "testfiles.h"
#include "writeilasthread.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>

using namespace nimbus;
using nimbus::storetest::readWholeFile;
using nimbus::storetest::valueAt;

namespace {

struct BlockContent {
    std::vector<PointRecord> points;
    float box[6];
};

BlockRecord* makeBlock(const BlockContent& content)
{
    auto* block = new BlockRecord;
    block->minX = content.box[0];
    block->minY = content.box[1];
    block->minZ = content.box[2];
    block->maxX = content.box[3];
    block->maxY = content.box[4];
    block->maxZ = content.box[5];
    block->points = createPointBuffer(static_cast<std::int32_t>(content.points.size()));
    std::copy(content.points.begin(), content.points.end(), block->points->points);
    block->pointCount = static_cast<std::int32_t>(content.points.size());
    return block;
}

struct WriteResult {
    bool opened = false;
    bool failed = false;
    QString errorText;
    std::vector<double> percents;
};

WriteResult writeFile(const QString& path, const std::vector<BlockContent>& contents, bool colour,
                      std::uint64_t expected = 0, double originX = 0, double originY = 0,
                      double originZ = 0)
{
    WriteResult result;
    WriteIlasThread writer;
    std::mutex percentMutex;
    QObject::connect(&writer, &WriteIlasThread::updatePercent, [&](double value) {
        std::lock_guard<std::mutex> lock(percentMutex);
        result.percents.push_back(value);
    });
    result.opened = writer.openFile(path);
    writer.header()->originX = originX;
    writer.header()->originY = originY;
    writer.header()->originZ = originZ;
    writer.header()->hasColor = colour ? 1 : 0;
    writer.writeColor = colour;
    writer.expectedPoints = expected;
    writer.start();
    std::vector<BlockRecord*> blocks;
    for (const BlockContent& content : contents)
        blocks.push_back(makeBlock(content));
    if (!blocks.empty()) {
        while (!writer.offerBlocks(blocks))
            QThread::msleep(1);
    }
    writer.inputFinished = true;
    writer.wait();
    result.failed = writer.failed();
    result.errorText = writer.errorText();
    return result;
}

void put(QByteArray& bytes, int offset, const void* value, int size)
{
    std::memcpy(bytes.data() + offset, value, static_cast<std::size_t>(size));
}
template <typename T>
void put(QByteArray& bytes, int offset, T value)
{
    put(bytes, offset, &value, sizeof value);
}

// Header as it must be on disk, built field by field from the byte table.
QByteArray expectedHeader(std::uint8_t colour, std::int32_t blocks, std::int64_t directory,
                          std::int64_t points, const double origin[3], const double bounds[6])
{
    QByteArray bytes(216, '\0');
    put(bytes, 0, colour);
    put(bytes, 4, blocks);
    put(bytes, 8, directory);
    put(bytes, 16, points);
    for (int i = 0; i < 3; ++i)
        put(bytes, 24 + 8 * i, origin[i]);
    for (int i = 0; i < 6; ++i)
        put(bytes, 48 + 8 * i, bounds[i]);
    put(bytes, 96, "Quillfen-ilas-v2.1", 19);
    return bytes;
}

// createdAt (offsets 146 to 164) is the only part that depends on the clock.
void expectSameExceptCreatedAt(QByteArray actual, QByteArray expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    ASSERT_GE(actual.size(), 216);
    EXPECT_EQ(actual[146 + 4], '-');
    EXPECT_EQ(actual[146 + 19], '\0');
    actual.replace(146, 19, QByteArray(19, '\0'));
    expected.replace(146, 19, QByteArray(19, '\0'));
    for (int i = 0; i < actual.size(); ++i)
        ASSERT_EQ(static_cast<int>(static_cast<unsigned char>(actual[i])),
                  static_cast<int>(static_cast<unsigned char>(expected[i])))
            << "byte " << i;
}

const std::vector<BlockContent> kThreePoints{
    {{{1, 10, 100, 11, 12, 13, 0}, {2, 20, 200, 21, 22, 23, 0}, {3, 30, 300, 31, 32, 33, 0}},
     {0.5f, 9, 99, 3.5f, 31, 301}}};

} // namespace

class IlasFileTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(IlasFileTest, ThreePointsWithoutColourMake292Bytes)
{
    const double origin[3] = {1000.5, -2000.25, 3.0};
    ASSERT_TRUE(writeFile(path("a.ilas"), kThreePoints, false, 0, origin[0], origin[1], origin[2]).opened);
    const double bounds[6] = {1000.5 + 0.5, -2000.25 + 9, 3.0 + 99, 1000.5 + 3.5, -2000.25 + 31, 3.0 + 301};
    QByteArray expected = expectedHeader(0, 1, 252, 3, origin, bounds);
    // x order 2, 1, 3 (kd order of three points), coordinates only.
    const float coordinates[9] = {2, 20, 200, 1, 10, 100, 3, 30, 300};
    expected.append(reinterpret_cast<const char*>(coordinates), sizeof coordinates);
    QByteArray entry(40, '\0');
    put(entry, 0, std::int32_t{0});
    put(entry, 4, std::int32_t{3});
    put(entry, 8, std::int64_t{216});
    put(entry, 16, kThreePoints[0].box, 24);
    expected.append(entry);
    ASSERT_EQ(expected.size(), 292);
    expectSameExceptCreatedAt(readWholeFile(path("a.ilas")), expected);
}

TEST_F(IlasFileTest, ThreePointsWithColourMake304Bytes)
{
    const double origin[3] = {0, 0, 0};
    ASSERT_TRUE(writeFile(path("c.ilas"), kThreePoints, true).opened);
    const double bounds[6] = {0.5, 9, 99, 3.5, 31, 301};
    QByteArray expected = expectedHeader(1, 1, 264, 3, origin, bounds);
    const float coordinates[9] = {2, 20, 200, 1, 10, 100, 3, 30, 300};
    expected.append(reinterpret_cast<const char*>(coordinates), sizeof coordinates);
    const unsigned char colours[12] = {21, 22, 23, 0, 11, 12, 13, 0, 31, 32, 33, 0};
    expected.append(reinterpret_cast<const char*>(colours), sizeof colours);
    QByteArray entry(40, '\0');
    put(entry, 4, std::int32_t{3});
    put(entry, 8, std::int64_t{216});
    put(entry, 16, kThreePoints[0].box, 24);
    expected.append(entry);
    ASSERT_EQ(expected.size(), 304);
    expectSameExceptCreatedAt(readWholeFile(path("c.ilas")), expected);

    // The same points without colour carry the same coordinate bytes.
    writeFile(path("n.ilas"), kThreePoints, false);
    EXPECT_EQ(readWholeFile(path("n.ilas")).mid(216, 36), readWholeFile(path("c.ilas")).mid(216, 36));
}

TEST_F(IlasFileTest, NoBlocksGiveTheBareHeader)
{
    const double origin[3] = {10, 20, 30};
    const WriteResult result = writeFile(path("e.ilas"), {}, true, 0, 10, 20, 30);
    EXPECT_TRUE(result.opened);
    EXPECT_FALSE(result.failed);
    const double bounds[6] = {10 + 3.4028234663852886e38, 20 + 3.4028234663852886e38,
                              30 + 3.4028234663852886e38, 10 + 1.1754943508222875e-38,
                              20 + 1.1754943508222875e-38, 30 + 1.1754943508222875e-38};
    expectSameExceptCreatedAt(readWholeFile(path("e.ilas")), expectedHeader(1, 0, 216, 0, origin, bounds));
}

TEST_F(IlasFileTest, BlocksFollowEachOtherAndBoundsCoverThemAll)
{
    std::vector<BlockContent> contents = kThreePoints;
    contents.push_back({{{5, 5, 5, 0, 0, 0, 0}, {6, 6, 6, 0, 0, 0, 0}}, {4, -8, 5, 6, 6, 500}});
    contents.push_back({{{7, 7, 7, 0, 0, 0, 0}}, {7, 7, 7, 7, 7, 7}});
    const WriteResult result = writeFile(path("m.ilas"), contents, true, 12);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(result.percents, (std::vector<double>{25, 5.0 / 12.0 * 100.0, 50}));
    const QByteArray file = readWholeFile(path("m.ilas"));
    const std::vector<nimbus::storetest::StoredBlock> blocks = nimbus::storetest::readBlocks(file);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[1].entry.dataOffset, 216 + 16 * 3);
    EXPECT_EQ(blocks[2].entry.dataOffset, 216 + 16 * 5);
    EXPECT_EQ(blocks[1].points[0].x, 6); // upper of the two middle points
    EXPECT_EQ(valueAt<double>(file, 48), 0.5);
    EXPECT_EQ(valueAt<double>(file, 56), -8.0);
    EXPECT_EQ(valueAt<double>(file, 88), 500.0);
    EXPECT_EQ(valueAt<double>(file, 72), 7.0);
}

TEST_F(IlasFileTest, NoPercentWithoutExpectedCount)
{
    EXPECT_TRUE(writeFile(path("p.ilas"), kThreePoints, true, 0).percents.empty());
    const std::vector<double> unknown = writeFile(path("q.ilas"), kThreePoints, true, ~0ull).percents;
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_LT(unknown[0], 1e-10);
}

TEST_F(IlasFileTest, PercentIsEmittedOnTheWriterThread)
{
    // Blocks of the largest size make several ordering passes, and a pass is
    // written while the next one is being ordered on the pool's threads; a
    // receiver connected directly must still run on the writer thread.
    constexpr int kBlocks = 12;
    WriteIlasThread writer;
    std::atomic<int> emitted{0};
    std::atomic<int> elsewhere{0};
    QObject::connect(&writer, &WriteIlasThread::updatePercent, [&](double) {
        ++emitted;
        if (QThread::currentThread() != &writer)
            ++elsewhere;
    });
    // Only the thread matters here, not the bytes.
#ifdef _WIN32
    ASSERT_TRUE(writer.openFile(QStringLiteral("NUL")));
#else
    ASSERT_TRUE(writer.openFile(QStringLiteral("/dev/null")));
#endif
    writer.writeColor = false;
    writer.expectedPoints = std::uint64_t{kBlocks} * kMaxBlockPoints;
    writer.orderingThreads = 4;
    std::vector<BlockRecord*> blocks;
    std::uint32_t state = 1;
    for (int b = 0; b < kBlocks; ++b) {
        auto* block = new BlockRecord;
        block->maxX = block->maxY = block->maxZ = 1;
        block->points = createPointBuffer(kMaxBlockPoints);
        block->pointCount = kMaxBlockPoints;
        for (std::int32_t i = 0; i < kMaxBlockPoints; ++i) {
            state = state * 1664525u + 1013904223u;
            const float v = static_cast<float>(state >> 8) / 16777216.0f;
            block->points->points[i] = PointRecord{v, 1 - v, v * v, 0, 0, 0, 0};
        }
        blocks.push_back(block);
    }
    writer.start();
    while (!writer.offerBlocks(blocks))
        QThread::msleep(1);
    writer.inputFinished = true;
    writer.wait();
    EXPECT_FALSE(writer.failed());
    EXPECT_EQ(emitted.load(), kBlocks);
    EXPECT_EQ(elsewhere.load(), 0);
}

TEST_F(IlasFileTest, BlockClaimingMorePointsThanItsStorageIsRefused)
{
    // The count is checked before the points are ordered in place, so the
    // storage is never read or written beyond its room.
    WriteIlasThread writer;
    ASSERT_TRUE(writer.openFile(path("r.ilas")));
    writer.writeColor = true;
    writer.start();
    BlockRecord* block = makeBlock(kThreePoints[0]);
    block->pointCount = kMaxBlockPoints;
    while (!writer.offerBlocks({block}))
        QThread::msleep(1);
    writer.inputFinished = true;
    writer.wait();
    EXPECT_TRUE(writer.failed());
    EXPECT_TRUE(writer.errorText().contains(QString::number(kMaxBlockPoints))) << writer.errorText().toStdString();
    const QByteArray file = readWholeFile(path("r.ilas"));
    ASSERT_EQ(file.size(), 216);
    EXPECT_EQ(file.mid(96, 9), QByteArray("Quillfen\0", 9));
}

TEST_F(IlasFileTest, MissingFolderIsReportedAndNothingIsCreated)
{
    const QString target = path("no/such/folder/x.ilas");
    const WriteResult result = writeFile(target, kThreePoints, true);
    EXPECT_FALSE(result.opened);
    EXPECT_TRUE(result.failed);
    EXPECT_TRUE(result.errorText.contains(target)) << result.errorText.toStdString();
    EXPECT_FALSE(QFile::exists(target));
}

// A full device and a file size limit exist only on POSIX systems.
#ifndef _WIN32
TEST_F(IlasFileTest, FullDeviceIsReported)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    const WriteResult result = writeFile(QStringLiteral("/dev/full"), kThreePoints, true);
    EXPECT_FALSE(result.opened);
    EXPECT_TRUE(result.failed);
    EXPECT_FALSE(result.errorText.isEmpty());
}

TEST_F(IlasFileTest, FailedWriteKeepsThePlaceholderMagic)
{
    // A file size limit lets the header through and stops the point data.
    std::vector<BlockContent> contents;
    for (int b = 0; b < 4; ++b) {
        BlockContent content{{}, {0, 0, 0, 1, 1, 1}};
        for (int i = 0; i < 1000; ++i)
            content.points.push_back(PointRecord{0.001f * i, 0.5f, 0.5f, 1, 2, 3, 0});
        contents.push_back(content);
    }
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 5000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const WriteResult result = writeFile(path("f.ilas"), contents, true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(result.opened);
    EXPECT_TRUE(result.failed);
    EXPECT_FALSE(result.errorText.isEmpty());
    const QByteArray file = readWholeFile(path("f.ilas"));
    ASSERT_GE(file.size(), 216);
    EXPECT_LE(file.size(), 5000);
    EXPECT_EQ(file.mid(96, 9), QByteArray("Quillfen\0", 9));
    EXPECT_EQ(valueAt<std::int32_t>(file, 4), 0);
}

#endif // _WIN32

TEST_F(IlasFileTest, PercentIsEmittedWhenItsShownValueChanges)
{
    // 3,000 one-point blocks: one signal per block would be 3,000 queued
    // signals; a new value is only worth sending once it has moved by the
    // finest step shown (0.1 %), and the exact last value comes at the end.
    std::vector<BlockContent> contents;
    for (int i = 0; i < 3000; ++i) {
        const auto v = static_cast<float>(i);
        contents.push_back({{{v, v, v, 0, 0, 0, 0}}, {v, v, v, v, v, v}});
    }
    const std::vector<double> percents = writeFile(path("steps.ilas"), contents, false, 3000).percents;
    ASSERT_FALSE(percents.empty());
    EXPECT_LE(percents.size(), 1001u);
    EXPECT_GE(percents.size(), 900u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100.0);
    // Fewer points than expected: the last value written still arrives.
    const std::vector<double> short3 = writeFile(path("short.ilas"), {contents[0], contents[1], contents[2]}, false,
                                                 100000).percents;
    ASSERT_FALSE(short3.empty());
    EXPECT_EQ(short3.back(), 3.0 / 100000.0 * 100.0);
}
