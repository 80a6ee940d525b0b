// Header, VLR and compression-record parsing, on real files and on files
// that are not LAS or are broken in the header.

#include "bytes.h"
#include "lasheader.h"
#include "lastestfiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace nimbus::las;
using lastest::sample;

namespace {

LasHeader openHeader(const std::string& path)
{
    LasReader reader;
    EXPECT_TRUE(reader.open(path)) << path << ": " << reader.error();
    return reader.header();
}

std::string openError(const std::string& path)
{
    LasReader reader;
    EXPECT_FALSE(reader.open(path)) << path;
    return reader.error();
}

} // namespace

TEST(LasHeader, PointwiseLazHeaderAndCompressionRecord)
{
    const LasHeader h = openHeader(sample("laz-testdata/laspy-simple.laz"));
    EXPECT_EQ(h.versionMajor, 1);
    EXPECT_EQ(h.versionMinor, 2);
    EXPECT_EQ(h.headerSize, 227);
    EXPECT_EQ(h.pointDataOffset, 333u);
    EXPECT_EQ(h.formatByte, 131);
    EXPECT_EQ(h.pointFormat, 3);
    EXPECT_EQ(h.recordLength, 34);
    EXPECT_EQ(h.pointCount(), 1065u);
    EXPECT_TRUE(h.hasRgb());
    EXPECT_EQ(h.rgbOffset(), 28u);
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(h.scale[a], 0.01);
        EXPECT_EQ(h.offset[a], 0.0);
        EXPECT_TRUE(std::signbit(h.offset[a]));  // stored as -0.0
    }
    // Maximum comes before minimum in the file.
    EXPECT_DOUBLE_EQ(h.minimum[0], 635619.85);
    EXPECT_DOUBLE_EQ(h.maximum[0], 638982.55);
    EXPECT_DOUBLE_EQ(h.minimum[2], 406.59);
    EXPECT_DOUBLE_EQ(h.maximum[2], 586.38);

    EXPECT_TRUE(h.compressed);
    EXPECT_EQ(h.laszip.compressor, Compressor::PointwiseChunked);
    EXPECT_EQ(h.laszip.chunkSize, 50000u);
    EXPECT_FALSE(h.laszip.variableChunks());
    ASSERT_EQ(h.laszip.items.size(), 3u);
    EXPECT_EQ(h.laszip.items[0].type, 6);
    EXPECT_EQ(h.laszip.items[0].size, 20);
    EXPECT_EQ(h.laszip.items[0].version, 2);
    EXPECT_EQ(h.laszip.items[1].type, 7);
    EXPECT_EQ(h.laszip.items[2].type, 8);
    EXPECT_EQ(h.laszip.items[2].size, 6);
}

TEST(LasHeader, Las14CountsAndLayeredCompression)
{
    const LasHeader h = openHeader(sample("laz-testdata/laspy-1_4_w_evlr.laz"));
    EXPECT_EQ(h.versionMinor, 4);
    EXPECT_EQ(h.headerSize, 375);
    EXPECT_EQ(h.pointDataOffset, 2399u);
    EXPECT_EQ(h.legacyPointCount, 0u);
    EXPECT_EQ(h.pointCount64, 1000u);
    EXPECT_EQ(h.pointCount(), 1000u);
    EXPECT_EQ(h.pointFormat, 6);
    EXPECT_FALSE(h.hasRgb());
    EXPECT_EQ(h.laszip.compressor, Compressor::LayeredChunked);
    EXPECT_EQ(h.vlrsRead, 3u);

    const LasHeader copc = openHeader(sample("laz-testdata/laspy-simple.copc.laz"));
    EXPECT_TRUE(copc.laszip.variableChunks());
    EXPECT_EQ(copc.pointFormat, 7);
    EXPECT_TRUE(copc.hasRgb());
    EXPECT_EQ(copc.rgbOffset(), 30u);

    const LasHeader las10 = openHeader(sample("testdata/las/pdal/permutations/1.0_0.las"));
    EXPECT_EQ(las10.versionMinor, 0);
    EXPECT_FALSE(las10.compressed);
    EXPECT_EQ(las10.pointCount(), 1u);
}

TEST(LasHeader, BrokenCompressionRecordsAreRefusedWithTheirReason)
{
    EXPECT_NE(openError(sample("testdata/las/laszip/broken_coder.laz")).find("coder 15"), std::string::npos);
    EXPECT_NE(openError(sample("testdata/las/laszip/broken_compressor.laz")).find("compressor 16"),
              std::string::npos);
    EXPECT_NE(openError(sample("testdata/las/laszip/broken_type.laz")).find("unknown item type"),
              std::string::npos);
}

TEST(LasHeader, FilesThatAreNotLasFailAtOpen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string text = dir.filePath("x.las").toStdString();
    lastest::writeBytes(text, "100.5,200.5,50.0\n1,2,3\n");
    EXPECT_NE(openError(text).find("not a LAS file"), std::string::npos);

    const std::string empty = dir.filePath("empty.las").toStdString();
    lastest::writeBytes(empty, QByteArray());
    EXPECT_NE(openError(empty).find("not a LAS file"), std::string::npos);

    EXPECT_NE(openError(dir.filePath("missing.las").toStdString()).find("cannot open"), std::string::npos);

    const std::string stub = dir.filePath("stub.las").toStdString();
    lastest::writeBytes(stub, QByteArray("LASF") + QByteArray(100, '\0'));
    EXPECT_NE(openError(stub).find("truncated"), std::string::npos);
}

