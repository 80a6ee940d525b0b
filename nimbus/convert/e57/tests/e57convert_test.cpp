// E57 files through the whole converter: every shared sample converts or
// fails as its description says, the generated samples give their listed
// world coordinates and colours point for point, files written here cover
// poses, spherical coordinates, invalid records and colour scaling, and
// damaged files fail with a reason and leave earlier outputs alone.

#include "conversionrun.h"
#include "qtnativepath.h"
#include "e57testwriter.h"
#include "wktsummary.h"
#include "ilasfile.h"
#include "ilasformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace {

struct Point {
    double x, y, z;
    int red, green, blue;
};

struct Ilas {
    bool ok = false;
    nimbus::IlasHeader header{};
    std::vector<Point> points; // absolute coordinates
};

// The points of an ilas file read through the shared test reader, with
// colours (-1 without colour); `ok` when the file passes every format rule.
Ilas readIlasFile(const QString& path)
{
    const IlasContents contents = readIlas(path);
    Ilas out;
    out.ok = contents.problem.empty();
    out.header = contents.header;
    for (std::size_t i = 0; i < contents.points.size() && out.ok; ++i) {
        const auto& a = contents.points[i];
        Point p{a[0], a[1], a[2], -1, -1, -1};
        if (i < contents.colours.size()) {
            p.red = contents.colours[i][0];
            p.green = contents.colours[i][1];
            p.blue = contents.colours[i][2];
        }
        out.points.push_back(p);
    }
    return out;
}

std::vector<Point> readCsv(const QString& path)
{
    std::vector<Point> points;
    std::ifstream in(quillfen::libraryPath(path));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        Point p{};
        char comma;
        std::istringstream s(line);
        s >> p.x >> comma >> p.y >> comma >> p.z >> comma >> p.red >> comma >> p.green >> comma >> p.blue;
        points.push_back(p);
    }
    return points;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every stored point matched to a different expected point within `tolerance`
// on each axis (sorted by x, searched in a window); the colours of matched
// points must agree when `colours`. Returns the number matched.
std::size_t matchPoints(const std::vector<Point>& stored, std::vector<Point> expected, double tolerance,
                        bool colours)
{
    std::sort(expected.begin(), expected.end(), [](const Point& a, const Point& b) { return a.x < b.x; });
    std::vector<bool> used(expected.size(), false);
    std::size_t matched = 0;
    for (const Point& p : stored) {
        auto it = std::lower_bound(expected.begin(), expected.end(), p.x - tolerance,
                                   [](const Point& a, double x) { return a.x < x; });
        for (; it != expected.end() && it->x <= p.x + tolerance; ++it) {
            const std::size_t i = static_cast<std::size_t>(it - expected.begin());
            if (used[i] || std::fabs(it->y - p.y) > tolerance || std::fabs(it->z - p.z) > tolerance)
                continue;
            if (colours && (it->red != p.red || it->green != p.green || it->blue != p.blue))
                continue;
            used[i] = true;
            ++matched;
            break;
        }
    }
    return matched;
}

e57test::FieldDef field(const std::string& name, const std::string& type, std::int64_t lo = 0, std::int64_t hi = 0)
{
    e57test::FieldDef f;
    f.name = name;
    f.type = type;
    f.minimum = lo;
    f.maximum = hi;
    return f;
}

class E57Convert : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString place(const QString& sampleFile, const QString& name)
    {
        const QString path = dir_.filePath(name);
        QFile::copy(sharedTestData(QStringLiteral("e57/") + sampleFile), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }
    QString write(const QString& name, const std::vector<std::uint8_t>& bytes)
    {
        const QString path = dir_.filePath(name);
        EXPECT_TRUE(e57test::writeFile(quillfen::libraryPath(path), bytes));
        return path;
    }
    static QString ilasOf(const QString& input)
    {
        const QFileInfo info(input);
        return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".ilas");
    }
    static QString partialOf(const QString& input)
    {
        const QFileInfo info(input);
        return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".partial.ilas");
    }

    QTemporaryDir dir_;
};

} // namespace

