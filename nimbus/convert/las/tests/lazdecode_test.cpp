// Decoding real LAZ files made by other software: the decoded records must be
// byte-identical to their uncompressed twins or to the published checksums.

#include "bytes.h"
#include "chunktable.h"
#include "lastestfiles.h"

#include <gtest/gtest.h>

using namespace nimbus::las;
using lastest::decodePoints;
using lastest::decodeRecords;
using lastest::sample;

namespace {

struct Checksum {
    const char* file;
    std::size_t points;
    const char* sha256;
};

// SHA-256 of all decoded records, as published beside the samples.
const Checksum kChecksums[] = {
    {"laz-testdata/laspy-simple.laz", 1065, "0717948a72e6bf719db8d96ded1e76b760d73fb683347ebe3dd603832e3d5015"},
    {"laz-testdata/laspy-1_4_w_evlr.laz", 1000, "923571fd0bdbfdc886522adcb5fccaa6462642142937b1a3c490519155d447ba"},
    {"laz-testdata/laspy-simple.copc.laz", 1065, "361eda6829430490b1bba3a2665408642d16211f6c349b2f11edf451c8164422"},
    {"laz-testdata/laspy-append-bug.laz", 37805, "da661009d733479c3c414a9f9584df5f4066260ae9b091e9e16b542ba7fab34c"},
    {"laz-testdata/laspy-autzen_trim.laz", 110000, "f4eb6d80bf1fa507ffdcdaa73606d09041982659a50ee3895957e0b2b347f54b"},
    {"laz-testdata/laspy-plane.laz", 28185, "933d0f7f9519699d14522520a7bb36e798bb07b9a7d60aab2a8b7e98a4d94e6b"},
    {"laz-testdata/lazrs-point10.laz", 1065, "d2033d0504e6b849a1301368703f90c77eda09c93e5d623e89cab06cb98ad63f"},
    {"laz-testdata/lazrs-point-time.laz", 1065, "0e80c2de788f2a50a3a2797cd807af2434ecd3fd3b8330a2087f699725c94874"},
    {"laz-testdata/lazrs-point-color.laz", 1065, "b31e5bc003bae4f6dab5ab7f81488bfc6854a758dd71f1b38a6753425af7c76d"},
    {"laz-testdata/lazrs-point-time-color.laz", 1065, "df9ea7bd185ff9d99700cbfced75989bb91415a12c893381273cca1dbd7182c1"},
    {"laz-testdata/lazrs-extra-bytes.laz", 1065, "c98294910637458e4b55447460f2dece893aca5990f4fd5624fec7d570783c31"},
    {"laz-testdata/lazperf-1815.laz", 1247, "de5118b24b130f38fd98905d66be2e26798c2eb40b749471af636e14f23b0204"},
};

// Pairs of a compressed file and the uncompressed file holding the same records.
const char* const kTwins[][2] = {
    {"testdata/las/laz-rs/point10.laz", "testdata/las/laz-rs/point10.las"},
    {"testdata/las/laz-rs/point-time.laz", "testdata/las/laz-rs/point-time.las"},
    {"testdata/las/laz-rs/point-color.laz", "testdata/las/laz-rs/point-color.las"},
    {"testdata/las/laz-rs/point-time-color.laz", "testdata/las/laz-rs/point-time-color.las"},
    {"testdata/las/laz-rs/extra-bytes.laz", "testdata/las/laz-rs/extra-bytes.las"},
    {"testdata/las/laspy/simple.laz", "testdata/las/laspy/simple.las"},
    {"testdata/las/laspy/1_4_w_evlr.laz", "testdata/las/laspy/1_4_w_evlr.las"},
    {"testdata/las/laz-perf/1815.laz", "testdata/las/laz-perf/1815.las"},
    {"testdata/las/laz-perf/autzen_trim.laz", "testdata/las/laz-perf/autzen_trim.las"},
    // Written by LASzip 1.2: one stream without chunks, version-1 items.
    {"testdata/las/pdal/simple-laszip-compressor-version-1.2r0.laz", "testdata/las/laspy/simple.las"},
};

} // namespace

