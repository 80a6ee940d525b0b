// Damaged input: LZF blocks, headers, bodies shorter than announced, and a
// file cut while it is read. Each must fail with its own reason.

#include "lzf.h"
#include "pcdreader.h"
#include "pcdtestfiles.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nimbus::pcd;
using namespace pcdtest;

namespace {

std::string openError(const std::string& name, const std::string& bytes, bool ply = false)
{
    PcdReader reader;
    const std::string path = writeScratch(name, bytes);
    if (ply ? reader.openPly(path) : reader.open(path))
        return "(opened)";
    return reader.error();
}

const std::string kXyz = "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\n";

} // namespace

TEST(Lzf, OverlappingCopyAndEveryDamage)
{
    // "ab", then 3 bytes copied from 2 back: the copy reads what it writes.
    const std::uint8_t good[] = {0x01, 'a', 'b', 0x20, 0x01};
    std::uint8_t out[5];
    nimbus::Reason reason;
    ASSERT_TRUE(lzfDecompress(good, sizeof good, out, sizeof out, reason)) << reason.text();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 5), "ababa");

    struct Case { std::vector<std::uint8_t> in; std::size_t outSize; const char* reason; };
    const Case cases[] = {
        {{0x05, 'a'}, 6, "the compressed data ends inside a literal run"},
        {{0x00, 'a', 0x20}, 4, "the compressed data ends inside a back-reference"},
        {{0x00, 'a', 0xE0, 0x01}, 20, "the compressed data ends inside a back-reference"},
        {{0x00, 'a', 0x20, 0x05}, 4, "a back-reference in the compressed data reaches before its start"},
        {{0x00, 'a', 0x21, 0x00}, 4, "a back-reference in the compressed data reaches before its start"},
        {{0x01, 'a', 'b', 0x20, 0x01}, 4, "the compressed data unpacks to more bytes than announced"},
        {{0x03, 'a', 'b', 'c', 'd'}, 3, "the compressed data unpacks to more bytes than announced"},
        {{0x01, 'a', 'b'}, 3, "the compressed data unpacks to 2 bytes, not the 3 announced"},
    };
    for (const Case& k : cases) {
        std::vector<std::uint8_t> target(k.outSize + 16, 0x5a);
        nimbus::Reason why;
        EXPECT_FALSE(lzfDecompress(k.in.data(), k.in.size(), target.data(), k.outSize, why));
        EXPECT_EQ(why.text(), k.reason);
        for (std::size_t i = k.outSize; i < target.size(); ++i)
            ASSERT_EQ(target[i], 0x5a) << "written past the output: " << k.reason;
    }
}