TEST_F(E57Convert, EverySampleConvertsOrFailsAsDescribed)
{
    struct Case {
        const char* file;
        bool converts;
        int hasColor;      // ilas colour flag; -1: not checked
        const char* words; // in the reason, or in a note of the summary
    } cases[] = {
        {"libe57-test-data/ColourRepresentation.e57", true, 1, nullptr},
        {"libe57-test-data/ColouredCubeDouble.e57", true, 1, nullptr},
        {"libe57-test-data/ColouredCubeFloat.e57", true, 1, nullptr},
        {"libe57-test-data/InvalidCVHeader.e57", true, 0, "every scan is empty"},
        {"libe57-test-data/ZeroPoints.e57", true, 0, "every scan is empty"},
        {"libe57-test-data/ZeroPointsInvalid.e57", true, 0, "every scan is empty"},
        {"libe57-test-data/bad-crc.e57", false, -1, "checksum mismatch on page 0"},
        {"libe57-test-data/bunnyDouble.e57", true, 0, nullptr},
        {"libe57-test-data/bunnyInt32.e57", true, 0, nullptr},
        {"libe57-test-data/empty.e57", true, 0, "the file holds no scan"},
        {"libe57-test-data/测试点云.e57", true, 0, "the file holds no scan"},
        {"pdal/A4.e57", true, 1, nullptr},
        {"pdal/A_B.e57", true, 1, nullptr},
        {"pdal/A_B_different_dims.e57", true, 1, nullptr},
        {"pdal/B2.e57", true, 1, nullptr},
        {"made/made-scaled-no-colour.e57", true, 0, nullptr},
        {"made/made-two-scans-pose-spherical.e57", true, 1, "342 records marked invalid by the scanner were skipped"},
    };
    QStringList inputs;
    int n = 0;
    for (const Case& c : cases) {
        const QString name = QString::fromUtf8(c.file).section(QLatin1Char('/'), -1);
        const QString sub = dir_.filePath(QString::number(n++));
        QDir().mkpath(sub);
        const QString path = sub + QLatin1Char('/') + name;
        QFile::copy(sharedTestData(QStringLiteral("e57/") + QString::fromUtf8(c.file)), path);
        inputs << path;
    }
    const ConversionRun run = runConversion(inputs);
    ASSERT_EQ(run.results.size(), inputs.size());
    EXPECT_EQ(run.prompts.count(QStringLiteral("converting:")), inputs.size());
    for (int i = 0; i < inputs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.file);
        const FileResult& r = run.results[static_cast<std::size_t>(i)];
        EXPECT_EQ(r.converted, c.converts) << r.reason.toStdString();
        if (!c.converts) {
            EXPECT_NE(r.reason.indexOf(QString::fromUtf8(c.words)), -1) << r.reason.toStdString();
            EXPECT_FALSE(QFile::exists(ilasOf(inputs[i])));
            continue;
        }
        const Ilas ilas = readIlasFile(ilasOf(inputs[i]));
        ASSERT_TRUE(ilas.ok);
        if (c.hasColor >= 0) {
            EXPECT_EQ(ilas.header.hasColor, c.hasColor);
        }
        if (c.words) {
            const QString note = inputs[i] + QStringLiteral(": ") + QString::fromUtf8(c.words);
            EXPECT_NE(run.summary.indexOf(note), -1) << run.summary.toStdString();
        }
        const std::string words = c.words ? c.words : "";
        if (words == "every scan is empty" || words == "the file holds no scan") {
            // No record: the valid empty file, origin 0, 0, 0.
            EXPECT_EQ(QFileInfo(ilasOf(inputs[i])).size(), 216);
            EXPECT_EQ(ilas.header.pointCount, 0);
            EXPECT_EQ(ilas.header.originX, 0.0);
            EXPECT_EQ(ilas.header.originZ, 0.0);
        }
    }
}

