// Damaged inputs: truncated and corrupted copies of the samples, chunk tables
// that are missing or wrong, counts larger than the file. None may crash or
// hang; every early stop carries a reason and keeps the points before it.

#include "bytes.h"
#include "lastestfiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace nimbus::las;
using lastest::decodePoints;
using lastest::sample;

namespace {

class LasFaults : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // Writes `bytes` to a fresh file in the test folder.
    std::string copy(const QByteArray& bytes, const char* name = "copy.laz")
    {
        const std::string path = dir_.filePath(name).toStdString();
        lastest::writeBytes(path, bytes);
        return path;
    }

    QTemporaryDir dir_;
};

bool isPrefix(const std::vector<LasPoint>& part, const std::vector<LasPoint>& whole)
{
    if (part.size() > whole.size())
        return false;
    std::string where;
    return lastest::samePoints(part, std::vector<LasPoint>(whole.begin(), whole.begin() + part.size()), where);
}

void putU32(QByteArray& bytes, int offset, std::uint32_t v)
{
    storeU32(reinterpret_cast<std::uint8_t*>(bytes.data()) + offset, v);
}

void putU64(QByteArray& bytes, int offset, std::uint64_t v)
{
    storeU64(reinterpret_cast<std::uint8_t*>(bytes.data()) + offset, v);
}

// A LAZ file whose records end in `extra` extra bytes (pointwise: POINT10
// and BYTE items; layered: POINT14 and BYTE14), with `points` points of which
// only the raw first one is present. The chunk table
// pointer still holds its own position, as if the writer had been stopped.
QByteArray lazWithExtraBytes(bool layered, std::uint16_t extra, std::uint32_t points)
{
    const std::size_t headerSize = layered ? 375 : 227;
    const std::size_t base = layered ? 30 : 20;
    const std::size_t recordLength = base + extra;
    const std::size_t payload = 34 + 2 * 6;
    const std::size_t pointData = headerSize + 54 + payload;
    const std::size_t layers = layered ? 9 + extra : 0;
    const std::size_t coded = 4;  // the stream's start bytes, nothing more
    std::vector<std::uint8_t> b(pointData + 8 + recordLength + (layered ? 4 + 4 * layers : 0) + coded, 0);
    std::memcpy(b.data(), "LASF", 4);
    b[24] = 1;
    b[25] = layered ? 4 : 2;
    storeU16(&b[94], static_cast<std::uint16_t>(headerSize));
    storeU32(&b[96], static_cast<std::uint32_t>(pointData));
    storeU32(&b[100], 1);
    b[104] = static_cast<std::uint8_t>(0x80 | (layered ? 6 : 0));
    storeU16(&b[105], static_cast<std::uint16_t>(recordLength));
    if (layered)
        storeU64(&b[247], points);
    else
        storeU32(&b[107], points);
    const double scale = 0.01;
    std::uint64_t scaleBits;
    std::memcpy(&scaleBits, &scale, 8);
    for (int a = 0; a < 3; ++a)
        storeU64(&b[131 + 8 * a], scaleBits);
    std::uint8_t* v = &b[headerSize];
    std::memcpy(v + 2, "laszip encoded", 14);
    storeU16(v + 18, 22204);
    storeU16(v + 20, static_cast<std::uint16_t>(payload));
    std::uint8_t* z = v + 54;
    storeU16(z, layered ? 3 : 2);
    storeU32(z + 12, 50000);
    storeU16(z + 32, 2);
    const std::uint16_t items[2][3] = {{static_cast<std::uint16_t>(layered ? 10 : 6), static_cast<std::uint16_t>(base),
                                        static_cast<std::uint16_t>(layered ? 3 : 2)},
                                       {static_cast<std::uint16_t>(layered ? 14 : 0), extra,
                                        static_cast<std::uint16_t>(layered ? 3 : 2)}};
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 3; ++k)
            storeU16(z + 34 + 6 * i + 2 * k, items[i][k]);
    storeU64(&b[pointData], pointData);
    std::uint8_t* after = &b[pointData + 8 + recordLength];
    if (layered) {
        storeU32(after, points);
        storeU32(after + 4, static_cast<std::uint32_t>(coded));  // only the XY layer holds bytes
        after += 4 + 4 * layers;
    }
    for (std::size_t i = 0; i < coded; ++i)
        after[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<int>(b.size()));
}

std::size_t heapInUse()
{
#if defined(__GLIBC__)
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#else
    return 0;
#endif
}

} // namespace