TEST(LazDecode, RecordsMatchPublishedChecksums)
{
    for (const Checksum& c : kChecksums) {
        SCOPED_TRACE(c.file);
        const auto d = decodeRecords(sample(c.file));
        ASSERT_TRUE(d.opened) << d.error;
        EXPECT_FALSE(d.failed) << d.error;
        EXPECT_EQ(d.count, c.points);
        EXPECT_EQ(lastest::sha256Hex(d.records.data(), d.records.size()), c.sha256);
    }
}

TEST(LazDecode, RecordsAndPointsEqualUncompressedTwin)
{
    for (const auto& twin : kTwins) {
        SCOPED_TRACE(twin[0]);
        const auto laz = decodeRecords(sample(twin[0]));
        const auto las = decodeRecords(sample(twin[1]));
        ASSERT_TRUE(laz.opened) << laz.error;
        ASSERT_TRUE(las.opened) << las.error;
        EXPECT_FALSE(laz.failed) << laz.error;
        EXPECT_EQ(laz.count, las.count);
        EXPECT_TRUE(laz.records == las.records);

        for (unsigned threads : {1u, 2u}) {
            const auto lazPoints = decodePoints(sample(twin[0]), threads);
            const auto lasPoints = decodePoints(sample(twin[1]), threads);
            EXPECT_FALSE(lazPoints.failed) << lazPoints.error;
            std::string where;
            EXPECT_TRUE(lastest::samePoints(lazPoints.points, lasPoints.points, where)) << where;
        }
    }
}

TEST(LazDecode, LargerSamplesDecodeToTheirChecksums)
{
    // No uncompressed twins exist for these; checksums of the decoded records
    // were published with the samples (first 16 hex digits).
    const std::pair<const char*, const char*> files[] = {
        {"testdata/las/pdal/las_with_several_extra_byte_bloc.laz", "c19b99bc99062598"},
        {"testdata/las/pdal/lone-star.laz", "29178e5d5621e60a"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.first);
        const auto d = decodeRecords(sample(f.first));
        ASSERT_TRUE(d.opened) << d.error;
        EXPECT_FALSE(d.failed) << d.error;
        EXPECT_EQ(lastest::sha256Hex(d.records.data(), d.records.size()).substr(0, 16), f.second);
    }
}

TEST(LazDecode, ParallelChunksGiveTheSequentialPoints)
{
    // Many chunks: 14 layered ones, 11 pointwise ones.
    for (const char* f : {"testdata/las/pdal/las_with_several_extra_byte_bloc.laz", "testdata/las/pdal/lone-star.laz",
                          "testdata/las/laspy/simple.copc.laz"}) {
        SCOPED_TRACE(f);
        const auto one = decodePoints(sample(f), 1);
        const auto three = decodePoints(sample(f), 3);
        ASSERT_FALSE(one.failed) << one.error;
        ASSERT_FALSE(three.failed) << three.error;
        std::string where;
        EXPECT_TRUE(lastest::samePoints(one.points, three.points, where)) << where;
        // Points carry the coordinates and colour of the full records.
        const auto full = decodeRecords(sample(f));
        ASSERT_EQ(full.count, one.count);
        LasReader reader;
        ASSERT_TRUE(reader.open(sample(f)));
        std::vector<LasPoint> fromRecords(full.count);
        extractPoints(full.records.data(), full.count, reader.header().recordLength, reader.header(),
                      fromRecords.data());
        EXPECT_TRUE(lastest::samePoints(one.points, fromRecords, where)) << where;
    }
}

TEST(LazDecode, KnownPointsOfSimpleLaz)
{
    const auto d = decodePoints(sample("laz-testdata/laspy-simple.laz"), 1);
    ASSERT_EQ(d.count, 1065u);
    const LasPoint& p0 = d.points[0];
    EXPECT_EQ(p0.x, 63701224);
    EXPECT_EQ(p0.y, 84902831);
    EXPECT_EQ(p0.z, 43166);
    EXPECT_EQ(p0.red, 68);
    EXPECT_EQ(p0.green, 77);
    EXPECT_EQ(p0.blue, 88);
    const LasPoint& p1 = d.points[1];
    EXPECT_EQ(p1.x, 63689633);
    EXPECT_EQ(p1.y, 84908770);
    EXPECT_EQ(p1.z, 44639);
    EXPECT_EQ(p1.red, 54);
    EXPECT_EQ(p1.green, 66);
    EXPECT_EQ(p1.blue, 68);
    const LasPoint& last = d.points[1064];
    EXPECT_EQ(last.x, 63734285);
    EXPECT_EQ(last.y, 85324032);
    EXPECT_EQ(last.z, 42392);
    EXPECT_EQ(last.red, 138);
    EXPECT_EQ(last.green, 107);
    EXPECT_EQ(last.blue, 136);

    // GPS time of point 1 lies in bytes 20..27 of its record.
    const auto r = decodeRecords(sample("laz-testdata/laspy-simple.laz"));
    EXPECT_EQ(loadU64(r.records.data() + 34 + 20), 0x410DF42B9F5534C2ull);
}