TEST_F(E57Convert, GeneratedSamplesGiveTheirListedPoints)
{
    const char* names[] = {"made-scaled-no-colour", "made-two-scans-pose-spherical"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const QString input = place(QStringLiteral("made/%1.e57").arg(QLatin1String(name)), QLatin1String(name) + QStringLiteral(".e57"));
        const ConversionRun run = runConversion({input});
        ASSERT_EQ(run.results.size(), 1u);
        ASSERT_TRUE(run.results[0].converted) << run.results[0].reason.toStdString();
        const Ilas ilas = readIlasFile(ilasOf(input));
        ASSERT_TRUE(ilas.ok);
        const std::vector<Point> expected =
            readCsv(sharedTestData(QStringLiteral("e57/made/%1.expected.csv").arg(QLatin1String(name))));
        ASSERT_GT(expected.size(), 10000u);
        // The origin is the first stored point: the file's first valid one.
        EXPECT_NEAR(ilas.header.originX, expected[0].x, 1e-6);
        EXPECT_NEAR(ilas.header.originY, expected[0].y, 1e-6);
        EXPECT_NEAR(ilas.header.originZ, expected[0].z, 1e-6);
        const bool colour = ilas.header.hasColor != 0;
        EXPECT_EQ(colour, std::string(name).find("no-colour") == std::string::npos);
        // Only points of cells too sparse to keep may be missing; all the
        // rest are the listed ones, colours exact.
        EXPECT_GE(ilas.points.size(), expected.size() * 99 / 100);
        EXPECT_EQ(matchPoints(ilas.points, expected, 0.001, colour), ilas.points.size());
    }
}

TEST_F(E57Convert, DoublesAndScaledIntegersGiveTheSameIlasBytes)
{
    const QString a = place(QStringLiteral("libe57-test-data/bunnyDouble.e57"), QStringLiteral("double.e57"));
    const QString b = place(QStringLiteral("libe57-test-data/bunnyInt32.e57"), QStringLiteral("int32.e57"));
    const ConversionRun run = runConversion({a, b});
    ASSERT_EQ(run.results.size(), 2u);
    ASSERT_TRUE(run.results[0].converted && run.results[1].converted);
    QByteArray x = readAll(ilasOf(a)), y = readAll(ilasOf(b));
    ASSERT_GT(x.size(), 216 + 20000 * 12);
    ASSERT_EQ(x.size(), y.size());
    x.replace(146, 63, QByteArray(63, '\0'));
    y.replace(146, 63, QByteArray(63, '\0'));
    EXPECT_TRUE(x == y);
}

TEST_F(E57Convert, TextUnderAnE57NameStillGoesToTheDatReader)
{
    QByteArray text = "origin,0,1000.0,2000.0,30.0\n";
    for (int i = 0; i < 40; ++i)
        text += "p" + QByteArray::number(i) + ",c," + QByteArray::number(1000.0 + i * 0.1) + ",2000.5,30.25\n";
    const QString path = dir_.filePath("survey.E57");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    const ConversionRun run = runConversion({path});
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_TRUE(run.results[0].converted) << run.results[0].reason.toStdString();
    const Ilas ilas = readIlasFile(ilasOf(path));
    ASSERT_TRUE(ilas.ok);
    EXPECT_EQ(ilas.header.originX, 1000.0);
    EXPECT_EQ(ilas.points.size(), 41u) << "the origin line is a point too";
}

