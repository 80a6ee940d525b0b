// PCD and PLY conversion: axis exchange, origin, non-finite points, the
// shared sample files of every PCD encoding, and unreadable files.

#include "conversionrun.h"
#include "ilasfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "pcdreader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>

namespace {

using Point = std::array<double, 3>;
using Offset = std::array<float, 3>;

FileResult convertOne(const QString& path, IlasContents* ilas = nullptr)
{
    const ConversionRun run = runConversion({path});
    FileResult r = run.results.empty() ? FileResult() : run.results.front();
    if (ilas && r.converted)
        *ilas = readIlas(r.output);
    return r;
}

QByteArray asciiPcd(const std::vector<QByteArray>& rows)
{
    QByteArray text = "# .PCD v0.7 - Point Cloud Data file format\nVERSION 0.7\nFIELDS x y z\n"
                      "SIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH "
        + QByteArray::number(int(rows.size())) + "\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS "
        + QByteArray::number(int(rows.size())) + "\nDATA ascii\n";
    for (const QByteArray& row : rows)
        text += row + "\n";
    return text;
}

std::multiset<Point> asSet(const std::vector<Point>& points)
{
    return std::multiset<Point>(points.begin(), points.end());
}

} // namespace

TEST(PcdReader, AxesAreExchangedAndTheFirstPointIsTheOrigin)
{
    QTemporaryDir dir;
    // The two-point example: too sparse to be stored, but the origin is set.
    writeFile(dir.filePath("two.pcd"), asciiPcd({"1 2 3", "4 5 6"}));
    IlasContents ilas;
    FileResult r = convertOne(dir.filePath("two.pcd"), &ilas);
    ASSERT_TRUE(r.converted) << r.reason.toStdString();
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.originX, 1.0);
    EXPECT_EQ(ilas.header.originY, 3.0);
    EXPECT_EQ(ilas.header.originZ, 2.0);

    // Ten of each: both become stored points, as (1, 3, 2) and (4, 6, 5).
    std::vector<QByteArray> rows;
    for (int i = 0; i < 10; ++i)
        rows.insert(rows.end(), {"1 2 3", "4 5 6"});
    writeFile(dir.filePath("twenty.pcd"), asciiPcd(rows));
    r = convertOne(dir.filePath("twenty.pcd"), &ilas);
    ASSERT_TRUE(r.converted);
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.hasColor, 0);
    std::vector<Point> expected;
    for (int i = 0; i < 10; ++i)
        expected.insert(expected.end(), {Point{1, 3, 2}, Point{4, 6, 5}});
    EXPECT_EQ(asSet(ilas.points), asSet(expected));
    ASSERT_EQ(ilas.blocks.size(), 1u);
    EXPECT_EQ(ilas.blocks[0].minX, 0.0f);
    EXPECT_EQ(ilas.blocks[0].maxY, 3.0f);
}

TEST(PcdReader, NonFinitePointsAreDropped)
{
    QTemporaryDir dir;
    std::vector<QByteArray> rows = {"nan nan nan", "inf 1 1", "2 nan 2"};
    for (int i = 0; i < 12; ++i)
        rows.push_back("10." + QByteArray::number(i) + " 20 30");
    rows.push_back("nan 0 0");
    writeFile(dir.filePath("holes.pcd"), asciiPcd(rows));
    IlasContents ilas;
    const FileResult r = convertOne(dir.filePath("holes.pcd"), &ilas);
    ASSERT_TRUE(r.converted) << r.reason.toStdString();
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.originX, 10.0);
    EXPECT_EQ(ilas.header.originY, 30.0);
    EXPECT_EQ(ilas.header.originZ, 20.0);
    EXPECT_EQ(ilas.header.pointCount, 12);
    for (const Point& p : ilas.points)
        EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    EXPECT_TRUE(r.reason.startsWith("4 ")) << r.reason.toStdString();

    // No point at all, or no finite one: a valid file without blocks.
    writeFile(dir.filePath("nopoints.pcd"), "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\n"
                                            "COUNT 1 1 1\nWIDTH 0\nHEIGHT 0\nPOINTS 0\nDATA ascii\n");
    writeFile(dir.filePath("novertex.ply"), "ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\n"
                                            "property float y\nproperty float z\nend_header\n");
    for (const char* name : {"nopoints.pcd", "novertex.ply"}) {
        const FileResult empty = convertOne(dir.filePath(name), &ilas);
        ASSERT_TRUE(empty.converted) << name << ": " << empty.reason.toStdString();
        ASSERT_EQ(ilas.problem, "") << name;
        EXPECT_EQ(ilas.header.blockCount, 0) << name;
    }
    writeFile(dir.filePath("allnan.pcd"), asciiPcd({"nan nan nan", "nan 1 2"}));
    const FileResult none = convertOne(dir.filePath("allnan.pcd"), &ilas);
    ASSERT_TRUE(none.converted);
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.blockCount, 0);
    EXPECT_EQ(ilas.header.pointCount, 0);
}

