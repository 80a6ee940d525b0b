#include "splitblockthread.h"
#include "testfiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

using namespace nimbus;
using nimbus::storetest::SplitOptions;
using nimbus::storetest::SplitRun;
using nimbus::storetest::StoredBlock;
using nimbus::storetest::readBlocks;
using nimbus::storetest::readWholeFile;
using nimbus::storetest::runSplitter;
using nimbus::storetest::valueAt;

namespace {

PointRecord point(float x, float y, float z, std::uint8_t tag = 0)
{
    return PointRecord{x, y, z, tag, static_cast<std::uint8_t>(tag + 1), static_cast<std::uint8_t>(tag + 2), 0};
}

bool inside(const PointRecord& p, const IlasBlockEntry& e)
{
    return p.x >= e.minX && p.x <= e.maxX && p.y >= e.minY && p.y <= e.maxY && p.z >= e.minZ
        && p.z <= e.maxZ;
}

auto key(const PointRecord& p)
{
    return std::make_tuple(p.x, p.y, p.z, p.red, p.green, p.blue);
}

std::vector<PointRecord> sortedPoints(std::vector<PointRecord> points)
{
    std::sort(points.begin(), points.end(),
              [](const PointRecord& a, const PointRecord& b) { return key(a) < key(b); });
    return points;
}

void expectSamePoints(const std::vector<PointRecord>& a, const std::vector<PointRecord>& b)
{
    ASSERT_EQ(a.size(), b.size());
    const std::vector<PointRecord> sa = sortedPoints(a);
    const std::vector<PointRecord> sb = sortedPoints(b);
    for (std::size_t i = 0; i < sa.size(); ++i)
        ASSERT_TRUE(key(sa[i]) == key(sb[i])) << "point " << i;
}

std::vector<PointRecord> allStored(const std::vector<StoredBlock>& blocks)
{
    std::vector<PointRecord> points;
    for (const StoredBlock& block : blocks) {
        for (const PointRecord& p : block.points) {
            EXPECT_TRUE(inside(p, block.entry));
            points.push_back(p);
        }
    }
    return points;
}

} // namespace

class PipelineTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(PipelineTest, SameCubeFromTwoBuffersGivesTwoBlocks)
{
    std::vector<PointRecord> first, second;
    for (int i = 0; i < 10; ++i) {
        first.push_back(point(1.0f + i, 2.0f, 3.0f, static_cast<std::uint8_t>(i)));
        second.push_back(point(2.0f, 1.0f + i, 4.0f, static_cast<std::uint8_t>(100 + i)));
    }
    SplitOptions options;
    options.capacity = 16;
    options.expectedPoints = 20;
    options.origin[0] = 500000.0;
    const SplitRun run = runSplitter(path("two.ilas"), {first, second}, options);
    EXPECT_TRUE(run.opened);
    EXPECT_FALSE(run.failed) << run.errorText.toStdString();
    EXPECT_EQ(run.prompts, 2);
    const QByteArray file = readWholeFile(path("two.ilas"));
    const std::vector<StoredBlock> blocks = readBlocks(file);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].entry.minX, 1.0f);
    EXPECT_EQ(blocks[0].entry.maxX, 10.0f);
    EXPECT_EQ(blocks[1].entry.minY, 1.0f);
    EXPECT_EQ(blocks[1].entry.maxY, 10.0f);
    expectSamePoints(blocks[0].points, first);
    expectSamePoints(blocks[1].points, second);
    EXPECT_EQ(file.mid(96, 19), QByteArray("Quillfen-ilas-v2.1", 19));
    EXPECT_EQ(valueAt<double>(file, 48), 500001.0);
    EXPECT_EQ(valueAt<double>(file, 72), 500010.0);
}