TEST_F(E57Convert, PosesSphericalInvalidRecordsAndColourScaling)
{
    // Scan 1: doubles, pose 90 degrees about z written as a quaternion of
    // length 2 (normalised), 16-bit colours with colorLimits 0..65535,
    // every fifth record invalid (state 1 or 2).
    e57test::ScanDef a;
    a.fields = {field("cartesianX", "Float"), field("cartesianY", "Float"), field("cartesianZ", "Float"),
                field("cartesianInvalidState", "Integer", 0, 2), field("colorRed", "Integer", 0, 65535),
                field("colorGreen", "Integer", 0, 65535), field("colorBlue", "Integer", 0, 65535)};
    a.records = 50;
    const double reds[] = {0, 65535, 32768, 257, 128, 32767};
    a.value = [&](std::uint64_t r, std::size_t f) -> double {
        switch (f) {
        case 0: return 1.0 + 0.01 * double(r);
        case 1: return 2.0;
        case 2: return 3.0;
        case 3: return r % 5 == 4 ? double(1 + r % 2) : 0.0;
        case 4: return reds[r % 6];
        case 5: return 65535.0 - reds[r % 6];
        default: return 1000.0;
        }
    };
    a.pose = true;
    const double h = std::sqrt(0.5) * 2.0;
    a.rotation[0] = h;
    a.rotation[3] = h;
    a.translation[0] = 4500000.25;
    a.translation[1] = 500000.5;
    a.translation[2] = 120.0;
    a.colorLimitsXml = "<colorRedMinimum type=\"Integer\"/><colorRedMaximum type=\"Integer\">65535</colorRedMaximum>"
                       "<colorGreenMinimum type=\"Integer\">0</colorGreenMinimum><colorGreenMaximum type=\"Integer\">65535</colorGreenMaximum>"
                       "<colorBlueMinimum type=\"Integer\">0</colorBlueMinimum><colorBlueMaximum type=\"Integer\">2000</colorBlueMaximum>";
    a.streamBytes = 5; // tiny packets: values straddle them
    a.streamSkew = 3;

    // Scan 2: spherical (range in mm as ScaledInteger), colours of 0..4095
    // without colorLimits (the fields' own range), a field in another
    // namespace between them; a pose that only moves it next to the others
    // (float offsets from a far origin would lose the millimetres).
    e57test::FieldDef range = field("sphericalRange", "ScaledInteger", 0, 100000);
    range.scale = 0.001;
    e57test::ScanDef b;
    b.fields = {range, field("sphericalAzimuth", "Float"), field("sphericalElevation", "Float"),
                field("ext:weight", "Integer", -7, 9), field("colorRed", "Integer", 0, 4095),
                field("colorGreen", "Integer", 0, 4095), field("colorBlue", "Integer", 100, 100)};
    b.fields[1].single = true;
    b.records = 30;
    b.value = [](std::uint64_t r, std::size_t f) -> double {
        switch (f) {
        case 0: return 5000.0 + double(r); // 5 m and up
        case 1: return 0.5;
        case 2: return 0.25;
        case 3: return -7.0 + double(r % 17);
        case 4: return r % 2 ? 4095.0 : 2048.0;
        case 5: return 2047.0;
        default: return 100.0; // a range of one value: read as an 8-bit value
        }
    };
    b.pose = true;
    b.translation[0] = 4500003.0;
    b.translation[1] = 500004.0;
    b.translation[2] = 121.0;
    b.streamBytes = 7;
    b.indexPacketLast = true;

    // Scan 3: no colour fields.
    e57test::ScanDef c;
    c.fields = {field("cartesianX", "Integer", -100, 100), field("cartesianY", "Integer", -100, 100),
                field("cartesianZ", "Integer", -100, 100)};
    c.records = 20;
    c.value = [](std::uint64_t r, std::size_t f) { return f == 0 ? double(r % 3) : 1.0; };
    c.pose = true;
    c.translation[0] = 4500001.0;
    c.translation[1] = 500000.0;
    c.translation[2] = 120.0;

    const QString path = write(QStringLiteral("scans.e57"), e57test::writeE57({a, b, c}).bytes);
    const ConversionRun run = runConversion({path});
    ASSERT_EQ(run.results.size(), 1u);
    ASSERT_TRUE(run.results[0].converted) << run.results[0].reason.toStdString();
    EXPECT_NE(run.summary.indexOf(QStringLiteral("10 records marked invalid by the scanner were skipped")), -1)
        << run.summary.toStdString();
    EXPECT_NE(run.summary.indexOf(QStringLiteral("scan 1: its pose rotation was not a unit quaternion")), -1);

    std::vector<Point> expected;
    for (std::uint64_t r = 0; r < a.records; ++r) {
        if (r % 5 == 4)
            continue;
        // 90 degrees about z: (x, y) -> (-y, x).
        const double x = 1.0 + 0.01 * double(r);
        const double red = reds[r % 6];
        const auto scale = [](double v, double hi) { return int(std::floor(v * 255.0 / hi + 0.5)); };
        expected.push_back({4500000.25 - 2.0, 500000.5 + x, 123.0, scale(red, 65535), scale(65535 - red, 65535),
                            scale(1000, 2000)});
    }
    // Hand-computed bytes of the red channel: 0, 255, 32768 -> 127.502 -> 128,
    // 257 -> 1, 128 -> 0.498 -> 0, 32767 -> 127.498 -> 127; blue 1000 of
    // 0..2000 -> 127.5 rounds up to 128.
    EXPECT_EQ(expected[1].red, 255);
    EXPECT_EQ(expected[2].red, 128);
    EXPECT_EQ(expected[3].red, 1);
    EXPECT_EQ(expected[4].red, 127); // record 5; record 4 is invalid
    EXPECT_EQ(expected[0].blue, 128);
    for (std::uint64_t r = 0; r < b.records; ++r) {
        const double rr = 5.0 + 0.001 * double(r), az = double(0.5f), el = 0.25;
        expected.push_back({4500003.0 + rr * std::cos(el) * std::cos(az), 500004.0 + rr * std::cos(el) * std::sin(az),
                            121.0 + rr * std::sin(el),
                            r % 2 ? 255 : 128, 127, 100});
    }
    for (std::uint64_t r = 0; r < c.records; ++r)
        expected.push_back({4500001.0 + double(r % 3), 500001.0, 121.0, 255, 255, 255});

    const Ilas ilas = readIlasFile(ilasOf(path));
    ASSERT_TRUE(ilas.ok);
    EXPECT_EQ(ilas.header.hasColor, 1);
    EXPECT_NEAR(ilas.header.originX, 4500000.25 - 2.0, 1e-9);
    EXPECT_NEAR(ilas.header.originY, 500001.5, 1e-9);
    // All 90 points share one grid cell; every one is kept.
    ASSERT_EQ(ilas.points.size(), expected.size());
    EXPECT_EQ(matchPoints(ilas.points, expected, 0.001, true), expected.size());
}