TEST_F(LasFaults, ExtraBytesClaimMemoryOnlyForWhatIsCoded)
{
#if !defined(__GLIBC__)
    GTEST_SKIP() << "needs glibc's heap statistics";
#endif
    // Records of 64 KiB with the largest possible extra-byte item: a model
    // per byte made up front, or a staging buffer of thousands of records,
    // would take hundreds of megabytes for a file of a few hundred kilobytes.
    for (const bool layered : {false, true}) {
        SCOPED_TRACE(layered ? "layered" : "pointwise");
        const std::string path = copy(lazWithExtraBytes(layered, layered ? 65505 : 65515, 3));
        const std::size_t before = heapInUse();
        LasReader reader;
        reader.setDecodeThreads(1);
        ASSERT_TRUE(reader.open(path)) << reader.error();
        std::vector<LasPoint> points(8);
        const std::size_t n = reader.readPoints(points.data(), points.size());
        const std::size_t after = heapInUse();
        const std::size_t used = after > before ? after - before : 0;
        EXPECT_EQ(n, 1u);
        EXPECT_TRUE(reader.failed());
        EXPECT_FALSE(reader.error().empty());
        EXPECT_LT(used, std::size_t(32) << 20) << used << " bytes in use while reading";
    }
}

TEST_F(LasFaults, ClippedAndEmptyUncompressedFiles)
{
    const auto clipped = decodePoints(sample("testdata/las/pdal/1.2-with-color-clipped.las"), 1);
    EXPECT_EQ(clipped.count, 1064u);
    EXPECT_TRUE(clipped.failed);
    EXPECT_NE(clipped.error.find("1064 of 1065"), std::string::npos) << clipped.error;

    const auto headerOnly = decodePoints(sample("testdata/las/pdal/permutations/1.2-no-points.las"), 1);
    EXPECT_TRUE(headerOnly.opened);
    EXPECT_EQ(headerOnly.count, 0u);
    EXPECT_TRUE(headerOnly.failed);
    EXPECT_NE(headerOnly.error.find("0 of 1065"), std::string::npos) << headerOnly.error;

    const auto empty = decodePoints(sample("testdata/las/pdal/no-points.las"), 1);
    EXPECT_TRUE(empty.opened);
    EXPECT_EQ(empty.count, 0u);
    EXPECT_FALSE(empty.failed) << empty.error;
}

TEST_F(LasFaults, Las14FilesCountBy64BitCount)
{
    QByteArray bytes = lastest::readBytes(sample("testdata/las/laspy/simple1_4.las"));
    ASSERT_EQ(loadU32(reinterpret_cast<const std::uint8_t*>(bytes.constData()) + 107), 22600u);
    putU32(bytes, 107, 0);
    const std::string path = copy(bytes, "legacy0.las");
    LasReader reader;
    ASSERT_TRUE(reader.open(path));
    EXPECT_EQ(reader.header().legacyPointCount, 0u);
    EXPECT_EQ(reader.header().pointCount(), 22600u);
    const auto original = decodePoints(sample("testdata/las/laspy/simple1_4.las"), 1);
    const auto zero = decodePoints(path, 1);
    EXPECT_FALSE(zero.failed) << zero.error;
    std::string where;
    EXPECT_TRUE(lastest::samePoints(zero.points, original.points, where)) << where;

    // A legacy count that disagrees with the 64-bit one is a stale copy: the
    // 64-bit count says how many points there are, in either direction.
    putU32(bytes, 107, 100);
    const auto fewer = decodePoints(copy(bytes, "legacy100.las"), 1);
    EXPECT_FALSE(fewer.failed) << fewer.error;
    EXPECT_TRUE(lastest::samePoints(fewer.points, original.points, where)) << where;

    putU32(bytes, 107, 22600);
    putU64(bytes, 247, 5000);
    const auto cut = decodePoints(copy(bytes, "count5000.las"), 1);
    EXPECT_FALSE(cut.failed) << cut.error;
    EXPECT_EQ(cut.count, 5000u);
    EXPECT_TRUE(isPrefix(cut.points, original.points));

    // A 1.4 writer that left the 64-bit field empty: the legacy count holds.
    putU64(bytes, 247, 0);
    LasReader emptyField;
    ASSERT_TRUE(emptyField.open(copy(bytes, "count64zero.las"))) << emptyField.error();
    EXPECT_EQ(emptyField.header().pointCount(), 22600u);

    // Below 1.4 the 64-bit field is not part of the header.
    bytes[25] = 3;
    LasReader las13;
    ASSERT_TRUE(las13.open(copy(bytes, "las13.las"))) << las13.error();
    EXPECT_EQ(las13.header().pointCount(), 22600u);
}