TEST(PcdReader, SharedSamplesOfEveryEncoding)
{
    struct Case {
        const char* file;
        int points;   // finite points in the file
        bool allKept; // every point lies in a dense cell
    };
    const Case cases[] = {
        {"pcd/pcl/bunny.pcd", 397, true},               // ascii, version .5
        {"pcd/pcl/bun0.pcd", 397, true},                // ascii with normals
        {"pcd/pcl/curve_close.pcd", 110, false},        // binary, trailing bytes
        {"pcd/pcl/office1_keypoints.pcd", 1318, false}, // binary with intensity
        {"pcd/pcl/milk.pcd", 13704, true},              // binary_compressed
        {"pcd/pcl/five_people.pcd", 307200 - 68125, false}, // organized, NaN holes
    };
    QTemporaryDir dir;
    for (const Case& k : cases) {
        const QString source = sharedTestData(k.file);
        const QString copy = dir.filePath(QFileInfo(source).fileName());
        ASSERT_TRUE(QFile::copy(source, copy)) << k.file;
        IlasContents ilas;
        const FileResult r = convertOne(copy, &ilas);
        ASSERT_TRUE(r.converted) << k.file << ": " << r.reason.toStdString();
        ASSERT_EQ(ilas.problem, "") << k.file;

        // What the reader library gives (checked against the files on its
        // own), with y and z exchanged.
        nimbus::pcd::PcdReader reader;
        ASSERT_TRUE(reader.open(source.toStdString())) << k.file << ": " << reader.error();
        std::vector<nimbus::pcd::PcdPoint> cloud(reader.header().points);
        ASSERT_EQ(reader.readPoints(cloud.data(), cloud.size()), cloud.size()) << k.file;
        std::vector<Point> finite;
        for (const auto& q : cloud)
            if (std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z))
                finite.push_back({q.x, q.z, q.y});
        ASSERT_EQ(static_cast<int>(finite.size()), k.points) << k.file;
        EXPECT_EQ(ilas.header.originX, finite[0][0]) << k.file;
        EXPECT_EQ(ilas.header.originY, finite[0][1]) << k.file;
        EXPECT_EQ(ilas.header.originZ, finite[0][2]) << k.file;

        // Stored points are float offsets from that origin.
        std::multiset<Offset> expected;
        for (const Point& p : finite)
            expected.insert(Offset{static_cast<float>(p[0] - finite[0][0]),
                                   static_cast<float>(p[1] - finite[0][1]),
                                   static_cast<float>(p[2] - finite[0][2])});
        const std::multiset<Offset> stored(ilas.offsets.begin(), ilas.offsets.end());
        if (k.allKept) {
            EXPECT_TRUE(stored == expected) << k.file;
        } else {
            EXPECT_LE(stored.size(), expected.size()) << k.file;
            EXPECT_TRUE(std::includes(expected.begin(), expected.end(), stored.begin(), stored.end()))
                << k.file;
        }
    }
}

