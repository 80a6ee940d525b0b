// LAS and LAZ files through the whole converter: a LAZ file gives the same
// ilas bytes as its uncompressed twin, colours are reduced to bytes channel
// by channel, and bad files fail with a reason.

#include "../../tests/conversionrun.h"
#include "qtnativepath.h"
#include "bytes.h"
#include "ilascheck.h"
#include "ilasformat.h"
#include "ilasreader.h"
#include "lastestfiles.h"
#include "wktsummary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

using lastest::sample;

namespace {

struct IlasPoint {
    double x, y, z;
    std::uint8_t red, green, blue;
};

// Reads an ilas file through the ilas reader library; false unless it is
// complete and keeps every rule of the format.
bool readIlasPoints(const QString& path, nimbus::IlasHeader& header, std::vector<IlasPoint>& points)
{
    nimbus::ilas::IlasReader reader;
    if (!reader.open(quillfen::libraryPath(path)) || nimbus::ilas::checkFile(reader).found())
        return false;
    header = reader.header();
    for (std::size_t b = 0; b < reader.blocks().size(); ++b) {
        const nimbus::ilas::BlockView block = reader.block(b);
        for (std::int32_t k = 0; k < block.count(); ++k) {
            const nimbus::ilas::AbsoluteXyz a = reader.absolute(block.point(k));
            IlasPoint q{a.x, a.y, a.z, 0, 0, 0};
            if (block.hasColour()) {
                const nimbus::ilas::StoredColour c = block.colour(k);
                q.red = c.red;
                q.green = c.green;
                q.blue = c.blue;
            }
            points.push_back(q);
        }
    }
    return true;
}

// A small LAS 1.2 file of point format 2 (with colour): point i lies at
// x = 1000 + i * xScale and carries colours[i].
QByteArray makeColouredLas(const std::vector<std::array<std::uint16_t, 3>>& colours, double xScale = 0.01)
{
    std::vector<std::uint8_t> bytes(227 + 26 * colours.size(), 0);
    std::uint8_t* b = bytes.data();
    std::memcpy(b, "LASF", 4);
    b[24] = 1;
    b[25] = 2;
    nimbus::las::storeU16(b + 94, 227);
    nimbus::las::storeU32(b + 96, 227);
    b[104] = 2;
    nimbus::las::storeU16(b + 105, 26);
    nimbus::las::storeU32(b + 107, static_cast<std::uint32_t>(colours.size()));
    const double scale = 0.01, offsets[3] = {1000.0, 2000.0, 30.0};
    for (int a = 0; a < 3; ++a) {
        std::uint64_t bits;
        std::memcpy(&bits, a == 0 ? &xScale : &scale, 8);
        nimbus::las::storeU64(b + 131 + 8 * a, bits);
        std::memcpy(&bits, &offsets[a], 8);
        nimbus::las::storeU64(b + 155 + 8 * a, bits);
    }
    for (std::size_t i = 0; i < colours.size(); ++i) {
        std::uint8_t* r = b + 227 + 26 * i;
        nimbus::las::storeU32(r, static_cast<std::uint32_t>(i));
        nimbus::las::storeU32(r + 4, 5);
        nimbus::las::storeU32(r + 8, 7);
        for (int c = 0; c < 3; ++c)
            nimbus::las::storeU16(r + 20 + 2 * c, colours[i][static_cast<std::size_t>(c)]);
    }
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

class LasConvert : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString place(const char* sampleFile, const QString& name)
    {
        const QString path = dir_.filePath(name);
        QFile::copy(QString::fromStdString(sample(sampleFile)), path);
        // The samples are read-only, and Windows deletes no read-only file.
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }
    QString ilasOf(const QString& input) const
    {
        const QFileInfo info(input);
        return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".ilas");
    }

    QTemporaryDir dir_;
};

} // namespace

