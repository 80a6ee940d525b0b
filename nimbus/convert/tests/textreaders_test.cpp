// XYZ, DAT and PTS through the whole pipeline, checked on the written bytes.

#include "conversionrun.h"
#include "ilasfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

using Point = std::array<double, 3>;
using Points = std::vector<Point>;

// `count` points on a small lattice around (x0, y0, z0), all in one dense
// grid cell, so every one of them is stored.
Points lattice(int count, double x0 = 1000.0, double y0 = 2000.0, double z0 = 30.0)
{
    Points points;
    for (int i = 0; i < count; ++i)
        points.push_back({x0 + (i % 7) * 0.25, y0 + (i / 7 % 7) * 0.5, z0 + (i / 49) * 0.125});
    return points;
}

QByteArray lines(const Points& points, const char* separator, const char* before = "",
                 const char* after = "", const char* end = "\n")
{
    QByteArray text;
    for (const Point& p : points) {
        text += before;
        text += QByteArray::number(p[0], 'f', 4) + separator + QByteArray::number(p[1], 'f', 4)
            + separator + QByteArray::number(p[2], 'f', 4);
        text += after;
        text += end;
    }
    return text;
}

Points sorted(Points points)
{
    std::sort(points.begin(), points.end());
    return points;
}

// Stored values are float offsets from the origin.
Points asStored(const Points& points, const Point& origin)
{
    Points out;
    for (const Point& p : points)
        out.push_back({origin[0] + static_cast<float>(p[0] - origin[0]),
                       origin[1] + static_cast<float>(p[1] - origin[1]),
                       origin[2] + static_cast<float>(p[2] - origin[2])});
    return sorted(out);
}

struct Converted {
    FileResult result;
    IlasContents ilas;
};

Converted convert(const QString& path, qint32 capacity = 0, qint32 minCellPoints = 0)
{
    RunOptions options;
    options.bufferCapacity = capacity;
    options.minCellPoints = minCellPoints;
    const ConversionRun run = runConversion({path}, options);
    Converted c;
    if (!run.results.empty())
        c.result = run.results.front();
    if (c.result.converted)
        c.ilas = readIlas(c.result.output);
    return c;
}

const Point kOrigin = {1000.0, 2000.0, 30.0};

} // namespace

TEST(XyzReader, CommaAndBlankSeparatedFilesGiveTheSamePoints)
{
    QTemporaryDir dir;
    const Points points = lattice(300);
    // The lattice starts at kOrigin: the first line is the origin and a point.
    writeFile(dir.filePath("comma.xyz"), lines(points, ","));
    writeFile(dir.filePath("blank.xyz"), lines(points, " "));
    for (const char* name : {"comma.xyz", "blank.xyz"}) {
        const Converted c = convert(dir.filePath(name));
        ASSERT_TRUE(c.result.converted) << name << ": " << c.result.reason.toStdString();
        ASSERT_EQ(c.ilas.problem, "") << name;
        EXPECT_EQ(c.ilas.header.hasColor, 0);
        EXPECT_EQ(c.ilas.header.originX, 1000.0);
        EXPECT_EQ(c.ilas.header.originY, 2000.0);
        EXPECT_EQ(c.ilas.header.originZ, 30.0);
        EXPECT_EQ(c.ilas.header.pointCount, 300) << "n lines give n points";
        EXPECT_EQ(sorted(c.ilas.points), asStored(points, kOrigin)) << name;
        EXPECT_EQ(c.result.reason, "") << "nothing was skipped";
    }
}

TEST(XyzReader, ExtraColumnsAreIgnoredAndCrlfEqualsLf)
{
    QTemporaryDir dir;
    const Points points = lattice(120);
    writeFile(dir.filePath("lf.xyz"), lines(points, ",", "", ",17,255,0"));
    writeFile(dir.filePath("crlf.xyz"), lines(points, ",", "", ",17,255,0", "\r\n"));
    const Converted lf = convert(dir.filePath("lf.xyz"));
    const Converted crlf = convert(dir.filePath("crlf.xyz"));
    ASSERT_EQ(lf.ilas.problem, "");
    ASSERT_EQ(crlf.ilas.problem, "");
    EXPECT_EQ(sorted(lf.ilas.points), asStored(points, kOrigin));
    EXPECT_EQ(lf.ilas.points, crlf.ilas.points);
    // Same header apart from the creation time.
    EXPECT_EQ(std::memcmp(&lf.ilas.header, &crlf.ilas.header, 146), 0);
}

