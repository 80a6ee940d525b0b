// Whole jobs through Fresco::start on generated tile sets, the rasters read
// back with GDAL: size, georeferencing, colours at known ground positions,
// levels, overlaps, failures and the one-job-per-process rule.
#include "render_support.h"
#include "tilesetgenerator.h"

#include "../log_redirect.h"
#include "../test_access.h"
#include "errorguard.h"
#include "logfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <osgDB/Registry>

#include <gdal_priv.h>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <thread>

using namespace fresco::testing;

namespace {

const QString kStartGuard = fresco::ErrorGuard::reportText(QStringLiteral("Fresco::start"));

class JobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(out()));
    }
    QString root(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    QString out() const { return dir.path() + QStringLiteral("/out"); }
    // An entry as a host passes it: a file in the set's root folder.
    QString entry(const QString &name) const { return root(name) + QLatin1Char('/') + name + ".osgb"; }
    QTemporaryDir dir;
};

GeneratedTile plainTile(const QString &name, double xmin, double ymin, double xmax, double ymax)
{
    GeneratedTile tile;
    tile.name = name;
    tile.xmin = xmin, tile.ymin = ymin, tile.xmax = xmax, tile.ymax = ymax;
    return tile;
}

// Quadrant centres of a tile.
void expectQuadrants(const Raster &raster, const GeneratedTile &tile, const osg::Vec3d &origin)
{
    const double qx = (tile.xmax - tile.xmin) / 4, qy = (tile.ymax - tile.ymin) / 4;
    for (int k = 0; k < 4; ++k) {
        const double x = tile.xmin + (k % 2 ? 3 : 1) * qx + origin.x();
        const double y = tile.ymin + (k / 2 ? 3 : 1) * qy + origin.y();
        EXPECT_EQ(raster.colourAt(x, y), tile.quadrants[k]) << tile.name.toStdString() << " quadrant " << k;
    }
}

} // namespace