TEST_F(E57Convert, FaultsFailWithTheirReasonBeforeAnyOutput)
{
    e57test::ScanDef scan;
    scan.fields = {field("cartesianX", "Integer", 0, 1000), field("cartesianY", "Integer", 0, 1000),
                   field("cartesianZ", "Integer", 0, 1000)};
    scan.records = 100;
    scan.value = [](std::uint64_t r, std::size_t) { return double(r % 10); };
    const e57test::Written good = e57test::writeE57({scan, scan});

    e57test::ScanDef noCoordinates = scan;
    noCoordinates.fields[1].name = "intensity";
    // A scale of 0 would put every point at the offset; one that is not a
    // number cannot scale anything.
    e57test::ScanDef zeroScale = scan, nanScale = scan;
    zeroScale.fields[0].type = "ScaledInteger";
    zeroScale.fields[0].scale = 0.0;
    nanScale.fields[2].type = "ScaledInteger";
    nanScale.fields[2].scale = std::nan("");
    std::vector<std::uint8_t> firstWrong = good.bytes, secondWrong = good.bytes;
    firstWrong[good.firstPackets[0] + 4] = 7;
    e57test::fixChecksums(firstWrong);
    secondWrong[good.firstPackets[1] + 4] = 2;
    e57test::fixChecksums(secondWrong);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        QString words;
        std::size_t partialPoints; // kept in NAME.partial.ilas; 0: no output at all
    } cases[] = {
        {"xml.e57",
         e57test::writeE57({scan}, "<e57Root type=\"Structure\" xmlns=\"http://www.astm.org/COMMIT/E57/2010-e57-v1.0\">"
                                   "<data3D type=\"Vector\"><vectorChild type=\"Structure\"></data3D></e57Root>")
             .bytes,
         QStringLiteral("the XML section does not parse"), 0},
        {"root.e57", e57test::writeE57({scan}, "<?xml version=\"1.0\"?><other/>").bytes,
         QStringLiteral("root element is not e57Root"), 0},
        // Every scan's prototype is checked before the first point is stored.
        {"coordinates.e57", e57test::writeE57({scan, noCoordinates}).bytes,
         QStringLiteral("scan 2: its prototype has no coordinates"), 0},
        {"scale0.e57", e57test::writeE57({zeroScale}).bytes,
         QStringLiteral("scan 1: the scale of field cartesianX is 0 or not finite"), 0},
        {"scalenan.e57", e57test::writeE57({scan, nanScale}).bytes,
         QStringLiteral("scan 2: the scale of field cartesianZ is 0 or not finite"), 0},
        {"count1.e57", firstWrong,
         QStringLiteral("scan 1: the data packet at %1 holds 7 streams, its prototype 3 fields").arg(good.firstPackets[0]), 0},
        // Scan 2's packet is met after scan 1's points were stored: they
        // are kept apart, and the file still fails.
        {"count2.e57", secondWrong,
         QStringLiteral("scan 2: the data packet at %1 holds 2 streams, its prototype 3 fields").arg(good.firstPackets[1]),
         100},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = write(QString::fromLatin1(c.name), c.bytes);
        const ConversionRun run = runConversion({path});
        ASSERT_EQ(run.results.size(), 1u);
        EXPECT_FALSE(run.results[0].converted);
        EXPECT_NE(run.results[0].reason.indexOf(c.words), -1) << run.results[0].reason.toStdString();
        EXPECT_FALSE(QFile::exists(ilasOf(path)));
        EXPECT_EQ(QFile::exists(partialOf(path)), c.partialPoints > 0);
        if (c.partialPoints > 0) {
            EXPECT_EQ(readIlasFile(partialOf(path)).points.size(), c.partialPoints);
        }
        EXPECT_EQ(QDir(dir_.path()).entryList({QStringLiteral("*.part")}, QDir::Files).size(), 0);
    }
}