TEST_F(LasFaults, TruncatedCopiesStopWithReasonAndKeepAPrefix)
{
    const std::pair<const char*, const char*> files[] = {
        {"testdata/las/laspy/simple.laz", "testdata/las/laspy/simple.las"},
        {"testdata/las/laz-perf/autzen_trim.laz", "testdata/las/laz-perf/autzen_trim.las"},
        {"testdata/las/laspy/1_4_w_evlr.laz", "testdata/las/laspy/1_4_w_evlr.las"},
        {"testdata/las/laspy/simple.copc.laz", "testdata/las/laspy/simple.copc.laz"},
        {"testdata/las/pdal/simple-laszip-compressor-version-1.2r0.laz", "testdata/las/laspy/simple.las"},
        {"testdata/las/laz-rs/extra-bytes.laz", "testdata/las/laz-rs/extra-bytes.las"},
        {"testdata/las/laspy/simple.las", "testdata/las/laspy/simple.las"},
    };
    for (const auto& f : files) {
        const QByteArray whole = lastest::readBytes(sample(f.first));
        ASSERT_FALSE(whole.isEmpty()) << f.first;
        const auto reference = decodePoints(sample(f.second), 1);
        ASSERT_FALSE(reference.failed) << f.second;
        const std::size_t total = reference.count;
        std::vector<int> cuts = {0, 3, 10, 100, 226, 228, 300, 400};
        for (int k = 1; k < 16; ++k)
            cuts.push_back(whole.size() * k / 16);
        cuts.push_back(whole.size() - 1);
        for (int cut : cuts) {
            if (cut >= whole.size())
                continue;
            SCOPED_TRACE(std::string(f.first) + " cut at " + std::to_string(cut));
            const std::string path = copy(whole.left(cut));
            for (unsigned threads : {1u, 2u}) {
                const auto d = decodePoints(path, threads);
                if (!d.opened) {
                    EXPECT_FALSE(d.error.empty());
                    continue;
                }
                EXPECT_LE(d.count, total);
                if (d.count < total) {
                    EXPECT_TRUE(d.failed);
                    EXPECT_FALSE(d.error.empty());
                }
                EXPECT_TRUE(isPrefix(d.points, reference.points));
            }
        }
    }
}

TEST_F(LasFaults, CorruptedCopiesNeverCrashOrOverrun)
{
    const char* files[] = {
        "testdata/las/laspy/simple.laz",          "testdata/las/laz-rs/extra-bytes.laz",
        "testdata/las/laspy/1_4_w_evlr.laz",      "testdata/las/laspy/simple.copc.laz",
        "testdata/las/laspy/append-bug.laz",      "testdata/las/laspy/fullwave.laz",
        "testdata/las/pdal/simple-laszip-compressor-version-1.2r0.laz",
    };
    for (const char* f : files) {
        const QByteArray whole = lastest::readBytes(sample(f));
        LasReader probe;
        ASSERT_TRUE(probe.open(sample(f)));
        const std::uint64_t total = probe.header().pointCount();
        const int pointData = static_cast<int>(probe.header().pointDataOffset);
        // Overwrite a run of bytes at spread positions, including the chunk
        // table pointer and the chunk table at the end.
        for (int k = 0; k <= 16; ++k) {
            const int at = pointData + static_cast<int>((whole.size() - pointData - 1) * static_cast<qint64>(k) / 16);
            for (const char fill : {'\xff', '\x5a'}) {
                SCOPED_TRACE(std::string(f) + " damaged at " + std::to_string(at));
                QByteArray bytes = whole;
                for (int i = at; i < at + 24 && i < bytes.size(); ++i)
                    bytes[i] = static_cast<char>(fill ^ static_cast<char>(i * 31));
                const std::string path = copy(bytes);
                for (unsigned threads : {1u, 2u}) {
                    const auto d = decodePoints(path, threads);
                    ASSERT_TRUE(d.opened) << d.error;
                    EXPECT_LE(d.count, total);
                    if (d.count < total) {
                        EXPECT_TRUE(d.failed);
                    }
                }
            }
        }
    }
}

TEST_F(LasFaults, DamageInALaterChunkKeepsTheEarlierChunks)
{
    // autzen_trim.laz: chunks of 50,000 points start at 2152, 285651, 548074.
    QByteArray bytes = lastest::readBytes(sample("testdata/las/laz-perf/autzen_trim.laz"));
    for (int i = 548074 + 200; i < 548074 + 2200; ++i)
        bytes[i] = static_cast<char>(0xFF);
    const auto d = decodePoints(copy(bytes), 2);
    const auto reference = decodePoints(sample("testdata/las/laz-perf/autzen_trim.las"), 1);
    ASSERT_GE(d.count, 100000u);
    std::vector<LasPoint> firstTwo(d.points.begin(), d.points.begin() + 100000);
    EXPECT_TRUE(isPrefix(firstTwo, reference.points));
}