TEST_F(LasConvert, LazGivesTheIlasBytesOfItsUncompressedTwin)
{
    const std::pair<const char*, const char*> twins[] = {
        {"testdata/las/laspy/simple.laz", "testdata/las/laspy/simple.las"},
        {"testdata/las/laz-rs/point10.laz", "testdata/las/laz-rs/point10.las"},
        {"testdata/las/laspy/1_4_w_evlr.laz", "testdata/las/laspy/1_4_w_evlr.las"},
        {"testdata/las/laz-perf/autzen_trim.laz", "testdata/las/laz-perf/autzen_trim.las"},
    };
    int n = 0;
    for (const auto& twin : twins) {
        SCOPED_TRACE(twin.first);
        const QString laz = place(twin.first, QStringLiteral("c%1.laz").arg(n));
        const QString las = place(twin.second, QStringLiteral("u%1.las").arg(n));
        ++n;
        const ConversionRun run = runConversion({laz, las});
        // Sparse clouds may lose every point to the splitter; the dense ones
        // must give blocks so the comparison means something.
        const bool dense = std::string(twin.first).find("simple") == std::string::npos &&
                           std::string(twin.first).find("point10") == std::string::npos;
        ASSERT_EQ(run.results.size(), 2u);
        EXPECT_TRUE(run.results[0].converted) << run.results[0].reason.toStdString();
        EXPECT_TRUE(run.results[1].converted) << run.results[1].reason.toStdString();
        QByteArray a = lastest::readBytes(ilasOf(laz).toStdString());
        QByteArray b = lastest::readBytes(ilasOf(las).toStdString());
        ASSERT_GE(a.size(), 216);
        if (dense) {
            EXPECT_GT(a.size(), 216 + 40);
        }
        ASSERT_EQ(a.size(), b.size());
        // Everything but the creation time must agree.
        a.replace(146, 63, QByteArray(63, '\0'));
        b.replace(146, 63, QByteArray(63, '\0'));
        EXPECT_TRUE(a == b);

        nimbus::IlasHeader header;
        std::vector<IlasPoint> points;
        ASSERT_TRUE(readIlasPoints(ilasOf(laz), header, points));
        nimbus::las::LasReader reader;
        ASSERT_TRUE(reader.open(sample(twin.first)));
        EXPECT_EQ(header.hasColor, reader.header().hasRgb() ? 1 : 0);
        // The header offsets are the origin unless the first point lies
        // 2^24 or more units from them; then the first point is.
        nimbus::las::LasPoint first{};
        ASSERT_EQ(reader.readPoints(&first, 1), 1u);
        const nimbus::las::LasHeader& h = reader.header();
        const bool far = std::llabs(first.x) >= (1 << 24) || std::llabs(first.y) >= (1 << 24)
            || std::llabs(first.z) >= (1 << 24);
        EXPECT_EQ(header.originX, far ? first.x * h.scale[0] + h.offset[0] : h.offset[0]);
        EXPECT_EQ(header.originY, far ? first.y * h.scale[1] + h.offset[1] : h.offset[1]);
        EXPECT_EQ(header.originZ, far ? first.z * h.scale[2] + h.offset[2] : h.offset[2]);
        EXPECT_LE(static_cast<std::uint64_t>(header.pointCount), reader.header().pointCount());
        EXPECT_EQ(points.size(), static_cast<std::size_t>(header.pointCount));
    }
}

