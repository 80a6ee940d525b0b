// The E57 library on its own: checksums, header and offset arithmetic, the
// XML of real files, and records decoded from files written here with
// values that straddle packets.

#include "crc32c.h"
#include "e57file.h"
#include "e57testwriter.h"
#include "scanrecords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

using namespace nimbus::e57;

namespace {

std::string sample(const std::string& relative)
{
    return QUILLFEN_SOURCE_DIR "/../shared/testdata/e57/" + relative;
}

// All records of one scan of an opened file.
struct Decoded {
    RecordBatch all;
    std::string error;
};

Decoded decodeScan(E57File& file, std::size_t scan, std::size_t batchSize = 1000)
{
    Decoded d;
    ScanRecordReader reader(file.pages(), file.scans().at(scan), static_cast<int>(scan + 1));
    if (!reader.open()) {
        d.error = reader.error();
        return d;
    }
    RecordBatch b;
    while (const std::size_t n = reader.read(b, batchSize)) {
        d.all.x.insert(d.all.x.end(), b.x.begin(), b.x.begin() + static_cast<long>(n));
        d.all.y.insert(d.all.y.end(), b.y.begin(), b.y.begin() + static_cast<long>(n));
        d.all.z.insert(d.all.z.end(), b.z.begin(), b.z.begin() + static_cast<long>(n));
        d.all.invalid.insert(d.all.invalid.end(), b.invalid.begin(), b.invalid.begin() + static_cast<long>(n));
        if (reader.layout().hasColour()) {
            d.all.red.insert(d.all.red.end(), b.red.begin(), b.red.begin() + static_cast<long>(n));
            d.all.green.insert(d.all.green.end(), b.green.begin(), b.green.begin() + static_cast<long>(n));
            d.all.blue.insert(d.all.blue.end(), b.blue.begin(), b.blue.begin() + static_cast<long>(n));
        }
        d.all.count += n;
    }
    d.error = reader.error();
    return d;
}

e57test::FieldDef integer(const std::string& name, std::int64_t lo, std::int64_t hi)
{
    e57test::FieldDef f;
    f.name = name;
    f.type = "Integer";
    f.minimum = lo;
    f.maximum = hi;
    return f;
}

e57test::FieldDef floating(const std::string& name, bool single)
{
    e57test::FieldDef f;
    f.name = name;
    f.type = "Float";
    f.single = single;
    return f;
}

} // namespace

TEST(E57Checksum, KnownValuesAndBothImplementationsAgree)
{
    EXPECT_EQ(crc32c("123456789", 9), 0xE3069283u);
    EXPECT_EQ(crc32cPortable("123456789", 9), 0xE3069283u);
    EXPECT_EQ(crc32c("", 0), 0u);
    const std::vector<std::uint8_t> zeros(32, 0);
    EXPECT_EQ(crc32cPortable(zeros.data(), zeros.size()), 0x8A9136AAu);
    std::mt19937 random(7);
    std::vector<std::uint8_t> bytes(1500);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    for (std::size_t n : {1u, 7u, 8u, 9u, 1020u, 1499u})
        for (std::size_t start : {0u, 1u, 3u})
            EXPECT_EQ(crc32c(bytes.data() + start, n), crc32cPortable(bytes.data() + start, n)) << n << " " << start;
}