TEST(XyzReader, BadLinesAreSkippedAndCounted)
{
    QTemporaryDir dir;
    const Points points = lattice(100);
    QByteArray text = lines(points, " ");
    // Two blanks shift the columns: field 1 is empty. Then: too few fields,
    // a word, an empty line, a dangling exponent, a comma line in a blank file.
    text += "1000.0  2000.0 30.0\n1000 2000\nx y z\n\n1000 2000 3e\n1000,2000,30\n";
    writeFile(dir.filePath("bad.xyz"), text);
    const Converted c = convert(dir.filePath("bad.xyz"));
    ASSERT_TRUE(c.result.converted);
    ASSERT_EQ(c.ilas.problem, "");
    EXPECT_EQ(sorted(c.ilas.points), asStored(points, kOrigin))
        << "no point with stale or zero values";
    EXPECT_TRUE(c.result.reason.startsWith("6 lines")) << c.result.reason.toStdString();
}

TEST(XyzReader, FirstPointLineIsTheOriginAndAPoint)
{
    QTemporaryDir dir;
    // 20 lines, 20 points, every one kept when no cell is too sparse.
    const Points twenty = lattice(20, 5.0, 6.0, 7.0);
    writeFile(dir.filePath("twenty.xyz"), lines(twenty, ","));
    const Converted all = convert(dir.filePath("twenty.xyz"), 0, 1);
    ASSERT_TRUE(all.result.converted) << all.result.reason.toStdString();
    ASSERT_EQ(all.ilas.problem, "");
    EXPECT_EQ(all.ilas.header.pointCount, 20);
    EXPECT_EQ(all.ilas.header.originX, 5.0);
    EXPECT_EQ(all.ilas.header.originZ, 7.0);
    EXPECT_EQ(sorted(all.ilas.points), asStored(twenty, {5.0, 6.0, 7.0}));
    EXPECT_EQ(all.result.reason, "");
    // One line is one point; under the default cell rule it is dropped, and
    // the file is a valid one without blocks.
    writeFile(dir.filePath("one.xyz"), "5,6,7\n");
    const Converted one = convert(dir.filePath("one.xyz"));
    ASSERT_TRUE(one.result.converted);
    ASSERT_EQ(one.ilas.problem, "");
    EXPECT_EQ(one.ilas.header.blockCount, 0);
    EXPECT_EQ(one.ilas.header.pointCount, 0);
    EXPECT_EQ(one.ilas.header.directoryOffset, 216);
    EXPECT_EQ(one.ilas.header.originX, 5.0);
    EXPECT_EQ(one.ilas.header.originZ, 7.0);
    EXPECT_EQ(one.result.reason, "no point stored: every cell held fewer than 10 points");

    // Lines before the first one with three numbers (a header, a short or a
    // foreign-separated line) are skipped and counted; the first point line
    // gives the origin, with its own separator.
    const Points points = lattice(50);
    const QByteArray headers[] = {"X,Y,Z\n", "X Y Z\r\n1,2\n", "1;2;3\n\n"};
    const char* counts[] = {"1 lines", "2 lines", "2 lines"};
    for (int i = 0; i < 3; ++i) {
        for (const char* separator : {",", " "}) {
            const QString path = dir.filePath(QString("header%1%2.xyz").arg(i).arg(*separator == ',' ? "c" : "b"));
            writeFile(path, headers[i] + lines(points, separator));
            const Converted c = convert(path);
            ASSERT_TRUE(c.result.converted) << i << c.result.reason.toStdString();
            ASSERT_EQ(c.ilas.problem, "");
            EXPECT_EQ(c.ilas.header.originX, 1000.0) << i;
            EXPECT_EQ(sorted(c.ilas.points), asStored(points, kOrigin)) << i;
            EXPECT_TRUE(c.result.reason.startsWith(counts[i])) << i << c.result.reason.toStdString();
        }
    }

    // Without any point line the file fails and leaves nothing behind.
    writeFile(dir.filePath("semi.xyz"), "1;2;3\n" + lines(points, ";"));
    writeFile(dir.filePath("headeronly.xyz"), "X,Y,Z\n");
    writeFile(dir.filePath("empty.xyz"), "");
    writeFile(dir.filePath("binary.xyz"), QByteArray("\x00\x01\x02\xff\xfe", 5) + QByteArray(5000, '\x7f'));
    for (const char* name : {"semi.xyz", "headeronly.xyz", "empty.xyz", "binary.xyz"}) {
        const Converted c = convert(dir.filePath(name));
        EXPECT_FALSE(c.result.converted) << name;
        EXPECT_FALSE(c.result.reason.isEmpty()) << name;
        EXPECT_EQ(outputsLeftFor(dir.filePath(name)), QStringList()) << name << ": no output is left behind";
    }
}