TEST(PcdReader, UpperCaseDoubleFieldsAreRead)
{
    // X, Y and Z stored as doubles, as one survey tool writes them.
    QTemporaryDir dir;
    const QString copy = dir.filePath("autzen-utm.pcd");
    ASSERT_TRUE(QFile::copy(sharedTestData("pcd/pdal/autzen-utm.pcd"), copy));
    IlasContents ilas;
    const FileResult r = convertOne(copy, &ilas);
    ASSERT_TRUE(r.converted) << r.reason.toStdString();
    ASSERT_EQ(ilas.problem, "");
    // The origin is the first record's X, Z and Y, as full doubles.
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const int data = bytes.indexOf("DATA binary\n") + 12;
    ASSERT_GT(data, 12);
    double first[3];
    std::memcpy(first, bytes.constData() + data, sizeof first);
    EXPECT_EQ(ilas.header.originX, first[0]);
    EXPECT_EQ(ilas.header.originY, first[2]);
    EXPECT_EQ(ilas.header.originZ, first[1]);
    EXPECT_GT(first[0], 1000.0) << "a real easting, not a float-rounded or zero value";
    // Every record has finite coordinates: nothing was dropped, but the
    // points are spread too thin for any grid cell to be kept.
    EXPECT_EQ(ilas.header.pointCount, 0);
    EXPECT_EQ(r.reason, "no point stored: every cell held fewer than 10 points");
}

TEST(PcdReader, UnreadableFilesFailWithoutOutput)
{
    QTemporaryDir dir;
    const QString missingHeader = dir.filePath("missingheader.pcd");
    ASSERT_TRUE(QFile::copy(sharedTestData("pcd/pdal/missingheader.pcd"), missingHeader));
    writeFile(dir.filePath("garbage.pcd"), QByteArray(4000, '\x13'));
    writeFile(dir.filePath("empty.pcd"), "");
    writeFile(dir.filePath("truncated.pcd"),
              "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 1000\n"
              "HEIGHT 1\nPOINTS 1000\nDATA binary\n" + QByteArray(100, '\0'));
    writeFile(dir.filePath("nofields.pcd"),
              "VERSION 0.7\nFIELDS a b c\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 2\n"
              "HEIGHT 1\nPOINTS 2\nDATA ascii\n1 2 3\n4 5 6\n");
    // Without a DATA line, without POINTS, with a point count the file cannot hold.
    const QByteArray header = "VERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\n";
    writeFile(dir.filePath("nodata.pcd"), header + "WIDTH 2\nHEIGHT 1\nPOINTS 2\n1 2 3\n4 5 6\n");
    writeFile(dir.filePath("nopoints.pcd"), header + "WIDTH 2\nHEIGHT 1\nDATA ascii\n1 2 3\n4 5 6\n");
    writeFile(dir.filePath("huge.pcd"), header + "WIDTH 2000000000\nHEIGHT 1\nPOINTS 2000000000\n"
                                                 "DATA ascii\n1 2 3\n");
    writeFile(dir.filePath("hugebinary.pcd"), header + "WIDTH 2000000000\nHEIGHT 1\nPOINTS 2000000000\n"
                                                       "DATA binary\n" + QByteArray(24, '\0'));
    writeFile(dir.filePath("shortascii.pcd"), header + "WIDTH 3\nHEIGHT 1\nPOINTS 3\nDATA ascii\n1 2 3\n");
    for (const char* name : {"missingheader.pcd", "garbage.pcd", "empty.pcd", "truncated.pcd",
                             "nofields.pcd", "absent.pcd", "nodata.pcd", "nopoints.pcd", "huge.pcd",
                             "hugebinary.pcd", "shortascii.pcd"}) {
        const FileResult r = convertOne(dir.filePath(name));
        EXPECT_FALSE(r.converted) << name;
        EXPECT_FALSE(r.reason.isEmpty()) << name;
        EXPECT_FALSE(QFile::exists(dir.filePath(QFileInfo(name).completeBaseName() + ".ilas"))) << name;
    }

    // Text bodies that must not become points at the origin: comma-separated values
    // (a real survey export), a blank-looking line, a word, a value too many.
    const QString comma = dir.filePath("utm17_comma.pcd");
    ASSERT_TRUE(QFile::copy(sharedTestData("pcd/pdal/utm17_comma.pcd"), comma));
    const FileResult commaResult = convertOne(comma);
    EXPECT_FALSE(commaResult.converted);
    EXPECT_EQ(commaResult.reason, "line 11 holds 1 values separated by white space, but the header "
                                  "gives 3 per point");
    EXPECT_FALSE(QFile::exists(dir.filePath("utm17_comma.ilas")));
    const QByteArray two = header + "WIDTH 3\nHEIGHT 1\nPOINTS 3\nDATA ascii\n";
    writeFile(dir.filePath("spaceline.pcd"), two + "1 2 3\r\n\r\n4 5 6\r\n7 8 9\r\n");
    writeFile(dir.filePath("word.pcd"), two + "1 2 3\n4 5 six\n7 8 9\n");
    writeFile(dir.filePath("extra.pcd"), two + "1 2 3\n4 5 6 7\n7 8 9\n");
    const std::pair<const char*, const char*> garbled[] = {
        {"spaceline.pcd", "line 11 holds 0 values separated by white space, but the header gives 3 per point"},
        {"word.pcd", "line 11 holds a value that is not a number"},
        {"extra.pcd", "line 11 holds 4 values separated by white space, but the header gives 3 per point"},
    };
    for (const auto& [name, reason] : garbled) {
        const FileResult r = convertOne(dir.filePath(name));
        EXPECT_FALSE(r.converted) << name;
        EXPECT_EQ(r.reason, reason) << name;
        EXPECT_FALSE(QFile::exists(dir.filePath(QFileInfo(name).completeBaseName() + ".ilas"))) << name;
    }
    // The same survey points separated by blanks, an empty line, NaN and
    // CRLF endings are fine.
    const QString space = dir.filePath("utm17_space.pcd");
    ASSERT_TRUE(QFile::copy(sharedTestData("pcd/pdal/utm17_space.pcd"), space));
    IlasContents spaced;
    const FileResult spaceResult = convertOne(space, &spaced);
    EXPECT_TRUE(spaceResult.converted) << spaceResult.reason.toStdString();
    EXPECT_NEAR(spaced.header.originX, 289814.15, 0.05);
    writeFile(dir.filePath("loose.pcd"), two + "1 2 3\r\n\n\tnan NaN -nan \r\n4 5 6e0\r\n");
    const FileResult loose = convertOne(dir.filePath("loose.pcd"));
    EXPECT_TRUE(loose.converted) << loose.reason.toStdString();

    // 16 compressed bytes said to unpack to 100,000,000 points (1.2 GB): turned
    // away before anything is allocated.
    const QByteArray sizes("\x10\x00\x00\x00\x00\x8c\x86\x47", 8);
    writeFile(dir.filePath("hugecompressed.pcd"),
              header + "WIDTH 100000000\nHEIGHT 1\nPOINTS 100000000\nDATA binary_compressed\n" + sizes
                  + QByteArray(16, '\x01'));
    const FileResult compressed = convertOne(dir.filePath("hugecompressed.pcd"));
    EXPECT_FALSE(compressed.converted);
    EXPECT_EQ(compressed.reason, "the header announces more points than the file holds");

    // Text points of 203 values each, 2,000 of them announced in about 12 kB.
    writeFile(dir.filePath("widetext.pcd"),
              "VERSION 0.7\nFIELDS x y z extra\nSIZE 4 4 4 8\nTYPE F F F F\nCOUNT 1 1 1 200\n"
              "WIDTH 2000\nHEIGHT 1\nPOINTS 2000\nDATA ascii\n" + QByteArray("1 2 3\n").repeated(2000));
    const FileResult wideText = convertOne(dir.filePath("widetext.pcd"));
    EXPECT_FALSE(wideText.converted);
    EXPECT_EQ(wideText.reason, "the header announces more points than the file holds");
}