TEST(LasHeader, ImpossibleHeaderFieldsAreRefused)
{
    const QByteArray original = lastest::readBytes(sample("testdata/las/laspy/simple.las"));
    ASSERT_FALSE(original.isEmpty());
    QTemporaryDir dir;
    const std::string path = dir.filePath("bad.las").toStdString();
    struct Case {
        int offset;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {94, {200, 0}, "header size"},             // header size below 227
        {96, {100, 0, 0, 0}, "inside the header"},  // points inside the header
        {104, {11}, "point format 11"},
        {105, {20, 0}, "too small for point format 3"},
        {105, {4, 0}, "too small"},
        {104, {3 | 0x80}, "without a LAZ compression record"},
        {104, {99}, "unknown point format 99"},  // reported as stored, flag bits included
        {25, {9}, "unsupported LAS version 1.9"},
        {24, {2}, "unsupported LAS version 2.2"},
        // Scale factors and offsets that leave no usable coordinate.
        {131, {0, 0, 0, 0, 0, 0, 0xF8, 0x7F}, "X scale factor is not a number"},
        {139, {0, 0, 0, 0, 0, 0, 0, 0}, "Y scale factor is 0"},
        {147, {0, 0, 0, 0, 0, 0, 0, 0x80}, "Z scale factor is 0"},  // -0.0
        {147, {0, 0, 0, 0, 0, 0, 0xF0, 0xFF}, "Z scale factor is infinite"},
        {163, {0, 0, 0, 0, 0, 0, 0xF8, 0xFF}, "Y offset is not a number"},
        {171, {0, 0, 0, 0, 0, 0, 0xF0, 0x7F}, "Z offset is infinite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        QByteArray bytes = original;
        for (std::size_t i = 0; i < c.bytes.size(); ++i)
            bytes[c.offset + static_cast<int>(i)] = static_cast<char>(c.bytes[i]);
        lastest::writeBytes(path, bytes);
        EXPECT_NE(openError(path).find(c.reason), std::string::npos);
    }
}

TEST(LasHeader, CompressionRecordChecks)
{
    // compressor 2, coder 0, chunk 50000, one POINT10 v2 item of 20 bytes.
    std::uint8_t rec[40] = {};
    storeU16(rec, 2);
    storeU32(rec + 12, 50000);
    storeU16(rec + 32, 1);
    storeU16(rec + 34, 6);
    storeU16(rec + 36, 20);
    storeU16(rec + 38, 2);
    LaszipInfo info;
    nimbus::Reason error;
    EXPECT_TRUE(parseLaszipRecord(rec, sizeof rec, 20, info, error)) << error.text();

    EXPECT_FALSE(parseLaszipRecord(rec, sizeof rec, 26, info, error));
    EXPECT_NE(error.text().find("cover 20 bytes"), std::string::npos);
    EXPECT_FALSE(parseLaszipRecord(rec, 38, 20, info, error));  // item list cut
    EXPECT_NE(error.text().find("item list"), std::string::npos);

    storeU16(rec + 38, 3);  // POINT10 has no version 3
    EXPECT_FALSE(parseLaszipRecord(rec, sizeof rec, 20, info, error));
    EXPECT_NE(error.text().find("unsupported version"), std::string::npos);

    storeU16(rec + 38, 2);
    storeU16(rec, 3);  // layered compressor with a pointwise item
    EXPECT_FALSE(parseLaszipRecord(rec, sizeof rec, 20, info, error));
    EXPECT_NE(error.text().find("layered"), std::string::npos);
}

TEST(LasHeader, TooManyVlrsAreCutAtThePointData)
{
    // The header claims three VLRs; only two stand before the point data.
    LasReader reader;
    ASSERT_TRUE(reader.open(sample("testdata/las/pdal/bad_vlr_count.las"))) << reader.error();
    EXPECT_EQ(reader.header().vlrCount, 3u);
    EXPECT_EQ(reader.header().vlrsRead, 2u);
    const auto d = lastest::decodeRecords(sample("testdata/las/pdal/bad_vlr_count.las"));
    EXPECT_FALSE(d.failed) << d.error;
    EXPECT_EQ(d.count, 10u);
    EXPECT_EQ(lastest::sha256Hex(d.records.data(), d.records.size()).substr(0, 16), "7337238a9fc8e67f");
}

TEST(LasHeader, UncompressedFilesOfEveryVersionReadCompletely)
{
    const std::pair<const char*, const char*> files[] = {
        {"testdata/las/pdal/permutations/1.0_0.las", "ca2a1aef6de164c7"},
        {"testdata/las/pdal/permutations/1.0_1.las", "7b7073e0a3d36b87"},
        {"testdata/las/laspy/simple1_1.las", "040dacc9a6ca41b6"},
        {"testdata/las/laspy/simple1_3.las", "a999293b6ddf1411"},
        {"testdata/las/laspy/simple1_4.las", "2854467625435251"},
        {"testdata/las/laszip/5points_14.las", "9f34d345e9ded125"},
        {"testdata/las/laspy/unregistered_extra_bytes.las", "5c7065fca1170eec"},
        {"testdata/las/pdal/gps-time-nan.las", "26565d5251821128"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.first);
        const auto d = lastest::decodeRecords(sample(f.first));
        ASSERT_TRUE(d.opened) << d.error;
        EXPECT_FALSE(d.failed) << d.error;
        EXPECT_EQ(lastest::sha256Hex(d.records.data(), d.records.size()).substr(0, 16), f.second);
    }
}