TEST_F(JobTest, RasterHasTheFootprintsSizeOriginAndColours)
{
    const osg::Vec3d origin(501027.5, 2488718.25, 7);
    const GeneratedTile tile = plainTile("Tile_+000_+000", 0, 0, 40, 20);
    ASSERT_TRUE(writeTileSet(root("Site"), {tile}, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Site")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);
    EXPECT_EQ(record.percents, std::vector<float>({0.0f}));

    const Raster raster = readRaster(out() + "/Site.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 80);
    EXPECT_EQ(raster.height, 40);
    EXPECT_EQ(raster.bands, 3);
    EXPECT_DOUBLE_EQ(raster.geoTransform[0], 501027.5);
    EXPECT_DOUBLE_EQ(raster.geoTransform[1], 0.5);
    EXPECT_DOUBLE_EQ(raster.geoTransform[2], 0.0);
    EXPECT_DOUBLE_EQ(raster.geoTransform[3], 2488718.25 + 20);
    EXPECT_DOUBLE_EQ(raster.geoTransform[4], 0.0);
    EXPECT_DOUBLE_EQ(raster.geoTransform[5], -0.5);

    // The finer level is the one drawn: quadrant colours, not the coarse grey.
    expectQuadrants(raster, tile, origin);
    // Quadrant borders within one pixel of their ground position.
    const double x = origin.x(), y = origin.y();
    EXPECT_EQ(raster.colourAt(x + 19.75, y + 5), tile.quadrants[0]);
    EXPECT_EQ(raster.colourAt(x + 20.25, y + 5), tile.quadrants[1]);
    EXPECT_EQ(raster.colourAt(x + 5, y + 9.75), tile.quadrants[0]);
    EXPECT_EQ(raster.colourAt(x + 5, y + 10.25), tile.quadrants[2]);
    // The corners of the raster are the corners of the tile.
    EXPECT_EQ(raster.pixel(0, 0), tile.quadrants[2]);
    EXPECT_EQ(raster.pixel(79, 39), tile.quadrants[1]);
}

TEST_F(JobTest, GridOfFourTilesReportsQuarterStepsAndJoinsSeamlessly)
{
    const osg::Vec3d origin(10, 20, 0);
    const std::vector<GeneratedTile> tiles = tileGrid(2, 2, 10.0);
    ASSERT_TRUE(writeTileSet(root("Grid"), tiles, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Grid")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.percents, std::vector<float>({0.0f, 25.0f, 50.0f, 75.0f}));

    const Raster raster = readRaster(out() + "/Grid.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 40);
    EXPECT_EQ(raster.height, 40);
    for (const GeneratedTile &tile : tiles)
        expectQuadrants(raster, tile, origin);
    // Tiles meet without a gap: no pixel is left black.
    for (int row = 0; row < raster.height; ++row)
        for (int column = 0; column < raster.width; ++column)
            ASSERT_FALSE(raster.pixel(column, row) == Rgb({0, 0, 0})) << column << "," << row;
}

TEST_F(JobTest, ImagineFormatAndWhiteBackground)
{
    const osg::Vec3d origin(1000, 2000, 0);
    // Two tiles with a gap between them that no tile covers.
    const GeneratedTile west = plainTile("Tile_W", 0, 0, 10, 10);
    GeneratedTile east = plainTile("Tile_E", 20, 0, 30, 10);
    east.quadrants = {{{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}}};
    ASSERT_TRUE(writeTileSet(root("Gap"), {west, east}, &origin));

    Fresco job;
    job.setResolution(0.25);
    job.setImageFmt(".img");
    job.setBackground(7);
    const JobRecord record = runJob(job, {entry("Gap")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.percents, std::vector<float>({0.0f, 50.0f}));

    EXPECT_FALSE(QFileInfo::exists(out() + "/Gap.tif"));
    const Raster raster = readRaster(out() + "/Gap.img");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 120);
    EXPECT_EQ(raster.height, 40);
    expectQuadrants(raster, west, origin);
    expectQuadrants(raster, east, origin);
    EXPECT_EQ(raster.colourAt(1015, 2005), Rgb({255, 255, 255}));
}

TEST_F(JobTest, OverlappingTilesShowTheHigherModel)
{
    const osg::Vec3d origin(0, 0, 0);
    const GeneratedTile low = plainTile("Tile_Low", 0, 0, 40, 40);
    GeneratedTile high = plainTile("Tile_High", 20, 0, 60, 40);
    high.zmin = 50, high.zmax = 60;
    high.quadrants = {{{90, 30, 160}, {160, 90, 30}, {30, 160, 90}, {220, 220, 220}}};
    ASSERT_TRUE(writeTileSet(root("Overlap"), {low, high}, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Overlap")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);

    const Raster raster = readRaster(out() + "/Overlap.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 120);
    EXPECT_EQ(raster.height, 80);
    // Whichever tile the folder listing gives first, the overlap shows the
    // model that is on top.
    EXPECT_EQ(raster.colourAt(10, 10), low.quadrants[0]);
    EXPECT_EQ(raster.colourAt(10, 30), low.quadrants[2]);
    EXPECT_EQ(raster.colourAt(30, 10), high.quadrants[0]);
    EXPECT_EQ(raster.colourAt(30, 30), high.quadrants[2]);
    EXPECT_EQ(raster.colourAt(50, 10), high.quadrants[1]);
    EXPECT_EQ(raster.colourAt(50, 30), high.quadrants[3]);
}

TEST_F(JobTest, TileRootMissingIsReportedAndTheRestRendered)
{
    const osg::Vec3d origin(0, 0, 0);
    const GeneratedTile present = plainTile("Tile_Here", 0, 0, 10, 10);
    GeneratedTile absent = plainTile("Tile_Gone", 10, 0, 20, 10);
    absent.writeRoot = false;
    ASSERT_TRUE(writeTileSet(root("Holes"), {present, absent}, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Holes")}, out());
    const QString gone = root("Holes") + "/Data/Tile_Gone/Tile_Gone.osgb";
    EXPECT_EQ(record.errors, QStringList({QStringLiteral("read file failed: ") + gone}));
    EXPECT_EQ(record.finishes, 1);
    EXPECT_EQ(record.percents, std::vector<float>({0.0f, 50.0f}));

    const Raster raster = readRaster(out() + "/Holes.partial.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 20);
    EXPECT_EQ(raster.height, 20);
    expectQuadrants(raster, present, origin);
}

TEST_F(JobTest, DottedTileFolderIsLookedUpByItsBaseName)
{
    // The folder Tile_01.part names the tile Tile_01, whose root file would be
    // Data/Tile_01/Tile_01.osgb: absent, so the tile is reported and skipped.
    const osg::Vec3d origin(0, 0, 0);
    const GeneratedTile dotted = plainTile("Tile_01.part", 0, 0, 10, 10);
    const GeneratedTile plain = plainTile("Tile_02", 10, 0, 20, 10);
    ASSERT_TRUE(writeTileSet(root("Dotted"), {dotted, plain}, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Dotted")}, out());
    EXPECT_EQ(record.errors, QStringList({QStringLiteral("read file failed: ") + root("Dotted")
                                          + "/Data/Tile_01/Tile_01.osgb"}));
    EXPECT_EQ(record.percents, std::vector<float>({0.0f, 50.0f}));
    EXPECT_EQ(record.finishes, 1);
    Raster raster = readRaster(out() + "/Dotted.partial.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 20);
    expectQuadrants(raster, plain, origin);

    // Without an error callback the same job runs silently to its end.
    ASSERT_TRUE(QFile::remove(out() + "/Dotted.partial.tif"));
    Fresco quiet;
    quiet.setResolution(0.5);
    int finishes = 0;
    quiet.setFinishCallback([&finishes]() { ++finishes; });
    quiet.start({entry("Dotted")}, out());
    EXPECT_EQ(finishes, 1);
    raster = readRaster(out() + "/Dotted.partial.tif");
    ASSERT_TRUE(raster.opened);
    expectQuadrants(raster, plain, origin);
}

TEST_F(JobTest, ModelsOfOneSetDoNotShowInTheNextSetsViews)
{
    // Both sets use the same local coordinates, as sets with different
    // origins do. The first set's model lies between the second set's top
    // and its eye, so it would cover the second set's picture if it stayed.
    const osg::Vec3d origin(0, 0, 0);
    GeneratedTile upper = plainTile("Tile_Up", 0, 0, 20, 20);
    upper.zmin = 35, upper.zmax = 45;
    upper.quadrants = {{{90, 30, 160}, {160, 90, 30}, {30, 160, 90}, {220, 220, 220}}};
    const GeneratedTile lower = plainTile("Tile_Down", 0, 0, 20, 20);
    ASSERT_TRUE(writeTileSet(root("Upper"), {upper}, &origin));
    ASSERT_TRUE(writeTileSet(root("Lower"), {lower}, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Upper"), entry("Lower")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);

    const Raster first = readRaster(out() + "/Upper.tif");
    const Raster second = readRaster(out() + "/Lower.tif");
    ASSERT_TRUE(first.opened && second.opened);
    expectQuadrants(first, upper, origin);
    expectQuadrants(second, lower, origin);
}

TEST_F(JobTest, ExceptionFromACallbackLeavesStartAfterTheGuardAndCleansUp)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Throw"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));
    osgDB::FilePathList &paths = osgDB::Registry::instance()->getDataFilePathList();
    const osgDB::FilePathList hostPaths = {"/host/data"};
    paths = hostPaths;

    Fresco job;
    job.setResolution(0.5);
    QStringList errors;
    int finishes = 0;
    job.setErrorLog([&errors](QString text) { errors.append(text); });
    job.setFinishCallback([&finishes]() { ++finishes; });
    job.setPercentCallback([](float) { throw std::runtime_error("host gave up"); });
    const ScopedLogFolder logFolder(dir.path() + "/state");
    const QString logPath = QString::fromStdString(fresco::logFilePath());
    EXPECT_THROW(job.start({entry("Throw")}, out()), std::runtime_error);

    // The viewer was still torn down, step by step, but the job did not end.
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 14);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(lines[i], QStringLiteral("Debug %1").arg(13 + i));
    EXPECT_EQ(errors, QStringList{kStartGuard});
    EXPECT_EQ(finishes, 0);
    EXPECT_EQ(paths, hostPaths);
    EXPECT_FALSE(QFileInfo::exists(out() + "/Throw.tif"));

    // The job slot was given back: the next job runs.
    job.setPercentCallback(nullptr);
    job.start({entry("Throw")}, out());
    EXPECT_EQ(finishes, 1);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(readRaster(out() + "/Throw.tif").opened);
    paths.clear();
}

TEST_F(JobTest, MissingMetadataIsReportedFirstAndTheSetStaysLocal)
{
    const GeneratedTile tile = plainTile("Tile_1", 100, 200, 110, 210);
    ASSERT_TRUE(writeTileSet(root("NoMeta"), {tile}, nullptr));

    // All callbacks in the order they came.
    QStringList events;
    Fresco job;
    job.setResolution(0.5);
    job.setErrorLog([&events](QString text) { events.append(QStringLiteral("error ") + text); });
    job.setPercentCallback(
        [&events](float value) { events.append(QStringLiteral("percent %1").arg(value)); });
    job.setFinishCallback([&events]() { events.append(QStringLiteral("finish")); });
    job.start({entry("NoMeta")}, out());

    const QStringList expected = {
        QStringLiteral("error parse xml file failed:") + root("NoMeta") + "/metadata.xml",
        QStringLiteral("error ")
            + fresco::ErrorGuard::reportText(QStringLiteral("Fresco::getOffsetFromXML")),
        QStringLiteral("percent 0"),
        QStringLiteral("finish"),
    };
    EXPECT_EQ(events, expected);
    const Raster raster = readRaster(out() + "/NoMeta.partial.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_DOUBLE_EQ(raster.geoTransform[0], 100);
    EXPECT_DOUBLE_EQ(raster.geoTransform[3], 210);
    expectQuadrants(raster, tile, osg::Vec3d(0, 0, 0));
}

TEST_F(JobTest, OutputFolderThatCannotBeWrittenFailsBeforeTheFirstTile)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("SetA"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));
    QFile plain(root("plain.txt"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString locked = root("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    std::vector<std::pair<QString, QString>> cases = {
        {dir.path() + "/no_such_folder", "it does not exist"},
        {root("plain.txt"), "it is not a folder"},
    };
    // Permissions do not stop root, and a folder's read-only attribute does
    // not stop Windows from creating files in it.
#ifndef _WIN32
    if (::geteuid() != 0)
        cases.emplace_back(locked, "");
#endif

    for (const auto &c : cases) {
        Fresco job;
        job.setResolution(0.5);
        const JobRecord record = runJob(job, {entry("SetA")}, c.first);
        ASSERT_EQ(record.errors.size(), 2) << c.first.toStdString();
        const QString expected = QStringLiteral("output folder cannot be written: %1 (").arg(c.first);
        EXPECT_TRUE(record.errors[0].startsWith(expected)) << record.errors[0].toStdString();
        EXPECT_TRUE(record.errors[0].endsWith(c.second + ")")) << record.errors[0].toStdString();
        EXPECT_EQ(record.errors[1], kStartGuard);
        EXPECT_TRUE(record.percents.empty());
        EXPECT_EQ(record.finishes, 0);
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(QDir(locked).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(JobTest, StopRequestEndsTheJobAfterTheCurrentTileAndLeavesNoFile)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Stop"), tileGrid(3, 1, 10.0), &origin));

    Fresco job;
    job.setResolution(0.5);
    JobRecord record;
    job.setPercentCallback([&](float value) {
        record.percents.push_back(value);
        // From another thread, as a host's stop button would.
        if (record.percents.size() == 2)
            std::thread([&job] { job.requestStop(); }).join();
    });
    job.setErrorLog([&](QString text) { record.errors.append(text); });
    job.setFinishCallback([&] { ++record.finishes; });
    job.start({entry("Stop")}, out());
    EXPECT_EQ(record.errors, QStringList{QStringLiteral("stopped")});
    EXPECT_EQ(record.percents.size(), 2u);
    EXPECT_EQ(record.finishes, 0);
    EXPECT_TRUE(QDir(out()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // The request ended with that job: the next one runs to its end.
    const JobRecord next = runJob(job, {entry("Stop")}, out());
    EXPECT_TRUE(next.errors.isEmpty()) << next.errors.join('\n').toStdString();
    EXPECT_EQ(next.finishes, 1);
    EXPECT_EQ(QDir(out()).entryList(QDir::Files | QDir::Hidden), QStringList{"Stop.tif"});
}

TEST_F(JobTest, CoordinateSystemOfTheSetIsWrittenOrWarnedAbout)
{
    const osg::Vec3d origin(500000, 2500000, 0);
    ASSERT_TRUE(writeTileSet(root("Named"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));
    ASSERT_TRUE(writeTileSet(root("Local"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));
    QFile metadata(root("Local") + "/metadata.xml");
    ASSERT_TRUE(metadata.open(QIODevice::WriteOnly | QIODevice::Truncate));
    metadata.write("<ModelMetadata><SRS>ENU:31.1,121.2</SRS>"
                   "<SRSOrigin>500000,2500000,0</SRSOrigin></ModelMetadata>");
    metadata.close();

    Fresco job;
    job.setResolution(0.5);
    QStringList warnings;
    job.setWarningLog([&](QString text) { warnings << text; });
    const JobRecord record = runJob(job, {entry("Named"), entry("Local")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);
    EXPECT_EQ(warnings, QStringList{QStringLiteral("coordinate system not understood, rasters "
                                                   "written without one: ENU:31.1,121.2 (%1)")
                                        .arg(root("Local") + "/metadata.xml")});

    const auto projection = [](const QString &path) {
        GDALDataset *dataset =
            static_cast<GDALDataset *>(GDALOpen(path.toLocal8Bit().constData(), GA_ReadOnly));
        const std::string wkt = dataset ? dataset->GetProjectionRef() : "no file";
        if (dataset)
            GDALClose(dataset);
        return wkt;
    };
    EXPECT_NE(projection(out() + "/Named.tif").find("4547"), std::string::npos);
    EXPECT_EQ(projection(out() + "/Local.tif"), "");
}

TEST_F(JobTest, EmptyDataFolderStopsTheJobAfterTheGoodSet)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Good"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));
    ASSERT_TRUE(writeTileSet(root("Empty"), {}, &origin));
    ASSERT_TRUE(writeTileSet(root("Never"), {plainTile("Tile_2", 0, 0, 10, 10)}, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record =
        runJob(job, {entry("Good"), entry("Empty"), entry("Never")}, out());
    EXPECT_EQ(record.errors,
              QStringList({QStringLiteral("did not find any tile in dir: ") + root("Empty") + "/Data",
                           kStartGuard}));
    EXPECT_EQ(record.finishes, 0);
    EXPECT_TRUE(readRaster(out() + "/Good.tif").opened);
    EXPECT_FALSE(QFileInfo::exists(out() + "/Never.tif"));
}

TEST_F(JobTest, EmptyListFinishesAndTearsDownInOrder)
{
    // A log of this test's own, so parallel tests cannot interleave with it.
    const ScopedLogFolder logFolder(dir.path() + "/state");
    const QString logPath = QString::fromStdString(fresco::logFilePath());

    Fresco job;
    const JobRecord first = runJob(job, {}, out());
    const JobRecord second = runJob(job, {}, out());

    for (const JobRecord &record : {first, second}) {
        EXPECT_TRUE(record.errors.isEmpty());
        EXPECT_EQ(record.finishes, 1);
        EXPECT_TRUE(record.percents.empty());
    }
    EXPECT_TRUE(QDir(out()).entryList(QDir::Files).isEmpty());

    // Each job's end and the viewer's tear-down leave their markers in order.
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly | QIODevice::Text)) << logPath.toStdString();
    const QStringList lines = QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 30);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(lines[i], QStringLiteral("Debug %1").arg(12 + i % 15));
}

namespace {

QStringList logLines(const QString &path)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

QStringList debugLines(int first, int last)
{
    QStringList lines;
    for (int step = first; step <= last; ++step)
        lines.append(QStringLiteral("Debug %1").arg(step));
    return lines;
}

} // namespace

TEST_F(JobTest, StepMarkersFollowFinishAndPrecedeTheGuardReport)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Good"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));
    ASSERT_TRUE(writeTileSet(root("Empty"), {}, &origin));

    const ScopedLogFolder logFolder(dir.path() + "/state");
    const QString logPath = QString::fromStdString(fresco::logFilePath());

    // What the log held when each callback came.
    QStringList atFinish;
    std::vector<std::pair<QString, QStringList>> atError;
    Fresco job;
    job.setResolution(0.5);
    job.setFinishCallback([&]() { atFinish = logLines(logPath); });
    job.setErrorLog([&](QString text) { atError.emplace_back(text, logLines(logPath)); });

    job.start({entry("Good")}, out());
    EXPECT_TRUE(atError.empty());
    EXPECT_TRUE(atFinish.isEmpty());
    EXPECT_EQ(logLines(logPath), debugLines(12, 26));

    // A set without tiles: its message, then the viewer's tear-down, then
    // the guard's report; no finish and no "Debug 12".
    atFinish = QStringList{QStringLiteral("untouched")};
    job.start({entry("Empty")}, out());
    const QStringList normalEnd = debugLines(12, 26);
    ASSERT_EQ(atError.size(), 2u);
    EXPECT_EQ(atError[0].first,
              QStringLiteral("did not find any tile in dir: ") + root("Empty") + "/Data");
    EXPECT_EQ(atError[0].second, normalEnd);
    EXPECT_EQ(atError[1].first, kStartGuard);
    EXPECT_EQ(atError[1].second, normalEnd + debugLines(13, 26));
    EXPECT_EQ(atFinish, QStringList{QStringLiteral("untouched")});
    EXPECT_EQ(logLines(logPath), normalEnd + debugLines(13, 26));
}

TEST_F(JobTest, FootprintSeveralTimesTheSurfaceIsComplete)
{
    // 40 x 40 units at 0.01: a 4002 x 4002 picture, over three times the
    // off-screen surface (the screen) in each direction.
    const osg::Vec3d origin(100, 200, 0);
    const GeneratedTile tile = plainTile("Tile_Big", 0, 0, 40, 40);
    ASSERT_TRUE(writeTileSet(root("Big"), {tile}, &origin));

    Fresco job;
    job.setResolution(0.01);
    const JobRecord record = runJob(job, {entry("Big")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);

    const Raster raster = readRaster(out() + "/Big.tif");
    ASSERT_TRUE(raster.opened);
    ASSERT_EQ(raster.width, 4000);
    ASSERT_EQ(raster.height, 4000);
    // Every pixel is the colour of its quadrant: no part missing, no seam.
    std::size_t wrong = 0;
    for (int row = 0; row < raster.height; ++row) {
        for (int column = 0; column < raster.width; ++column) {
            const int k = (row < 2000 ? 2 : 0) + (column < 2000 ? 0 : 1);
            wrong += !(raster.pixel(column, row) == tile.quadrants[k]);
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST_F(JobTest, TilesBelowZeroRenderTheirColours)
{
    const osg::Vec3d origin(0, 0, 0);
    std::vector<GeneratedTile> tiles = tileGrid(3, 1, 20.0);
    const double heights[3][2] = {{-100, -50}, {-80, 20}, {10, 30}};
    for (int i = 0; i < 3; ++i)
        tiles[i].zmin = heights[i][0], tiles[i].zmax = heights[i][1];
    ASSERT_TRUE(writeTileSet(root("Low"), tiles, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Low")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    // 100 * j/n with j/n divided in single precision: 1/3 gives 33.3333359,
    // not the 33.3333321 of a division in double precision.
    EXPECT_EQ(record.percents, std::vector<float>({0.0f, 33.3333359f, 66.6666718f}));
    const Raster raster = readRaster(out() + "/Low.tif");
    ASSERT_TRUE(raster.opened);
    for (const GeneratedTile &tile : tiles)
        expectQuadrants(raster, tile, origin);
}

TEST_F(JobTest, TransformAboveTheTileRootMovesItsFootprintAndHeights)
{
    // A transform above each root moves the first tile 500 units down, the
    // second 500 up (above where its untransformed heights would put the
    // eye), and the third, modelled over 0..20 x 0..20, 60 east and 10 north.
    const osg::Vec3d origin(1000, 2000, 0);
    std::vector<GeneratedTile> tiles = tileGrid(3, 1, 20.0);
    GeneratedTile &sunk = tiles[0];
    GeneratedTile &raised = tiles[1];
    GeneratedTile &moved = tiles[2];
    sunk.rootShift = osg::Vec3d(0, 0, -500);
    raised.rootShift = osg::Vec3d(0, 0, 500);
    moved.xmin = 0, moved.xmax = 20;
    moved.rootShift = osg::Vec3d(60, 10, 0);
    ASSERT_TRUE(writeTileSet(root("Moved"), tiles, &origin));

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {entry("Moved")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);

    // The union of the moved footprints: 0..80 x 0..30.
    const Raster raster = readRaster(out() + "/Moved.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 160);
    EXPECT_EQ(raster.height, 60);
    EXPECT_DOUBLE_EQ(raster.geoTransform[0], 1000);
    EXPECT_DOUBLE_EQ(raster.geoTransform[3], 2030);

    expectQuadrants(raster, sunk, origin);
    expectQuadrants(raster, raised, origin);
    GeneratedTile placed = moved;
    placed.xmin += 60, placed.xmax += 60, placed.ymin += 10, placed.ymax += 10;
    expectQuadrants(raster, placed, origin);
    // Quadrant borders of the moved tile within one pixel.
    EXPECT_EQ(raster.colourAt(1000 + 69.75, 2000 + 15), moved.quadrants[0]);
    EXPECT_EQ(raster.colourAt(1000 + 70.25, 2000 + 15), moved.quadrants[1]);
    // Beside and below the moved footprint, and above the others, nothing.
    EXPECT_EQ(raster.colourAt(1000 + 50, 2000 + 15), Rgb{});
    EXPECT_EQ(raster.colourAt(1000 + 70, 2000 + 5), Rgb{});
    EXPECT_EQ(raster.colourAt(1000 + 10, 2000 + 25), Rgb{});
}

TEST_F(JobTest, TileBeyondThePictureLimitIsReportedAndLeftOut)
{
    // 1000 x 1000 units at 0.05: a 20000 x 20000 picture, beyond 2^28 pixels.
    const osg::Vec3d origin(0, 0, 0);
    const GeneratedTile small = plainTile("Tile_Small", 0, 0, 10, 10);
    const GeneratedTile huge = plainTile("Tile_Huge", 10, 0, 1010, 1000);
    ASSERT_TRUE(writeTileSet(root("Cap"), {small, huge}, &origin));

    Fresco job;
    job.setResolution(0.05);
    const JobRecord record = runJob(job, {entry("Cap")}, out());
    EXPECT_EQ(record.errors,
              QStringList({QStringLiteral("render failed of: ") + root("Cap")
                           + "/Data/Tile_Huge/Tile_Huge.osgb (its picture of 20000 x 20000 "
                             "pixels exceeds the limit of 268435456 pixels; use a coarser "
                             "resolution)"}));
    EXPECT_EQ(record.finishes, 1);

    // The raster holds the tile that was rendered, not the refused one's area.
    const Raster raster = readRaster(out() + "/Cap.partial.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 200);
    EXPECT_EQ(raster.height, 200);
    expectQuadrants(raster, small, origin);
}

TEST_F(JobTest, MissingAndUnreadableLevelsFallBackWithoutErrors)
{
    const osg::Vec3d origin(0, 0, 0);
    GeneratedTile missing = plainTile("Tile_M", 0, 0, 10, 10);
    missing.finer = GeneratedTile::FinerLevel::Missing;
    GeneratedTile broken = plainTile("Tile_U", 10, 0, 20, 10);
    broken.finer = GeneratedTile::FinerLevel::Unreadable;
    broken.coarse = Rgb{90, 90, 90};
    GeneratedTile cut = plainTile("Tile_C", 20, 0, 30, 10);
    cut.finerNamesMissingChild = true;
    ASSERT_TRUE(writeTileSet(root("Partial"), {missing, broken, cut}, &origin));

    Fresco job;
    job.setResolution(0.25);
    const JobRecord record = runJob(job, {entry("Partial")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);
    const Raster raster = readRaster(out() + "/Partial.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.colourAt(5, 5), missing.coarse);
    EXPECT_EQ(raster.colourAt(15, 5), broken.coarse);
    expectQuadrants(raster, cut, origin);
}

TEST_F(JobTest, SecondStartWhileOneRunsFailsWithoutHarm)
{
    const osg::Vec3d origin(0, 0, 0);
    const GeneratedTile tile = plainTile("Tile_1", 0, 0, 10, 10);
    ASSERT_TRUE(writeTileSet(root("First"), {tile}, &origin));
    ASSERT_TRUE(writeTileSet(root("Second"), {tile}, &origin));

    Fresco first;
    first.setResolution(0.5);
    JobRecord inner;
    bool nested = false;
    first.setPercentCallback([&](float) {
        if (nested)
            return;
        nested = true;
        Fresco second;
        inner = runJob(second, {entry("Second")}, out());
    });
    QStringList errors;
    int finishes = 0;
    first.setErrorLog([&](QString text) { errors.append(text); });
    first.setFinishCallback([&]() { ++finishes; });
    first.start({entry("First")}, out());

    ASSERT_TRUE(nested);
    EXPECT_EQ(inner.errors,
              QStringList({QStringLiteral("another job is running in this process."), kStartGuard}));
    EXPECT_EQ(inner.finishes, 0);
    EXPECT_FALSE(QFileInfo::exists(out() + "/Second.tif"));

    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(finishes, 1);
    const Raster raster = readRaster(out() + "/First.tif");
    ASSERT_TRUE(raster.opened);
    expectQuadrants(raster, tile, origin);

    // Once the first job is over, the next one runs.
    const JobRecord after = runJob(first, {entry("Second")}, out());
    EXPECT_TRUE(after.errors.isEmpty());
    EXPECT_TRUE(readRaster(out() + "/Second.tif").opened);
}

// Windows has no display to name; fresco-render's test there makes a run
// without one.
#ifndef _WIN32
TEST_F(JobTest, NoGraphicsContextReportsInitFailedAndReturns)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Dark"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));

    // A display that does not exist: no context can be created.
    const QByteArray saved = qgetenv("DISPLAY");
    const bool hadDisplay = qEnvironmentVariableIsSet("DISPLAY");
    qputenv("DISPLAY", ":9876");
    Fresco job;
    const JobRecord record = runJob(job, {entry("Dark")}, out());
    if (hadDisplay)
        qputenv("DISPLAY", saved);
    else
        qunsetenv("DISPLAY");

    EXPECT_EQ(record.errors, QStringList({QStringLiteral("init failed."), kStartGuard}));
    EXPECT_EQ(record.finishes, 0);
    EXPECT_TRUE(record.percents.empty());
    EXPECT_FALSE(QFileInfo::exists(out() + "/Dark.tif"));
}
#endif

TEST_F(JobTest, ResolutionThatIsNotPositiveIsRefused)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Res"), {plainTile("Tile_1", 0, 0, 10, 10)}, &origin));
    for (double resolution : {0.0, -0.5}) {
        Fresco job;
        job.setResolution(resolution);
        const JobRecord record = runJob(job, {entry("Res")}, out());
        ASSERT_EQ(record.errors.size(), 2);
        EXPECT_TRUE(record.errors[0].startsWith(QStringLiteral("invalid resolution: ")));
        EXPECT_EQ(record.errors[1], kStartGuard);
        EXPECT_EQ(record.finishes, 0);
    }
    EXPECT_FALSE(QFileInfo::exists(out() + "/Res.tif"));
}

TEST_F(JobTest, RealProductionSetRendersFromItsDeepestLevels)
{
    const QString set = repoRoot() + QStringLiteral("/../shared/testdata/osgb/Production_5");
    if (!QFileInfo::exists(set + "/metadata.xml"))
        GTEST_SKIP() << "shared test data not present";

    Fresco job;
    job.setResolution(0.5);
    const JobRecord record = runJob(job, {set + "/metadata.xml"}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);
    EXPECT_EQ(record.percents, std::vector<float>({0.0f, 50.0f}));

    // Two tiles of 100 x 100 units, one above the other.
    const Raster raster = readRaster(out() + "/metadata.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_NEAR(raster.width, 200, 2);
    EXPECT_NEAR(raster.height, 400, 4);
    EXPECT_NEAR(raster.geoTransform[0], 501027.524, 1.0);
    EXPECT_NEAR(raster.geoTransform[3], 2488718.808 + 1400, 2.0);
    std::size_t coloured = 0;
    std::set<int> greys;
    for (int row = 0; row < raster.height; ++row)
        for (int column = 0; column < raster.width; ++column) {
            const Rgb c = raster.pixel(column, row);
            coloured += (c.r | c.g | c.b) != 0;
            greys.insert((c.r + c.g + c.b) / 3);
        }
    EXPECT_GT(static_cast<double>(coloured) / (raster.width * raster.height), 0.9);
    // A photograph, not a flat fill.
    EXPECT_GT(greys.size(), 100u);
}

#ifdef _WIN32
// A CAD host's .exe lives elsewhere than libfresco.dll and the scene graph's
// plug-ins shipped beside it: a job adds the library's folder to the search.
TEST_F(JobTest, PluginSearchTakesTheLibrarysFolder)
{
    const HMODULE library = GetModuleHandleW(L"libfresco.dll");
    ASSERT_NE(library, nullptr);
    wchar_t name[MAX_PATH];
    const DWORD length = GetModuleFileNameW(library, name, MAX_PATH);
    ASSERT_GT(length, 0u);
    const QString file = QString::fromWCharArray(name, static_cast<int>(length));
    const std::string folder =
        QDir::toNativeSeparators(QFileInfo(file).absolutePath()).toLocal8Bit().toStdString();
    osgDB::FilePathList &paths = osgDB::Registry::instance()->getLibraryFilePathList();
    paths.erase(std::remove(paths.begin(), paths.end(), folder), paths.end());

    Fresco job;
    runJob(job, {}, out());
    runJob(job, {}, out());
    EXPECT_EQ(std::count(paths.begin(), paths.end(), folder), 1);
}
#endif