TEST_F(E57Convert, DamagedCopiesFailClearlyAndLeaveEarlierOutputs)
{
    // Cut and byte-flipped copies of real files: every one fails with a
    // reason, nothing is written under NAME.ilas, and an earlier NAME.ilas
    // stays byte for byte as it was.
    struct Copy {
        QString sample;
        std::vector<std::pair<int, int>> damage; // (length kept, -1) or (byte flipped, page)
    } copies[] = {
        {QStringLiteral("made/made-scaled-no-colour.e57"), {{1000, -1}, {300000, -1}, {581631, -1}, {-40, 0}, {5000, 4}, {450000, 439}, {581000, 567}}},
        {QStringLiteral("libe57-test-data/ColourRepresentation.e57"), {{8192, -1}, {100, 0}, {3000, 2}, {8200, 8}}},
        {QStringLiteral("made/made-two-scans-pose-spherical.e57"), {{407551, -1}, {200000, 195}, {407000, 397}}},
    };
    const QByteArray earlier = "an earlier output";
    int n = 0;
    for (const Copy& copy : copies) {
        const QByteArray whole = readAll(sharedTestData(QStringLiteral("e57/") + copy.sample));
        ASSERT_GT(whole.size(), 0);
        for (const auto& d : copy.damage) {
            QByteArray bytes = whole;
            QString words;
            if (d.second < 0) {
                bytes.truncate(d.first);
                words = d.first < 48 ? QStringLiteral("not an E57 file") : QStringLiteral("truncated");
            } else {
                const int at = d.first < 0 ? 48 + d.first : d.first;
                bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
                words = QStringLiteral("checksum mismatch on page %1").arg(d.second);
            }
            const QString path = dir_.filePath(QStringLiteral("damaged%1.e57").arg(n++));
            SCOPED_TRACE(path.toStdString() + " from " + copy.sample.toStdString());
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(bytes);
            out.close();
            QFile previous(ilasOf(path));
            ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
            previous.write(earlier);
            previous.close();
            const ConversionRun run = runConversion({path});
            ASSERT_EQ(run.results.size(), 1u);
            EXPECT_FALSE(run.results[0].converted);
            EXPECT_NE(run.results[0].reason.indexOf(words), -1) << run.results[0].reason.toStdString();
            EXPECT_EQ(readAll(ilasOf(path)), earlier);
            // A break found after points were stored keeps them apart.
            if (QFile::exists(partialOf(path))) {
                EXPECT_EQ(run.results[0].output, QDir::toNativeSeparators(partialOf(path)));
                EXPECT_TRUE(readIlasFile(partialOf(path)).ok);
            }
        }
    }
}