TEST_F(PipelineTest, SparseInputGivesAnEmptyFileAndNoPrompt)
{
    std::vector<PointRecord> points;
    for (int i = 0; i < 9; ++i)
        points.push_back(point(30.0f * i, 0, 0));
    SplitOptions options;
    options.expectedPoints = 9;
    const SplitRun run = runSplitter(path("sparse.ilas"), {points}, options);
    EXPECT_FALSE(run.failed);
    EXPECT_EQ(run.prompts, 0);
    const QByteArray file = readWholeFile(path("sparse.ilas"));
    EXPECT_EQ(file.size(), 216);
    EXPECT_EQ(valueAt<std::int32_t>(file, 4), 0);
}

TEST_F(PipelineTest, EveryCountedPointIsStoredOnceIncludingUpperFaces)
{
    // Dense enough that one cell is halved; corners and middles included.
    std::vector<PointRecord> points;
    std::mt19937 random(3);
    std::uniform_int_distribution<int> grid(0, 8);
    for (int i = 0; i < 600000; ++i)
        points.push_back(point(static_cast<float>(grid(random)), static_cast<float>(grid(random)),
                               static_cast<float>(grid(random)), static_cast<std::uint8_t>(i)));
    for (int i = 0; i < 30; ++i)
        points.push_back(point(20.0f + (i % 3) * 19.5f / 2, 0, 19.5f, 7));
    SplitOptions options;
    options.capacity = 700000;
    options.colour = false;
    const SplitRun run = runSplitter(path("faces.ilas"), {points}, options);
    EXPECT_FALSE(run.failed);
    const std::vector<StoredBlock> blocks = readBlocks(readWholeFile(path("faces.ilas")));
    ASSERT_GE(blocks.size(), 9u);
    std::vector<PointRecord> expected = points;
    for (PointRecord& p : expected)
        p.red = p.green = p.blue = 0;
    expectSamePoints(allStored(blocks), expected);
}

TEST_F(PipelineTest, BytesDoNotDependOnTheThreadCount)
{
    std::vector<PointRecord> points;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(0.0f, 100.0f);
    std::uniform_int_distribution<int> coarse(0, 40);
    for (int i = 0; i < 60000; ++i) {
        const bool tie = i % 2 == 0; // many equal coordinates
        points.push_back(point(tie ? static_cast<float>(coarse(random)) : spread(random), spread(random),
                               tie ? 3.0f : spread(random) / 5, static_cast<std::uint8_t>(i)));
    }
    SplitOptions options;
    options.capacity = 40000;
    options.orderingThreads = 1;
    ASSERT_FALSE(runSplitter(path("one.ilas"), {{points.begin(), points.begin() + 40000},
                                                {points.begin() + 40000, points.end()}},
                             options)
                     .failed);
    options.orderingThreads = 2;
    ASSERT_FALSE(runSplitter(path("two.ilas"), {{points.begin(), points.begin() + 40000},
                                                {points.begin() + 40000, points.end()}},
                             options)
                     .failed);
    QByteArray one = readWholeFile(path("one.ilas"));
    QByteArray two = readWholeFile(path("two.ilas"));
    ASSERT_GT(one.size(), 216 + 16 * 50000);
    one.replace(146, 19, QByteArray(19, '\0'));
    two.replace(146, 19, QByteArray(19, '\0'));
    EXPECT_TRUE(one == two);
}

TEST_F(PipelineTest, DroppedPointsAreCounted)
{
    std::vector<PointRecord> points;
    for (int i = 0; i < 12; ++i)
        points.push_back(point(1.0f + i, 1, 1));
    points.push_back(point(std::numeric_limits<float>::quiet_NaN(), 1, 1));
    points.push_back(point(1, 1e12f, 1));
    const SplitRun run = runSplitter(path("d.ilas"), {points, points}, SplitOptions{});
    EXPECT_EQ(run.dropped, 4u);
    EXPECT_EQ(readBlocks(readWholeFile(path("d.ilas"))).size(), 2u);
}