TEST(PlyReader, AsciiAndBinaryPlyConvertWithTheSameAxisExchange)
{
    QTemporaryDir dir;
    QByteArray ascii = "ply\nformat ascii 1.0\ncomment made by hand\nelement vertex 20\n"
                       "property float x\nproperty float y\nproperty float z\n"
                       "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                       "end_header\n";
    QByteArray binary = "ply\nformat binary_little_endian 1.0\nelement vertex 20\n"
                        "property double x\nproperty double y\nproperty double z\nend_header\n";
    std::vector<Point> expected;
    for (int i = 0; i < 20; ++i) {
        const double x = 1 + (i % 2) * 3, y = 2 + (i % 2) * 3, z = 3 + (i % 2) * 3;
        ascii += QByteArray::number(x) + " " + QByteArray::number(y) + " " + QByteArray::number(z)
            + " 10 20 30\n";
        for (double v : {x, y, z})
            binary.append(reinterpret_cast<const char*>(&v), sizeof v);
        expected.push_back({x, z, y});
    }
    writeFile(dir.filePath("ascii.ply"), ascii);
    writeFile(dir.filePath("binary.ply"), binary);
    for (const char* name : {"ascii.ply", "binary.ply"}) {
        IlasContents ilas;
        const FileResult r = convertOne(dir.filePath(name), &ilas);
        ASSERT_TRUE(r.converted) << name << ": " << r.reason.toStdString();
        ASSERT_EQ(ilas.problem, "") << name;
        EXPECT_EQ(ilas.header.originX, 1.0);
        EXPECT_EQ(ilas.header.originY, 3.0);
        EXPECT_EQ(ilas.header.originZ, 2.0);
        EXPECT_EQ(asSet(ilas.points), asSet(expected)) << name;
    }
}