TEST_F(E57Convert, ABreakAfterStoredPointsKeepsThemInThePartialFile)
{
    // 200,000 records in packets of 4,000 bytes per stream: a flipped byte
    // at nine tenths of the file is met batches after the first points were
    // stored.
    e57test::ScanDef scan;
    scan.fields = {field("cartesianX", "Integer", 0, 1000), field("cartesianY", "Integer", 0, 1000),
                   field("cartesianZ", "Integer", 0, 1000)};
    scan.records = 200000;
    scan.value = [](std::uint64_t r, std::size_t f) { return double((r * (f + 1)) % 1000); };
    scan.streamBytes = 4000;
    std::vector<std::uint8_t> bytes = e57test::writeE57({scan}).bytes;
    const std::size_t at = bytes.size() / 10 * 9;
    bytes[at] ^= 1;
    const QString path = write(QStringLiteral("late.e57"), bytes);
    const ConversionRun run = runConversion({path});
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_FALSE(run.results[0].converted);
    EXPECT_NE(run.results[0].reason.indexOf(QStringLiteral("checksum mismatch on page %1").arg(at / 1024)), -1)
        << run.results[0].reason.toStdString();
    EXPECT_FALSE(QFile::exists(ilasOf(path)));
    EXPECT_EQ(run.results[0].output, QDir::toNativeSeparators(partialOf(path)));
    const Ilas partial = readIlasFile(partialOf(path));
    ASSERT_TRUE(partial.ok);
    EXPECT_GE(partial.points.size(), 65536u);
    EXPECT_LT(partial.points.size(), 200000u);
}

TEST_F(E57Convert, CoordinateMetadataGivesTheSystemBesideTheOutput)
{
    e57test::ScanDef scan;
    scan.fields = {field("cartesianX", "Float"), field("cartesianY", "Float"), field("cartesianZ", "Float")};
    scan.records = 20;
    scan.value = [](std::uint64_t r, std::size_t f) -> double { return f == 0 ? double(r) * 0.1 : 5.0; };
    const auto prjOf = [](const QString& input) {
        QString path = ilasOf(input);
        path.chop(5);
        return path + QStringLiteral(".prj");
    };
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    };

    // WKT is kept as it is, surrounding blanks aside.
    const std::string wkt = "LOCAL_CS[\"quarry grid\",UNIT[\"metre\",1]]";
    const QString local = write("local.e57", e57test::writeE57({scan}, std::string(),
        "<coordinateMetadata type=\"String\"><![CDATA[\n  " + wkt + "\n]]></coordinateMetadata>\n").bytes);
    // A code becomes the WKT of the system it names.
    const QString coded = write("coded.e57", e57test::writeE57({scan}, std::string(),
        "<coordinateMetadata type=\"String\">EPSG:32610</coordinateMetadata>\n").bytes);
    // Text that is neither leaves no file, and says so.
    const QString vague = write("vague.e57", e57test::writeE57({scan}, std::string(),
        "<coordinateMetadata type=\"String\">site grid of 2019</coordinateMetadata>\n").bytes);
    const QString none = write("none.e57", e57test::writeE57({scan}).bytes);
    const ConversionRun run = runConversion({local, coded, vague, none});
    ASSERT_EQ(run.results.size(), 4u);
    for (const FileResult& r : run.results)
        EXPECT_TRUE(r.converted) << r.path.toStdString() << ": " << r.reason.toStdString();

    EXPECT_EQ(contents(prjOf(local)).toStdString(), wkt);
    nimbus::crs::WktSummary s;
    ASSERT_TRUE(nimbus::crs::summarizeWkt(contents(prjOf(coded)).toStdString(), s));
    EXPECT_EQ(s.name, "WGS 84 / UTM zone 10N");
    EXPECT_EQ(s.epsg, 32610);
    EXPECT_FALSE(QFile::exists(prjOf(vague)));
    EXPECT_TRUE(run.results[2].reason.contains("\"site grid of 2019\" was not kept")) << run.results[2].reason.toStdString();
    EXPECT_FALSE(QFile::exists(prjOf(none)));
}