TEST(XyzReader, ExactBufferCapacityGivesOneFullBuffer)
{
    // Points that fill the buffer exactly once or several times, or leave a
    // partial last buffer (dense enough to be kept, since blocks are made per
    // buffer): every point arrives exactly once.
    QTemporaryDir dir;
    for (int n : {63, 64, 64 + 20, 64 * 3}) {
        const QString path = dir.filePath(QString("cap%1.xyz").arg(n));
        const Points points = lattice(n);
        writeFile(path, lines(points, ","));
        const Converted c = convert(path, 64);
        ASSERT_TRUE(c.result.converted) << n;
        ASSERT_EQ(c.ilas.problem, "") << n;
        EXPECT_EQ(c.ilas.header.pointCount, n);
        EXPECT_EQ(sorted(c.ilas.points), asStored(points, kOrigin)) << n;
    }
}

TEST(DatReader, CoordinatesFromFieldsThreeToFive)
{
    QTemporaryDir dir;
    // The first surveyed point (often a control point) is the origin and is
    // stored; the header before it is skipped.
    const Points points = lattice(80, 45.10, 90.25, 12.00);
    QByteArray text = "Name,Code,E,N,H\n";
    int i = 0;
    for (const Point& p : points) {
        ++i;
        text += "pt" + QByteArray::number(i) + (i % 2 ? ",code," : ",,") + QByteArray::number(p[0], 'f', 4)
            + "," + QByteArray::number(p[1], 'f', 4) + "," + QByteArray::number(p[2], 'f', 4) + "\r\n";
    }
    text += "pt99,code,1,2\n"; // too few fields
    writeFile(dir.filePath("survey.dat"), text);
    writeFile(dir.filePath("survey2.e57"), text);
    for (const char* name : {"survey.dat", "survey2.e57"}) {
        const Converted c = convert(dir.filePath(name));
        ASSERT_TRUE(c.result.converted) << name;
        ASSERT_EQ(c.ilas.problem, "");
        EXPECT_EQ(c.ilas.header.originX, 45.10);
        EXPECT_EQ(c.ilas.header.originY, 90.25);
        EXPECT_EQ(c.ilas.header.originZ, 12.00);
        EXPECT_EQ(c.ilas.header.pointCount, 80);
        EXPECT_EQ(sorted(c.ilas.points), asStored(points, {45.10, 90.25, 12.00})) << name;
        EXPECT_TRUE(c.result.reason.startsWith("2 lines")) << c.result.reason.toStdString();
    }
    // A short list keeps every point, the first included.
    writeFile(dir.filePath("three.dat"), "A,,10,20,5\nB,,11,20,5\nC,,10,21,6\n");
    const Converted three = convert(dir.filePath("three.dat"), 0, 1);
    ASSERT_TRUE(three.result.converted) << three.result.reason.toStdString();
    EXPECT_EQ(three.ilas.header.pointCount, 3);
    EXPECT_EQ(sorted(three.ilas.points), Points({{10, 20, 5}, {10, 21, 6}, {11, 20, 5}}));
    // Coordinates in fields 1 to 3 are not DAT.
    writeFile(dir.filePath("plain.dat"), "1,2,3\n" + lines(points, ","));
    EXPECT_FALSE(convert(dir.filePath("plain.dat")).result.converted);
    EXPECT_EQ(outputsLeftFor(dir.filePath("plain.dat")), QStringList());
}

TEST(PtsReader, CountLineGivesExpectedCountAndFirstPointIsStored)
{
    QTemporaryDir dir;
    const Points points = lattice(90);
    // The count line says 180: reading the whole file gives 90 %, the writer
    // adds its 50 % of the last tenth, and the finished file shows 100 %.
    writeFile(dir.filePath("counted.pts"), "180\r\n" + lines(points, " ", "", " -1200 255 128 0", "\r\n"));
    const ConversionRun run = runConversion({dir.filePath("counted.pts")});
    ASSERT_EQ(run.results.size(), 1u);
    ASSERT_TRUE(run.results[0].converted) << run.results[0].reason.toStdString();
    EXPECT_NE(std::find(run.percents.begin(), run.percents.end(), 95.0), run.percents.end()) << ::testing::PrintToString(run.percents);
    EXPECT_TRUE(std::is_sorted(run.percents.begin(), run.percents.end())) << ::testing::PrintToString(run.percents);
    const IlasContents ilas = readIlas(run.results[0].output);
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.originX, points[0][0]);
    EXPECT_EQ(ilas.header.originY, points[0][1]);
    EXPECT_EQ(ilas.header.originZ, points[0][2]);
    EXPECT_EQ(sorted(ilas.points), asStored(points, points[0]));
    // The points are what counts; the count line's claim is only noted.
    EXPECT_EQ(run.results[0].reason, "the count line says 180, the file holds 90 points");
}