TEST_F(LasFaults, FixedChunksDecodeWithoutAChunkTable)
{
    const std::pair<const char*, const char*> files[] = {
        {"testdata/las/laz-perf/autzen_trim.laz", "f4eb6d80bf1fa507"},  // 3 pointwise chunks
        {"testdata/las/pdal/las_with_several_extra_byte_bloc.laz", "c19b99bc99062598"},  // 14 layered
    };
    for (const auto& f : files) {
        const QByteArray whole = lastest::readBytes(sample(f.first));
        LasReader probe;
        ASSERT_TRUE(probe.open(sample(f.first)));
        const int pointData = static_cast<int>(probe.header().pointDataOffset);
        const std::uint64_t tableAt = loadU64(reinterpret_cast<const std::uint8_t*>(whole.constData()) + pointData);

        QByteArray unwritten = whole;  // the writer stopped before storing the table
        putU64(unwritten, pointData, static_cast<std::uint64_t>(pointData));
        QByteArray outside = whole;  // the table offset points past the end
        putU64(outside, pointData, static_cast<std::uint64_t>(whole.size()) + 1000);
        QByteArray badVersion = whole;
        putU32(badVersion, static_cast<int>(tableAt), 7);
        QByteArray appended = whole;  // streamed writer: offset stored at the end
        putU64(appended, pointData, ~std::uint64_t(0));
        appended.append(QByteArray(8, '\0'));
        putU64(appended, appended.size() - 8, tableAt);

        std::vector<const QByteArray*> variants = {&unwritten, &outside, &badVersion, &appended};
        if (whole.size() > 1000000)
            variants.resize(1);  // the large file once is enough
        for (const QByteArray* variant : variants) {
            SCOPED_TRACE(f.first);
            const auto d = lastest::decodeRecords(copy(*variant));
            ASSERT_TRUE(d.opened) << d.error;
            EXPECT_FALSE(d.failed) << d.error;
            EXPECT_EQ(lastest::sha256Hex(d.records.data(), d.records.size()).substr(0, 16), f.second);
        }
    }
}

TEST_F(LasFaults, VariableChunksNeedTheirTable)
{
    QByteArray bytes = lastest::readBytes(sample("testdata/las/laspy/simple.copc.laz"));
    putU64(bytes, 1709, 1709);
    const auto d = decodePoints(copy(bytes), 2);
    ASSERT_TRUE(d.opened);
    EXPECT_EQ(d.count, 0u);
    EXPECT_TRUE(d.failed);
    EXPECT_NE(d.error.find("chunk table"), std::string::npos) << d.error;
}

TEST_F(LasFaults, CountsLargerThanTheFileStopWithAReason)
{
    // Compressed streams carry no end marker: points past the real ones
    // decode as noise until the data runs out, then the read fails.
    const auto autzen = decodePoints(sample("testdata/las/laz-perf/autzen_trim.las"), 1);
    QByteArray laz = lastest::readBytes(sample("testdata/las/laz-perf/autzen_trim.laz"));
    putU32(laz, 107, 200000);
    for (unsigned threads : {1u, 2u}) {
        const auto d = decodePoints(copy(laz), threads);
        EXPECT_GE(d.count, 110000u);
        EXPECT_LT(d.count, 200000u);
        EXPECT_TRUE(d.failed);
        EXPECT_NE(d.error.find("of 200000"), std::string::npos) << d.error;
        ASSERT_GE(d.points.size(), 110000u);
        EXPECT_TRUE(isPrefix(std::vector<LasPoint>(d.points.begin(), d.points.begin() + 110000), autzen.points));
    }

    QByteArray las = lastest::readBytes(sample("testdata/las/laspy/simple.las"));
    putU32(las, 107, 0xFFFFFFFFu);
    const auto d = decodePoints(copy(las, "big.las"), 1);
    EXPECT_EQ(d.count, 1065u);
    EXPECT_TRUE(d.failed);
    EXPECT_NE(d.error.find("1065 of 4294967295"), std::string::npos) << d.error;

    // A LAS 1.4 count far beyond the file and the chunk table.
    const auto evlr = decodePoints(sample("testdata/las/laspy/1_4_w_evlr.las"), 1);
    QByteArray layered = lastest::readBytes(sample("testdata/las/laspy/1_4_w_evlr.laz"));
    putU64(layered, 247, 1ull << 40);
    const auto big = decodePoints(copy(layered), 1);
    EXPECT_GE(big.count, 1000u);
    EXPECT_LT(big.count, 50000u);
    EXPECT_TRUE(big.failed);
    ASSERT_GE(big.points.size(), 1000u);
    EXPECT_TRUE(isPrefix(std::vector<LasPoint>(big.points.begin(), big.points.begin() + 1000), evlr.points));
}