TEST_F(PipelineTest, UnwritableOutputFailsWithoutHanging)
{
    std::vector<PointRecord> points;
    for (int i = 0; i < 50; ++i)
        points.push_back(point(1.0f + i * 0.1f, 1, 1));
    const QString target = path("missing/out.ilas");
    const SplitRun run = runSplitter(target, {points, points, points}, SplitOptions{});
    EXPECT_FALSE(run.opened);
    EXPECT_TRUE(run.failed);
    EXPECT_TRUE(run.errorText.contains(target));
    EXPECT_FALSE(QFile::exists(target));
}

IlasOutputSettings colourOutput()
{
    IlasOutputSettings settings;
    settings.hasColor = true;
    return settings;
}

TEST_F(PipelineTest, OfferBufferSwapsOnlyIntoAFreeSlot)
{
    auto* splitter = new SplitBlockThread(nullptr, 32);
    ASSERT_TRUE(splitter->openIlasFile(path("o.ilas"), colourOutput()));
    PointBuffer* a = createPointBuffer(32);
    PointBuffer* b = createPointBuffer(32);
    PointRecord* storageA = a->points;
    for (int i = 0; i < 10; ++i)
        a->points[i] = point(5, 5, 0.5f * i);
    a->count = 10;
    a->free = false;
    ASSERT_TRUE(splitter->offerBuffer(*a));
    EXPECT_NE(a->points, storageA); // the reader now holds the splitter's storage
    EXPECT_TRUE(a->free);
    b->free = false;
    b->count = 1;
    b->points[0] = point(200, 200, 200);
    EXPECT_FALSE(splitter->offerBuffer(*b)); // slot still holds the first buffer
    splitter->start();
    while (!splitter->offerBuffer(*b))
        QThread::msleep(1);
    EXPECT_TRUE(b->free);
    EXPECT_EQ(b->count, 32);
    // The storage that carried the ten points comes back with its full room.
    a->points[0] = a->points[1] = point(100, 100, 100);
    a->count = 2;
    a->free = false;
    while (!splitter->offerBuffer(*a))
        QThread::msleep(1);
    EXPECT_EQ(a->points, storageA);
    EXPECT_EQ(a->count, 32);
    EXPECT_TRUE(a->free);
    splitter->inputFinished = true;
    splitter->wait();
    EXPECT_FALSE(splitter->failed());
    delete splitter;
    releasePointBuffer(a);
    releasePointBuffer(b);
    const std::vector<StoredBlock> blocks = readBlocks(readWholeFile(path("o.ilas")));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].points.size(), 10u);
}

TEST_F(PipelineTest, SplitterDeletedWithoutStartingEndsItsWriter)
{
    auto* splitter = new SplitBlockThread(nullptr, 8);
    ASSERT_TRUE(splitter->openIlasFile(path("g.ilas")));
    EXPECT_FALSE(splitter->openIlasFile(path("h.ilas")));
    delete splitter;
    const QByteArray file = readWholeFile(path("g.ilas"));
    EXPECT_EQ(file.size(), 216);
}

TEST_F(PipelineTest, ImpossibleCountsAreClampedToTheStorage)
{
    auto* splitter = new SplitBlockThread(nullptr, 16);
    ASSERT_TRUE(splitter->openIlasFile(path("k.ilas"), colourOutput()));
    splitter->start();
    PointBuffer* buffer = createPointBuffer(16);
    for (int i = 0; i < 16; ++i)
        buffer->points[i] = point(1, 1, 0.25f * i);
    for (std::int32_t count : {-5, 1000000}) {
        buffer->count = count;
        buffer->free = false;
        while (!splitter->offerBuffer(*buffer))
            QThread::msleep(1);
        for (int i = 0; i < buffer->capacity; ++i)
            buffer->points[i] = point(1, 1, 0.25f * i);
    }
    splitter->inputFinished = true;
    splitter->wait();
    EXPECT_FALSE(splitter->failed());
    delete splitter;
    releasePointBuffer(buffer);
    // The negative count gives nothing; the oversized one all 16 points.
    const std::vector<StoredBlock> blocks = readBlocks(readWholeFile(path("k.ilas")));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].points.size(), 16u);
}