TEST(LazDecode, KnownPointsOfCopcFile)
{
    const auto d = decodePoints(sample("laz-testdata/laspy-simple.copc.laz"), 1);
    ASSERT_EQ(d.count, 1065u);
    EXPECT_EQ(d.points[0].x, -115560);
    EXPECT_EQ(d.points[0].y, -204709);
    EXPECT_EQ(d.points[0].z, -6833);
    EXPECT_EQ(d.points[2].x, -141777);
    EXPECT_EQ(d.points[2].red, 71);
    EXPECT_EQ(d.points[2].green, 73);
    EXPECT_EQ(d.points[2].blue, 93);
}

TEST(LazDecode, ChunkTableOfSimpleLaz)
{
    // One chunk of 17,862 bytes, coded as these six bytes.
    const std::uint8_t coded[] = {0x78, 0x96, 0x05, 0x00, 0x00, 0x00};
    std::vector<std::uint32_t> points, bytes;
    ASSERT_TRUE(decodeChunkTable(coded, sizeof coded, 1, false, points, bytes));
    EXPECT_EQ(bytes[0], 17862u);

    // And through the file: COPC chunks carry their own point counts.
    InputFile file;
    nimbus::Reason error;
    ASSERT_TRUE(file.open(sample("laz-testdata/laspy-simple.copc.laz"), error));
    LasReader reader;
    ASSERT_TRUE(reader.open(sample("laz-testdata/laspy-simple.copc.laz")));
    std::vector<ChunkEntry> chunks;
    ASSERT_EQ(readChunkTable(file, reader.header(), chunks, error), ChunkTableState::Valid) << error.text();
    ASSERT_EQ(chunks.size(), 65u);
    EXPECT_EQ(chunks[0].points, 17u);
    EXPECT_EQ(chunks[0].bytes, 458u);
    EXPECT_EQ(chunks[0].offset, 1717u);
    EXPECT_EQ(chunks[5].points, 18u);
    EXPECT_EQ(chunks[5].bytes, 500u);
    std::uint64_t total = 0;
    for (const auto& c : chunks)
        total += c.points;
    EXPECT_EQ(total, 1065u);
}

TEST(LazDecode, WavePacketsOfFullWaveFileChainUp)
{
    // Format 10 with waveforms: each packet starts where the previous one
    // started or right after it, the signature of correctly decoded offsets.
    const auto d = decodeRecords(sample("testdata/las/laspy/fullwave.laz"));
    ASSERT_TRUE(d.opened) << d.error;
    EXPECT_FALSE(d.failed) << d.error;
    ASSERT_EQ(d.count, 10750u);
    const std::size_t rl = 67, wave = 38;
    std::size_t next = 0;
    for (std::size_t i = 1; i < d.count; ++i) {
        const std::uint8_t* prev = d.records.data() + (i - 1) * rl + wave;
        const std::uint8_t* cur = d.records.data() + i * rl + wave;
        const std::uint64_t prevOffset = loadU64(prev + 1);
        const std::uint64_t offset = loadU64(cur + 1);
        ASSERT_TRUE(offset == prevOffset || offset == prevOffset + loadU32(prev + 9)) << "record " << i;
        if (offset != prevOffset)
            ++next;
    }
    EXPECT_GT(next, 1000u);
    EXPECT_EQ(d.records[wave], 1);                       // descriptor index of the first packet
    EXPECT_EQ(loadU64(d.records.data() + wave + 1), 60u);  // its offset
}