TEST_F(LasConvert, ColourChannelsBecomeBytesOneByOne)
{
    // 8-bit values stay, 16-bit values keep their high byte, mixed points
    // are converted channel by channel; 256 is the first value shifted.
    std::vector<std::array<std::uint16_t, 3>> colours = {
        {0, 128, 255}, {256, 65535, 4660}, {255, 256, 65280}, {17, 1000, 9},
    };
    while (colours.size() < 16)
        colours.push_back({10, 20, 30});
    const QString path = dir_.filePath("colours.las");
    lastest::writeBytes(path.toStdString(), makeColouredLas(colours));
    const ConversionRun run = runConversion({path});
    ASSERT_EQ(run.results.size(), 1u);
    ASSERT_TRUE(run.results[0].converted) << run.results[0].reason.toStdString();

    nimbus::IlasHeader header;
    std::vector<IlasPoint> points;
    ASSERT_TRUE(readIlasPoints(ilasOf(path), header, points));
    EXPECT_EQ(header.hasColor, 1);
    EXPECT_EQ(header.originX, 1000.0);
    ASSERT_EQ(points.size(), colours.size());
    std::map<long, IlasPoint> byIndex;
    for (const IlasPoint& p : points)
        byIndex[std::lround((p.x - 1000.0) * 100.0)] = p;
    const std::uint8_t expected[4][3] = {{0, 128, 255}, {1, 255, 0x12}, {255, 1, 255}, {17, 3, 9}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(byIndex.count(i), 1u);
        const IlasPoint& p = byIndex[i];
        EXPECT_EQ(p.red, expected[i][0]);
        EXPECT_EQ(p.green, expected[i][1]);
        EXPECT_EQ(p.blue, expected[i][2]);
        EXPECT_NEAR(p.y, 2000.05, 1e-9);
        EXPECT_NEAR(p.z, 30.07, 1e-9);
    }
}

TEST_F(LasConvert, NotLasFailsAtTheStartWithoutOutput)
{
    const QString path = dir_.filePath("x.las");
    lastest::writeBytes(path.toStdString(), "100.5,200.5,50.0\n");
    const QString good = place("testdata/las/laz-rs/point10.laz", QStringLiteral("next.laz"));
    const ConversionRun run = runConversion({path, good});
    ASSERT_EQ(run.results.size(), 2u);
    EXPECT_FALSE(run.results[0].converted);
    EXPECT_NE(run.results[0].reason.indexOf(QStringLiteral("not a LAS file")), -1)
        << run.results[0].reason.toStdString();
    EXPECT_FALSE(QFile::exists(ilasOf(path)));
    EXPECT_TRUE(run.results[1].converted);
    EXPECT_EQ(run.finishCount, 1);
}

TEST_F(LasConvert, UnusableScaleFailsAtTheStartWithoutOutput)
{
    // Scale NaN would store no point at all, scale 0 all of them on the origin.
    const std::vector<std::array<std::uint16_t, 3>> colours(50, {{1, 2, 3}});
    const QString nanPath = dir_.filePath("nan.las");
    lastest::writeBytes(nanPath.toStdString(), makeColouredLas(colours, std::nan("")));
    const QString zeroPath = dir_.filePath("zero.las");
    lastest::writeBytes(zeroPath.toStdString(), makeColouredLas(colours, 0.0));

    const ConversionRun run = runConversion({nanPath, zeroPath});
    ASSERT_EQ(run.results.size(), 2u);
    const char* reasons[2] = {"X scale factor is not a number", "X scale factor is 0"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(run.results[i].converted);
        EXPECT_NE(run.results[i].reason.indexOf(QLatin1String(reasons[i])), -1)
            << run.results[i].reason.toStdString();
    }
    EXPECT_FALSE(QFile::exists(ilasOf(nanPath)));
    EXPECT_FALSE(QFile::exists(ilasOf(zeroPath)));
}

TEST_F(LasConvert, TruncatedFileKeepsItsPointsButFails)
{
    // The first 100,000 of autzen_trim.laz's 110,000 points lie in its first
    // two chunks; cut the file inside the third chunk.
    const QByteArray whole = lastest::readBytes(sample("testdata/las/laz-perf/autzen_trim.laz"));
    const QString path = dir_.filePath("cut.laz");
    lastest::writeBytes(path.toStdString(), whole.left(560000));
    const ConversionRun run = runConversion({path});
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_FALSE(run.results[0].converted);
    EXPECT_FALSE(run.results[0].reason.isEmpty());
    nimbus::IlasHeader header;
    std::vector<IlasPoint> points;
    // The points before the break are kept apart from any complete output.
    EXPECT_FALSE(QFile::exists(ilasOf(path)));
    QString partial = ilasOf(path);
    partial.replace(QLatin1String(".ilas"), QLatin1String(".partial.ilas"));
    EXPECT_EQ(run.results[0].output, QDir::toNativeSeparators(partial));
    ASSERT_TRUE(readIlasPoints(partial, header, points));
    EXPECT_EQ(std::memcmp(header.magic, "Quillfen-ilas-v2.1", 19), 0);
    EXPECT_GT(header.pointCount, 50000);
    EXPECT_LT(header.pointCount, 110000);
    EXPECT_EQ(points.size(), static_cast<std::size_t>(header.pointCount));
}