TEST(E57Header, FieldsAndOffsetsAgainstHandMadeBytes)
{
    std::uint8_t h[48] = {};
    std::memcpy(h, "ASTM-E57", 8);
    h[8] = 1;          // major 1
    h[17] = 0x10;      // file length 0x1000 = 4096
    h[24] = 0x34;      // XML at physical 0x0C34 = 3124: page 3, byte 52
    h[25] = 0x0C;
    h[32] = 100;       // 100 bytes of XML
    h[41] = 0x04;      // page size 1024
    FileHeader header;
    nimbus::Reason error;
    ASSERT_TRUE(parseFileHeader(h, 4096, header, error)) << error.text();
    EXPECT_EQ(header.major, 1u);
    EXPECT_EQ(header.fileLength, 4096u);
    EXPECT_EQ(header.xmlOffset, 3124u);
    EXPECT_EQ(header.xmlLength, 100u);

    std::uint64_t logical = 0;
    ASSERT_TRUE(physicalToLogical(3124, logical));
    EXPECT_EQ(logical, 3u * 1020 + 52);
    EXPECT_EQ(logicalToPhysical(1019), 1019u);
    EXPECT_EQ(logicalToPhysical(1020), 1024u);
    EXPECT_EQ(logicalToPhysical(2045), 2053u);
    EXPECT_FALSE(physicalToLogical(1020, logical)); // a checksum byte
    EXPECT_FALSE(physicalToLogical(2047, logical));

    struct Case {
        int at;
        std::uint8_t value;
        std::uint64_t size;
        const char* words;
    } cases[] = {
        {0, 'X', 4096, "not an E57 file"},
        {8, 2, 4096, "version 2.0"},
        {41, 0x08, 4096, "page size of 2048"},
        {16, 0x01, 4096, "not a whole number of pages"},
        {-1, 0, 3072, "truncated"},
        {33, 0xFF, 4096, "lies outside the file"},
        {26, 0x01, 4096, "lies outside the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        std::uint8_t bad[48];
        std::memcpy(bad, h, 48);
        if (c.at >= 0)
            bad[c.at] = c.value;
        FileHeader ignored;
        error = nimbus::Reason();
        EXPECT_FALSE(parseFileHeader(bad, c.size, ignored, error));
        EXPECT_NE(error.text().find(c.words), std::string::npos) << error.text();
    }
}

TEST(E57Xml, RealFilesDescribeTheirScans)
{
    E57File colour;
    ASSERT_TRUE(colour.open(sample("libe57-test-data/ColourRepresentation.e57"))) << colour.error();
    // The grouping scheme's CompressedVector is no scan.
    ASSERT_EQ(colour.scans().size(), 1u);
    const ScanInfo& c = colour.scans()[0];
    EXPECT_EQ(c.recordCount, 153u);
    ASSERT_EQ(c.fields.size(), 9u);
    EXPECT_EQ(c.fields[5].name, "las:pointSourceId"); // an extension field keeps its stream
    EXPECT_EQ(c.fields[0].kind, FieldKind::ScaledInteger);
    EXPECT_EQ(c.fields[6].name, "colorRed");
    EXPECT_EQ(c.fields[6].bits, 16u);
    EXPECT_FALSE(c.hasColourLimits);

    E57File bunny;
    ASSERT_TRUE(bunny.open(sample("libe57-test-data/bunnyInt32.e57"))) << bunny.error();
    ASSERT_EQ(bunny.scans().size(), 1u);
    const Field& x = bunny.scans()[0].fields[0];
    EXPECT_EQ(x.name, "cartesianX");
    EXPECT_EQ(x.bits, 32u);
    EXPECT_DOUBLE_EQ(x.scale, 1e-6);

    E57File cube;
    ASSERT_TRUE(cube.open(sample("libe57-test-data/ColouredCubeFloat.e57"))) << cube.error();
    const ScanInfo& q = cube.scans().at(0);
    EXPECT_EQ(q.fields[0].kind, FieldKind::Float32);
    ASSERT_TRUE(q.hasColourLimits);
    // An element without text holds 0.
    EXPECT_TRUE(q.colourLimits.hasMinimum[0]);
    EXPECT_EQ(q.colourLimits.minimum[0], 0.0);
    EXPECT_EQ(q.colourLimits.maximum[2], 255.0);

    E57File made;
    ASSERT_TRUE(made.open(sample("made/made-two-scans-pose-spherical.e57"))) << made.error();
    ASSERT_EQ(made.scans().size(), 2u);
    const Pose& a = made.scans()[0].pose;
    EXPECT_TRUE(made.scans()[0].hasPose);
    EXPECT_NEAR(a.w, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(a.z, std::sqrt(0.5), 1e-12);
    EXPECT_EQ(a.tx, 4500000.25);
    EXPECT_EQ(made.scans()[0].colourLimits.maximum[1], 65535.0);

    E57File empty;
    ASSERT_TRUE(empty.open(sample("libe57-test-data/empty.e57"))) << empty.error();
    EXPECT_TRUE(empty.scans().empty());

    E57File bad;
    EXPECT_FALSE(bad.open(sample("libe57-test-data/bad-crc.e57")));
    EXPECT_NE(bad.error().find("checksum mismatch on page 0"), std::string::npos) << bad.error();
}

TEST(E57Records, RealFilesDecodeToTheirCountsAndFirstPoints)
{
    struct Case {
        const char* file;
        std::size_t scan;
        std::size_t records, valid;
        double first[3];
    } cases[] = {
        {"libe57-test-data/ColourRepresentation.e57", 0, 153, 153, {-0.5, -0.015, -0.432}},
        {"libe57-test-data/ColouredCubeDouble.e57", 0, 7680, 7680, {-0.5, -0.499056, 0.071363}},
        {"libe57-test-data/ColouredCubeFloat.e57", 0, 7680, 7680, {-0.5, -0.499056, 0.071363}},
        {"libe57-test-data/bunnyDouble.e57", 0, 30571, 30571, {-0.07063, 0.04015, 0.001226}},
        {"pdal/A_B.e57", 1, 4, 4, {-44.300098, -1.1321, 0.3358}},
        {"made/made-scaled-no-colour.e57", 0, 70000, 70000, {87.263, -34.3315, -0.7534}},
        {"made/made-two-scans-pose-spherical.e57", 0, 12000, 11658, {0, 0, 0}},
        {"made/made-two-scans-pose-spherical.e57", 1, 3000, 3000, {0.658, -0.239761, 1.033833}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " scan " + std::to_string(c.scan));
        E57File file;
        ASSERT_TRUE(file.open(sample(c.file))) << file.error();
        const Decoded d = decodeScan(file, c.scan, 777);
        EXPECT_EQ(d.error, "");
        ASSERT_EQ(d.all.count, c.records);
        std::size_t valid = 0;
        for (std::uint8_t v : d.all.invalid)
            valid += v == 0;
        EXPECT_EQ(valid, c.valid);
        if (c.first[0] != 0 || c.first[1] != 0) {
            // Scan B stores spherical coordinates; its first point is given
            // as range, azimuth, elevation.
            if (c.scan == 1 && std::string(c.file).find("spherical") != std::string::npos) {
                const double r = c.first[0], az = c.first[1], el = c.first[2];
                EXPECT_NEAR(d.all.x[0], r * std::cos(el) * std::cos(az), 1e-6);
                EXPECT_NEAR(d.all.z[0], r * std::sin(el), 1e-6);
            } else {
                EXPECT_NEAR(d.all.x[0], c.first[0], 1e-6);
                EXPECT_NEAR(d.all.y[0], c.first[1], 1e-6);
                EXPECT_NEAR(d.all.z[0], c.first[2], 1e-6);
            }
        }
    }

    // Doubles and scaled integers of the same points decode identically.
    E57File a, b;
    ASSERT_TRUE(a.open(sample("libe57-test-data/bunnyDouble.e57")));
    ASSERT_TRUE(b.open(sample("libe57-test-data/bunnyInt32.e57")));
    const Decoded da = decodeScan(a, 0), db = decodeScan(b, 0, 4096);
    ASSERT_EQ(da.all.count, db.all.count);
    EXPECT_TRUE(da.all.x == db.all.x && da.all.y == db.all.y && da.all.z == db.all.z);
}

TEST(E57Records, BitPackedStreamByteLayout)
{
    // Five 3-bit values 1..5, least significant bit first:
    // byte 0 = 001 | 010 << 3 | (011 & 11) << 6 = 0xD1,
    // byte 1 = 0 | 100 << 1 | 101 << 4 = 0x58.
    e57test::ScanDef scan;
    scan.fields = {integer("cartesianX", 0, 7), integer("cartesianY", 0, 0), integer("cartesianZ", -3, -3)};
    scan.records = 5;
    scan.value = [](std::uint64_t r, std::size_t f) { return f == 0 ? double(r + 1) : f == 1 ? 0.0 : -3.0; };
    const e57test::Written w = e57test::writeE57({scan});
    // The packet follows the 32-byte section header: type, flags, length - 1,
    // 3 streams, lengths 2, 0, 0, then the bytes.
    const std::uint8_t* p = w.bytes.data() + w.firstPackets[0];
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[4], 3);
    EXPECT_EQ(p[6], 2);
    EXPECT_EQ(p[8], 0);
    EXPECT_EQ(p[12], 0xD1);
    EXPECT_EQ(p[13], 0x58);
    E57File file;
    ASSERT_TRUE(file.openMemory(w.bytes.data(), w.bytes.size())) << file.error();
    const Decoded d = decodeScan(file, 0);
    ASSERT_EQ(d.error, "");
    ASSERT_EQ(d.all.count, 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(d.all.x[i], double(i + 1));
        EXPECT_EQ(d.all.y[i], 0.0); // 0 bits: every value the minimum
        EXPECT_EQ(d.all.z[i], -3.0);
    }
}

TEST(E57Records, ValuesOfEveryWidthStraddlePacketsAndBatches)
{
    // Odd widths in tiny packets whose sizes differ per stream, so that
    // nearly every value crosses a packet boundary somewhere; skipped
    // fields (an extension one of 64 bits among them) still take their bits.
    e57test::FieldDef scaled;
    scaled.name = "cartesianX";
    scaled.type = "ScaledInteger";
    scaled.minimum = -5000000;
    scaled.maximum = 5000000; // 24 bits
    scaled.scale = 0.001;
    scaled.offset = 100.0;
    e57test::ScanDef scan;
    scan.fields = {integer("ext:flag", 0, 1), scaled, integer("intensity", 0, 4),
                   floating("cartesianY", true), integer("ext:wide", INT64_MIN, INT64_MAX),
                   floating("cartesianZ", false), integer("cartesianInvalidState", 0, 2),
                   integer("colorRed", -1000, 1000000000), integer("colorGreen", 0, 8190),
                   integer("colorBlue", 0, 1)};
    scan.records = 3001;
    const auto value = [](std::uint64_t r, std::size_t f) -> double {
        const double i = static_cast<double>(r);
        switch (f) {
        case 0: return double(r % 2);
        case 1: return double((std::int64_t(r) * 7919) % 10000000 - 5000000);
        case 2: return double(r % 5);
        case 3: return i * 0.25 - 100.0;
        case 4: return double(std::int64_t(r * 2654435761u) - (std::int64_t(1) << 40));
        case 5: return std::sin(i) * 1e5;
        case 6: return double(r % 3 == 2 ? 2 : r % 7 == 0 ? 1 : 0);
        case 7: return double(std::int64_t(r) * 333331 - 1000);
        case 8: return double((r * 13) % 8191);
        default: return double((r / 3) % 2);
        }
    };
    scan.value = value;
    scan.streamBytes = 3;
    scan.streamSkew = 2;
    scan.emptyPacketFirst = true;
    scan.indexPacketLast = true;
    const e57test::Written w = e57test::writeE57({scan});
    E57File file;
    ASSERT_TRUE(file.openMemory(w.bytes.data(), w.bytes.size())) << file.error();
    for (std::size_t batch : {1u, 64u, 5000u}) {
        SCOPED_TRACE(batch);
        const Decoded d = decodeScan(file, 0, batch);
        ASSERT_EQ(d.error, "");
        ASSERT_EQ(d.all.count, scan.records);
        for (std::uint64_t r = 0; r < scan.records; ++r) {
            const std::size_t k = static_cast<std::size_t>(r);
            ASSERT_EQ(d.all.x[k], value(r, 1) * 0.001 + 100.0) << r;
            ASSERT_EQ(d.all.y[k], static_cast<double>(static_cast<float>(value(r, 3)))) << r;
            ASSERT_EQ(d.all.z[k], value(r, 5)) << r;
            ASSERT_EQ(d.all.invalid[k], value(r, 6) != 0 ? 1 : 0) << r;
            ASSERT_EQ(d.all.red[k], value(r, 7)) << r;
            ASSERT_EQ(d.all.green[k], value(r, 8)) << r;
            ASSERT_EQ(d.all.blue[k], value(r, 9)) << r;
        }
    }
}

TEST(E57Records, SectionAndPacketFaultsAreNamed)
{
    e57test::ScanDef scan;
    scan.fields = {integer("cartesianX", 0, 1000), integer("cartesianY", 0, 1000), integer("cartesianZ", 0, 1000)};
    scan.records = 2000;
    scan.value = [](std::uint64_t r, std::size_t f) { return double((r * (f + 3)) % 1001); };
    scan.streamBytes = 500;
    const e57test::Written good = e57test::writeE57({scan});
    const std::size_t section = good.sections[0], packet = good.firstPackets[0];

    struct Case {
        const char* words;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    } cases[] = {
        {"not a compressed-vector section", [&](auto& b) { b[section] = 3; }},
        {"runs past the end of the file", [&](auto& b) { b[section + 15] = 0x40; }},
        {"lies outside its section", [&](auto& b) { b[section + 23] = 0x10; }},
        {"holds 4 streams, its prototype 3 fields", [&](auto& b) { b[packet + 4] = 4; }},
        {"has type 7", [&](auto& b) { b[packet] = 7; }},
        {"need", [&](auto& b) { b[packet + 7] = 0x7F; }},            // a buffer longer than its packet
        {"runs past the end of its section", [&](auto& b) { b[packet + 3] = 0xFF; }},
        {"ends before its 2000 records", [&](auto& b) { b[packet + 6] = 0; b[packet + 7] = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        std::vector<std::uint8_t> bytes = good.bytes;
        c.damage(bytes);
        e57test::fixChecksums(bytes);
        E57File file;
        ASSERT_TRUE(file.openMemory(bytes.data(), bytes.size())) << file.error();
        const Decoded d = decodeScan(file, 0, 100000);
        EXPECT_NE(d.error.find(c.words), std::string::npos) << d.error;
        EXPECT_EQ(d.error.rfind("scan 1: ", 0), 0u) << d.error;
    }
}