TEST(PcdFaults, DamagedHeadersAndBodiesGiveTheirReason)
{
    std::string twoPoints;
    for (float v : {1.f, 2.f, 3.f, 4.f, 5.f, 6.f})
        append(twoPoints, v);
    const std::pair<std::string, std::string> cases[] = {
        {"", "not a PCD file: the header lacks FIELDS, POINTS or DATA"},
        {"289814.15 4320978.61 170.76\n", "not a PCD file: unexpected header line"},
        {kXyz + "WIDTH 2\nHEIGHT 1\nPOINTS two\nDATA binary\n", "not a PCD file: unusable POINTS entry"},
        {kXyz + "WIDTH 2\nPOINTS 2\nDATA binary_lzma\n", "not a PCD file: unknown DATA kind"},
        {"FIELDS x y z\nSIZE 4 4\nPOINTS 1\nDATA binary\n",
         "not a PCD file: SIZE, TYPE and COUNT do not give one entry per field"},
        {"FIELDS x y z\nSIZE 4 4 4294967295\nCOUNT 1 1 4294967295\nPOINTS 1\nDATA binary\n",
         "not a PCD file: unusable SIZE or COUNT entry"},
        // 2^32 x (2^32 + 1) wraps to 2^32 in 64 bits.
        {kXyz + "WIDTH 4294967296\nHEIGHT 4294967297\nPOINTS 4294967296\nDATA binary\n",
         "WIDTH 4294967296 × HEIGHT 4294967297 does not match POINTS 4294967296"},
        {kXyz + "WIDTH 3\nHEIGHT 1\nPOINTS 2\nDATA binary\n" + twoPoints,
         "WIDTH 3 × HEIGHT 1 does not match POINTS 2"},
        {"FIELDS a b c\nPOINTS 2\nDATA binary\n" + twoPoints, "the cloud has no x, y and z fields"},
        {"FIELDS x y z\nSIZE 2 4 4\nPOINTS 1\nDATA binary\n" + twoPoints,
         "the cloud's x field has an unusable type or offset"},
        {kXyz + "WIDTH 3\nPOINTS 3\nDATA binary\n" + twoPoints,
         "the header announces more points than the file holds"},
        {kXyz + "WIDTH 3\nPOINTS 3\nDATA ascii\n1 2 3\n4 5 6\n",
         "the file ends after 2 of the 3 points its header announces"},
        {kXyz + "WIDTH 2\nPOINTS 2\nDATA ascii\n1,2,3\n4,5,6\n",
         "line 9 holds 1 values separated by white space, but the header gives 3 per point"},
        {kXyz + "WIDTH 2\nPOINTS 2\nDATA ascii\n1 2 3\n4 5 0x6\n", "line 10 holds a value that is not a number"},
        {kXyz + "WIDTH 2\nPOINTS 2\nDATA binary_compressed\n" + std::string("\x10\0\0", 3),
         "the file ends before its compressed data"},
    };
    int i = 0;
    for (const auto& [bytes, reason] : cases)
        EXPECT_EQ(openError("bad" + std::to_string(i++) + ".pcd", bytes), reason) << bytes;

    // A text line beyond the 8 MiB limit (blanks, as padding would be).
    EXPECT_EQ(openError("longline.pcd", kXyz + "WIDTH 2\nPOINTS 2\nDATA ascii\n1 2 3\n4 5 6"
                                            + std::string(PcdReader::kLineLimit, ' ') + "\n"),
              "line 10 is too long");

    // A small compressed cloud, then damaged.
    std::string good;
    {
        std::string packed;
        for (float v : {1.f, 4.f, 2.f, 5.f, 3.f, 6.f})
            append(packed, v);
        good = kXyz + "WIDTH 2\nPOINTS 2\nDATA binary_compressed\n";
        append(good, std::uint32_t(25));
        append(good, std::uint32_t(24));
        good += char(23) + packed;
    }
    ASSERT_EQ(openError("good.pcd", good), "(opened)");
    std::string cut = good;
    cut[good.size() - 33] = 26; // compressed size 26: more than the file holds
    EXPECT_EQ(openError("cut.pcd", cut), "the header announces more points than the file holds");
    std::string wrongSize = good;
    wrongSize[good.size() - 29] = 20; // unpacked size 20 instead of 2 x 12
    EXPECT_EQ(openError("wrongsize.pcd", wrongSize), "the compressed data does not match the header");
    std::string backRef = good;
    backRef += std::string("\x20\x7f", 2);
    backRef[good.size() - 33] = 27;
    EXPECT_EQ(openError("backref.pcd", backRef),
              "a back-reference in the compressed data reaches before its start");
    std::string shortRun = good;
    shortRun[good.size() - 25] = 30; // a literal run of 31 bytes in 24
    EXPECT_EQ(openError("shortrun.pcd", shortRun), "the compressed data ends inside a literal run");

    // PLY headers the vertex reading does not take.
    const std::string xyz = "property float x\nproperty float y\nproperty float z\n";
    EXPECT_EQ(openError("faces.ply", "ply\nformat ascii 1.0\nelement face 1\nproperty list uchar int v\n"
                                     "element vertex 1\n" + xyz + "end_header\n3 0 0 0\n1 2 3\n", true),
              "the PLY file stores other elements before its vertices, which is not read");
    EXPECT_EQ(openError("list.ply", "ply\nformat ascii 1.0\nelement vertex 1\n" + xyz
                                        + "property list uchar int n\nend_header\n1 2 3 0\n", true),
              "the PLY file's vertices hold lists, which are not read");
    EXPECT_EQ(openError("noend.ply", "ply\nformat ascii 1.0\nelement vertex 1\n" + xyz, true),
              "not a PLY file: the header does not end");
}

TEST(PcdFaults, FileCutWhileItIsRead)
{
    // 200,000 binary points (2.4 MB, several read chunks) and the same as
    // text; both are cut to a third after open() has checked them.
    std::string binary = kXyz + "WIDTH 200000\nPOINTS 200000\nDATA binary\n";
    std::string text = kXyz + "WIDTH 200000\nPOINTS 200000\nDATA ascii\n";
    for (int i = 0; i < 200000; ++i) {
        for (float v : {float(i), 1.f, 2.f})
            append(binary, v);
        text += std::to_string(i) + " 1 2\n";
    }
    for (const auto& [name, bytes] : {std::pair{"cutbinary.pcd", binary}, std::pair{"cuttext.pcd", text}}) {
        const std::string path = writeScratch(name, bytes);
        PcdReader reader;
        ASSERT_TRUE(reader.open(path)) << reader.error();
        std::vector<PcdPoint> batch(1000);
        ASSERT_EQ(reader.readPoints(batch.data(), batch.size()), 1000u);
        std::filesystem::resize_file(path, bytes.size() / 3);
        std::uint64_t total = 1000;
        for (std::size_t n; (n = reader.readPoints(batch.data(), batch.size())) > 0;)
            total += n;
        EXPECT_TRUE(reader.failed()) << name;
        EXPECT_LT(total, 200000u) << name;
        EXPECT_FALSE(reader.error().empty()) << name;
        EXPECT_EQ(reader.readPoints(batch.data(), batch.size()), 0u) << name;
    }
}