TEST_F(LasConvert, OriginKeepsTheFilesResolution)
{
    // autzen_trim: offsets 0, points near 636,000 E / 849,000 N at 0.01 m.
    // Relative to the offsets a float spaces such values 6 cm apart; the
    // first point as origin keeps every stored point on the file's grid.
    const QString far = place("testdata/las/laz-perf/autzen_trim.las", "far.las");
    // vegetation_1_3: offsets near the points; the offsets stay the origin
    // and each stored coordinate is (X * scale + offset) - offset as before.
    const QString near = place("testdata/las/laspy/vegetation_1_3.las", "near.las");
    const ConversionRun run = runConversion({far, near});
    ASSERT_EQ(run.results.size(), 2u);

    for (const QString& input : {far, near}) {
        SCOPED_TRACE(input.toStdString());
        nimbus::las::LasReader reader;
        ASSERT_TRUE(reader.open(input.toStdString()));
        const nimbus::las::LasHeader& h = reader.header();
        std::vector<nimbus::las::LasPoint> las(h.pointCount());
        ASSERT_EQ(reader.readPoints(las.data(), las.size()), las.size());
        nimbus::IlasHeader header;
        std::vector<IlasPoint> points;
        ASSERT_TRUE(readIlasPoints(ilasOf(input), header, points));
        ASSERT_GT(points.size(), las.size() / 2);

        const auto world = [&](const nimbus::las::LasPoint& p, int axis) {
            const std::int32_t v = axis == 0 ? p.x : axis == 1 ? p.y : p.z;
            return v * h.scale[axis] + h.offset[axis];
        };
        std::vector<std::array<double, 3>> expected, stored;
        for (const nimbus::las::LasPoint& p : las) {
            std::array<double, 3> q;
            for (int a = 0; a < 3; ++a) {
                const double origin = input == far ? world(las[0], a) : h.offset[a];
                q[a] = origin + static_cast<float>(world(p, a) - origin);
            }
            expected.push_back(q);
        }
        for (const IlasPoint& p : points)
            stored.push_back({p.x, p.y, p.z});
        std::sort(expected.begin(), expected.end());
        std::sort(stored.begin(), stored.end());
        EXPECT_TRUE(std::includes(expected.begin(), expected.end(), stored.begin(), stored.end()));
        if (input == far) {
            EXPECT_EQ(header.originX, world(las[0], 0));
            EXPECT_EQ(header.originY, world(las[0], 1));
            EXPECT_EQ(header.originZ, world(las[0], 2));
            // Every stored point lies on the file's 1 cm grid.
            double worst = 0.0;
            for (const auto& p : stored)
                for (int a = 0; a < 3; ++a)
                    worst = std::max(worst, std::fabs(p[a] / h.scale[a] - std::round(p[a] / h.scale[a])) * h.scale[a]);
            EXPECT_LT(worst, 0.001);
        } else {
            EXPECT_EQ(header.originX, h.offset[0]);
            EXPECT_EQ(header.originY, h.offset[1]);
            EXPECT_EQ(header.originZ, h.offset[2]);
        }
    }
}

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString prjOf(const QString& ilasPath)
{
    QString path = ilasPath;
    path.chop(5);
    return path + QStringLiteral(".prj");
}

} // namespace