TEST(PtsReader, WithoutCountLineTheFirstLineIsTheOrigin)
{
    QTemporaryDir dir;
    const Points points = lattice(90);
    writeFile(dir.filePath("plain.pts"), "1000 2000 30 0 0 0 0\n" + lines(points, "\t", " ", " 7 1 2 3"));
    const Converted c = convert(dir.filePath("plain.pts"));
    ASSERT_TRUE(c.result.converted);
    ASSERT_EQ(c.ilas.problem, "");
    EXPECT_EQ(c.ilas.header.originX, 1000.0);
    EXPECT_EQ(sorted(c.ilas.points), asStored(points, kOrigin));
}

TEST(PtsReader, BadFirstLinesFail)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("word.pts"), "points\n1 2 3\n");
    writeFile(dir.filePath("badsecond.pts"), "2\n1 2\n1 2 3\n");
    writeFile(dir.filePath("comma.pts"), "1,2,3\n4,5,6\n");
    for (const char* name : {"word.pts", "badsecond.pts", "comma.pts"}) {
        const Converted c = convert(dir.filePath(name));
        EXPECT_FALSE(c.result.converted) << name;
        EXPECT_EQ(outputsLeftFor(dir.filePath(name)), QStringList()) << name;
    }
    // A count line alone is a valid file without points.
    writeFile(dir.filePath("countonly.pts"), "0\n");
    const Converted c = convert(dir.filePath("countonly.pts"));
    ASSERT_TRUE(c.result.converted);
    EXPECT_EQ(c.ilas.problem, "");
    EXPECT_EQ(c.ilas.header.blockCount, 0);
    EXPECT_EQ(c.result.reason, "no point stored: the input holds no point");
    // One that promises points it does not hold says so.
    writeFile(dir.filePath("promise.pts"), "5\n");
    const Converted promise = convert(dir.filePath("promise.pts"));
    ASSERT_TRUE(promise.result.converted);
    EXPECT_EQ(promise.ilas.problem, "");
    EXPECT_EQ(promise.ilas.header.pointCount, 0);
    EXPECT_EQ(promise.result.reason, "no point stored: the input holds no point; "
                                     "the count line says 5, the file holds 0 points");
}

TEST(TextReaders, SharedSampleFiles)
{
    // Real files made by others: a blank-separated grid of 400 lines, and PTS
    // files with a count line (one of them announcing 8 points for 9 lines).
    struct Case {
        const char* file;
        int points;
        const char* countNote;
    };
    const Case cases[] = {{"text/pdal/gdal/data.xyz", 400, ""},
                          {"text/pdal/pts/autzen.pts", 10, ""},
                          {"text/pdal/pts/bunny_8.pts", 9, "the count line says 8, the file holds 9 points"},
                          {"text/pdal/pts/site_56_8.pts", 8, ""}};
    QTemporaryDir dir;
    for (const Case& k : cases) {
        const QString copy = dir.filePath(QFileInfo(k.file).fileName());
        QFile::copy(sharedTestData(k.file), copy);
        const ConversionRun run = runConversion({copy});
        ASSERT_EQ(run.results.size(), 1u) << k.file;
        EXPECT_TRUE(run.results[0].converted) << k.file << ": " << run.results[0].reason.toStdString();
        const IlasContents ilas = readIlas(run.results[0].output);
        EXPECT_EQ(ilas.problem, "") << k.file;
        // Sparse cells are not stored, so the file holds at most the points read.
        EXPECT_LE(ilas.header.pointCount, k.points) << k.file;
        // ... and says how many it left out.
        QStringList notes;
        if (ilas.header.pointCount == 0)
            notes << QStringLiteral("no point stored: every cell held fewer than 10 points");
        else if (ilas.header.pointCount < k.points)
            notes << QStringLiteral("%1 of %2 points stored; the rest lay in sparse cells")
                         .arg(ilas.header.pointCount)
                         .arg(k.points);
        if (*k.countNote)
            notes << k.countNote;
        EXPECT_EQ(run.results[0].reason, notes.join("; ")) << k.file;
    }
}