TEST(PlyReader, NonPlyContentFails)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("pcd-inside.ply"), asciiPcd({"1 2 3", "4 5 6"}));
    writeFile(dir.filePath("garbage.ply"), QByteArray(3000, 'z'));
    writeFile(dir.filePath("short.ply"), "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\n"
                                         "property float y\nproperty float z\nend_header\n1 2 3\n");
    writeFile(dir.filePath("noxyz.ply"), "ply\nformat ascii 1.0\nelement vertex 1\nproperty float a\n"
                                         "end_header\n1\n");
    writeFile(dir.filePath("empty.ply"), "");
    writeFile(dir.filePath("noend.ply"), "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n");
    writeFile(dir.filePath("faces.ply"), "ply\nformat ascii 1.0\nelement face 1\n"
                                         "property list uchar int vertex_indices\nend_header\n3 0 1 2\n");
    writeFile(dir.filePath("hugecount.ply"), "ply\nformat ascii 1.0\nelement vertex 4000000000\n"
                                             "property float x\nproperty float y\nproperty float z\n"
                                             "end_header\n1 2 3\n");
    // A vertex line short of a value, and comma-separated values.
    const QByteArray xyzHeader = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                 "property float y\nproperty float z\nend_header\n";
    writeFile(dir.filePath("shortline.ply"), xyzHeader + "1 2 3\n4 5\n6 7 8 9\n");
    writeFile(dir.filePath("commas.ply"), xyzHeader + "1,2,3\n4,5,6\n7,8,9\n");
    // One byte flipped in a keyword: the line's property would otherwise be
    // lost and every value after it shifted.
    QByteArray flipped = xyzHeader + "1 2 3\n4 5 6\n7 8 9\n";
    const int at = flipped.indexOf("property float y") + 2;
    flipped[at] = static_cast<char>(flipped.at(at) ^ 0x04);
    writeFile(dir.filePath("flipped.ply"), flipped);
    writeFile(dir.filePath("shortproperty.ply"), "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                                                  "property float\nproperty float z\nend_header\n1 2 3\n");
    writeFile(dir.filePath("shortbinary.ply"), "ply\nformat binary_little_endian 1.0\nelement vertex 100\n"
                                               "property float x\nproperty float y\nproperty float z\n"
                                               "end_header\nabc");
    for (const char* name : {"pcd-inside.ply", "garbage.ply", "short.ply", "noxyz.ply", "empty.ply",
                             "noend.ply", "faces.ply", "hugecount.ply", "shortbinary.ply",
                             "shortline.ply", "commas.ply", "flipped.ply", "shortproperty.ply"}) {
        const FileResult r = convertOne(dir.filePath(name));
        EXPECT_FALSE(r.converted) << name;
        EXPECT_FALSE(r.reason.isEmpty()) << name;
        EXPECT_EQ(outputsLeftFor(dir.filePath(name)), QStringList()) << name;
    }

    // 2,000 vertices of 332 bytes each announced in a file of about 4 kB:
    // turned away before room is allocated for them.
    QByteArray wide = "ply\nformat binary_little_endian 1.0\nelement vertex 2000\n";
    for (int i = 0; i < 40; ++i)
        wide += "property double extra" + QByteArray::number(i) + "\n";
    wide += "property float x\nproperty float y\nproperty float z\nend_header\n";
    writeFile(dir.filePath("wide.ply"), wide + QByteArray(2000, '\0'));
    const FileResult r = convertOne(dir.filePath("wide.ply"));
    EXPECT_FALSE(r.converted);
    EXPECT_EQ(r.reason, "the header announces more points than the file holds");
}