TEST_F(LasConvert, CoordinateSystemGoesBesideTheOutput)
{
    // GeoTIFF keys naming NAD83 / UTM 10N by code.
    const QString utm = place("testdata/las/pdal/autzen-utm.las", "site.las");
    ASSERT_TRUE(runConversion({utm}).results.at(0).converted);
    nimbus::crs::WktSummary s;
    ASSERT_TRUE(nimbus::crs::summarizeWkt(fileBytes(prjOf(ilasOf(utm))).toStdString(), s));
    EXPECT_EQ(s.name, "NAD83 / UTM zone 10N");
    EXPECT_EQ(s.epsg, 26910);

    // The same name again from a file declaring nothing: the old system
    // would now describe other points, so it goes with the old ilas file.
    QFile::remove(utm);
    const QString plain = place("testdata/las/laz-rs/point10.las", "site.las");
    ASSERT_TRUE(runConversion({plain}).results.at(0).converted);
    EXPECT_TRUE(QFile::exists(ilasOf(plain)));
    EXPECT_FALSE(QFile::exists(prjOf(ilasOf(plain))));

    // A WKT record (LAS 1.4, flagged as the system) is kept byte for byte.
    const QString bmx = place("testdata/las/pdal/autzen-bmx-2010.las", "bmx.las");
    ASSERT_TRUE(runConversion({bmx}).results.at(0).converted);
    const QByteArray whole = fileBytes(bmx);
    const int headerSize = static_cast<unsigned char>(whole[94]) | static_cast<unsigned char>(whole[95]) << 8;
    EXPECT_EQ(fileBytes(prjOf(ilasOf(bmx))), whole.mid(headerSize + 54, 841));

    // A failed run leaves the earlier output's system with it.
    lastest::writeBytes(bmx.toStdString(), QByteArray("LASF broken"));
    EXPECT_FALSE(runConversion({bmx}).results.at(0).converted);
    EXPECT_EQ(fileBytes(prjOf(ilasOf(bmx))), whole.mid(headerSize + 54, 841));

    // The points of a file that breaks off keep its system beside them.
    const QByteArray trim = lastest::readBytes(sample("testdata/las/laz-perf/autzen_trim.laz"));
    const QString cut = dir_.filePath("cut.laz");
    lastest::writeBytes(cut.toStdString(), trim.left(560000));
    const ConversionRun run = runConversion({cut});
    ASSERT_TRUE(run.results.at(0).output.endsWith(QLatin1String(".partial.ilas")));
    EXPECT_TRUE(nimbus::crs::summarizeWkt(fileBytes(prjOf(run.results.at(0).output)).toStdString(), s));
    EXPECT_FALSE(QFile::exists(prjOf(ilasOf(cut))));
}

TEST_F(LasConvert, ProgressMovesWhileReadingAndNeverGoesBack)
{
    // 110,000 points, two read batches: reading alone must move the share
    // (the splitter's single buffer reaches the writer only at the end).
    const QString laz = place("testdata/las/laz-perf/autzen_trim.laz", QStringLiteral("p.laz"));
    const QString las = place("testdata/las/laz-perf/autzen_trim.las", QStringLiteral("q.las"));
    const ConversionRun run = runConversion({laz, las});
    ASSERT_EQ(run.results.size(), 2u);
    ASSERT_TRUE(run.results[0].converted && run.results[1].converted);
    // Each file: -1, then rising from 0 to 100; the run ends with 100.
    std::vector<std::vector<double>> files;
    for (double v : run.percents) {
        if (v < 0)
            files.emplace_back();
        else if (!files.empty())
            files.back().push_back(v);
    }
    ASSERT_EQ(files.size(), 2u) << ::testing::PrintToString(run.percents);
    for (const std::vector<double>& file : files) {
        SCOPED_TRACE(::testing::PrintToString(file));
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(file.front(), 0.0);
        EXPECT_EQ(file.back(), 100.0);
        EXPECT_TRUE(std::is_sorted(file.begin(), file.end()));
    }
    // 65,536 of 110,000 points read is 53.6 % of the reading share of 90 %,
    // shown by the reader's thread before any block is written.
    int reading = 0;
    for (double v : run.driverPercents)
        reading += v > 0.0 && v < 90.0 ? 1 : 0;
    EXPECT_GE(reading, 2) << ::testing::PrintToString(run.driverPercents);
    EXPECT_EQ(std::count(run.driverPercents.begin(), run.driverPercents.end(), 53.6), 2)
        << ::testing::PrintToString(run.driverPercents);
}
