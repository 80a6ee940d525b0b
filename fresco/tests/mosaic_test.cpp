// Rasters written by Fresco::combiImages, read back through GDAL.
#include "raster_reader.h"
#include "test_access.h"

#include "errorguard.h"
#include "mosaic.h"
#include "rasterfile.h"
#include "setreference.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ogr_spatialref.h>
#include <ogr_srs_api.h>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <atomic>
#include <csignal>

namespace {

using Pictures = std::map<int, osg::ref_ptr<osg::Image>>;
using Boxes = std::map<int, osg::BoundingBoxd>;

struct Rgb
{
    unsigned char r, g, b;
};

const Rgb kRed{200, 0, 0};
const Rgb kGreen{0, 200, 0};
const Rgb kYellow{200, 200, 0};
const Rgb kMargin{0, 0, 77};
const Rgb kBlack{0, 0, 0};

// A packed RGB picture of s x t pixels, row 0 north, filled with `fill`.
osg::ref_ptr<osg::Image> picture(int s, int t, Rgb fill)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(s, t, 1, GL_RGB, GL_UNSIGNED_BYTE, 1);
    for (int row = 0; row < t; ++row)
        for (int column = 0; column < s; ++column) {
            unsigned char *px = image->data(column, row);
            px[0] = fill.r;
            px[1] = fill.g;
            px[2] = fill.b;
        }
    return image;
}

void paint(osg::Image &image, int row0, int row1, int col0, int col1, Rgb colour)
{
    for (int row = row0; row <= row1; ++row)
        for (int column = col0; column <= col1; ++column) {
            unsigned char *px = image.data(column, row);
            px[0] = colour.r;
            px[1] = colour.g;
            px[2] = colour.b;
        }
}

osg::BoundingBoxd box(double x0, double y0, double x1, double y1)
{
    return osg::BoundingBoxd(x0, y0, 0.0, x1, y1, 10.0);
}

class MosaicTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        fresco.setErrorLog([this](QString text) { messages.push_back(text); });
        FrescoTestAccess::setOutputFolder(fresco, dir.path());
    }

    QString out(const QString &file) const { return dir.path() + QLatin1Char('/') + file; }

    QStringList writtenFiles() const
    {
        return QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    }

    void combine(const osg::BoundingBoxd &overall, const Pictures &pictures, const Boxes &boxes,
                 const osg::Vec3d &offset, double splitLen)
    {
        FrescoTestAccess::combiImages(fresco, overall, pictures, boxes, QStringLiteral("name"),
                                      offset, splitLen);
    }

    static QString guardText()
    {
        return fresco::ErrorGuard::reportText(QStringLiteral("Fresco::combiImages"));
    }

    QTemporaryDir dir;
    Fresco fresco;
    QStringList messages;
};

void expectGeoTransform(const RasterContent &raster, double left, double res, double top)
{
    EXPECT_DOUBLE_EQ(raster.geoTransform[0], left);
    EXPECT_DOUBLE_EQ(raster.geoTransform[1], res);
    EXPECT_DOUBLE_EQ(raster.geoTransform[2], 0.0);
    EXPECT_DOUBLE_EQ(raster.geoTransform[3], top);
    EXPECT_DOUBLE_EQ(raster.geoTransform[4], 0.0);
    EXPECT_DOUBLE_EQ(raster.geoTransform[5], -res);
}

bool allEqual(const std::vector<uint8_t> &band, uint8_t value)
{
    return !band.empty()
           && std::all_of(band.begin(), band.end(), [value](uint8_t v) { return v == value; });
}

TEST_F(MosaicTest, SingleRasterHasBoxSizeAndShiftedGeoTransform)
{
    fresco.setResolution(0.5);
    combine(box(0, 0, 1000, 600), {}, {}, osg::Vec3d(500000.25, 2400000.5, 7), 0.0);

    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(writtenFiles(), QStringList{QStringLiteral("name.tif")});
    const RasterContent raster = readRaster(out(QStringLiteral("name.tif")));
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.driver, "GTiff");
    EXPECT_EQ(raster.width, 2000);
    EXPECT_EQ(raster.height, 1200);
    EXPECT_EQ(raster.bands, 3);
    expectGeoTransform(raster, 500000.25, 0.5, 600 + 2400000.5);
    for (int band = 0; band < 3; ++band)
        EXPECT_TRUE(allEqual(raster.rgb[band], 0)) << "band " << band;
}

TEST_F(MosaicTest, SizeRoundsToNearestPixel)
{
    fresco.setResolution(1.0);
    combine(box(0.2, 0.0, 10.7, 3.4), {}, {}, osg::Vec3d(), 0.0);
    const RasterContent raster = readRaster(out(QStringLiteral("name.tif")));
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 11);  // 10.5 + 0.5
    EXPECT_EQ(raster.height, 3);  // 3.4 + 0.5
    expectGeoTransform(raster, 0.2, 1.0, 3.4);
}

TEST_F(MosaicTest, TinySplitLengthStillWritesOneRaster)
{
    fresco.setResolution(0.5);
    combine(box(0, 0, 100, 60), {}, {{0, box(0, 0, 100, 60)}}, osg::Vec3d(), 0.000009);
    EXPECT_EQ(writtenFiles(), QStringList{QStringLiteral("name.tif")});
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MosaicTest, PiecesCoverCentredGridWithTheirOwnGeoTransforms)
{
    fresco.setResolution(0.5);
    const osg::Vec3d offset(1000, 2000, 3);
    combine(box(0, 0, 1000, 600), {}, {{0, box(0, 0, 1000, 600)}}, offset, 400.0);

    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    const QStringList expected = {"name_0_0.tif", "name_0_1.tif", "name_0_2.tif",
                                  "name_1_0.tif", "name_1_1.tif", "name_1_2.tif"};
    EXPECT_EQ(writtenFiles(), expected);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const RasterContent raster =
                readRaster(out(QStringLiteral("name_%1_%2.tif").arg(row).arg(column)));
            ASSERT_TRUE(raster.opened);
            EXPECT_EQ(raster.width, 800);
            EXPECT_EQ(raster.height, 800);
            EXPECT_EQ(raster.bands, 3);
            expectGeoTransform(raster, -100 + 400 * column + 1000, 0.5, 700 - 400 * row + 2000);
        }
    }
}

TEST_F(MosaicTest, OnlyPiecesATileTouchesAreWrittenEdgesIncluded)
{
    fresco.setResolution(0.5);
    // Grid columns start at x = -100, 300, 700; rows at y = 700, 300.
    // Tile 3 reaches x = 300 exactly (edge of column 1) and y = 700 (top).
    // Tile 5 spans y 300..320: row 0 and, by its bottom edge, row 1.
    const Boxes boxes = {{3, box(250, 650, 300, 700)}, {5, box(800, 300, 900, 320)}};
    combine(box(0, 0, 1000, 600), {}, boxes, osg::Vec3d(), 400.0);

    const QStringList expected = {"name_0_0.tif", "name_0_1.tif", "name_0_2.tif",
                                  "name_1_2.tif"};
    EXPECT_EQ(writtenFiles(), expected);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MosaicTest, ImgFormatUsesErdasImagine)
{
    fresco.setResolution(2.0);
    fresco.setImageFmt(QStringLiteral(".img"));
    combine(box(0, 0, 40, 20), {}, {}, osg::Vec3d(5, 6, 0), 0.0);
    RasterContent raster = readRaster(out(QStringLiteral("name.img")));
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.driver, "HFA");
    EXPECT_EQ(raster.width, 20);
    EXPECT_EQ(raster.height, 10);
    EXPECT_EQ(raster.bands, 3);
    expectGeoTransform(raster, 5, 2.0, 26);

    combine(box(0, 0, 40, 20), {}, {{0, box(0, 0, 40, 20)}}, osg::Vec3d(), 30.0);
    raster = readRaster(out(QStringLiteral("name_0_0.img")));
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.driver, "HFA");
    EXPECT_EQ(raster.width, 15);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MosaicTest, BackgroundZeroIsBlackAnyOtherValueWhite)
{
    const std::pair<int, uint8_t> cases[] = {{0, 0}, {1, 255}, {7, 255}, {-3, 255}};
    for (const auto &c : cases) {
        fresco.setBackground(c.first);
        fresco.setResolution(1.0);
        combine(box(0, 0, 8, 4), {}, {}, osg::Vec3d(), 0.0);
        const RasterContent raster = readRaster(out(QStringLiteral("name.tif")));
        ASSERT_TRUE(raster.opened);
        for (int band = 0; band < 3; ++band)
            EXPECT_TRUE(allEqual(raster.rgb[band], c.second))
                << "background " << c.first << " band " << band;

        combine(box(0, 0, 8, 4), {}, {{0, box(0, 0, 8, 4)}}, osg::Vec3d(), 3.0);
        const RasterContent piece = readRaster(out(QStringLiteral("name_0_0.tif")));
        ASSERT_TRUE(piece.opened);
        EXPECT_TRUE(allEqual(piece.rgb[1], c.second)) << "background " << c.first;
    }
}

// Pictures of the single-raster case, at resolution 1 on a 10 x 6 raster:
// tile 0 covers x 0..6 (8 x 8 picture, 6 x 6 block behind a one-pixel margin),
// tile 1 x 4..10, tile 2 x 8..12 / y -2..2 reaches past the raster's edge.
Pictures singleModePictures()
{
    osg::ref_ptr<osg::Image> red = picture(8, 8, kMargin);
    paint(*red, 1, 6, 1, 6, kRed);
    paint(*red, 2, 2, 3, 3, kBlack);
    osg::ref_ptr<osg::Image> green = picture(8, 8, kMargin);
    paint(*green, 1, 6, 1, 6, kGreen);
    paint(*green, 3, 3, 2, 2, kBlack);
    osg::ref_ptr<osg::Image> yellow = picture(6, 6, kMargin);
    paint(*yellow, 1, 4, 1, 4, kYellow);
    return {{0, red}, {1, green}, {2, yellow}};
}

Boxes singleModeBoxes()
{
    return {{0, box(0, 0, 6, 6)}, {1, box(4, 0, 10, 6)}, {2, box(8, -2, 12, 2)}};
}

TEST_F(MosaicTest, SingleRasterPlacesTilesLaterOverEarlierExceptBlack)
{
    for (int background : {0, 1}) {
        fresco.setBackground(background);
        fresco.setResolution(1.0);
        combine(box(0, 0, 10, 6), singleModePictures(), singleModeBoxes(), osg::Vec3d(), 0.0);
        const RasterContent raster = readRaster(out(QStringLiteral("name.tif")));
        ASSERT_TRUE(raster.opened);
        ASSERT_EQ(raster.width, 10);
        ASSERT_EQ(raster.height, 6);
        const std::vector<std::string> expected = {
            "RRRRGGGGGG",
            "RR.RGGGGGG",
            "RRRRGRGGGG",
            "RRRRGGGGGG",
            "RRRRGGGGYY",
            "RRRRGGGGYY",
        };
        EXPECT_EQ(raster.letters(background ? 255 : 0), expected) << "background " << background;
        EXPECT_TRUE(messages.isEmpty());
    }
}

// Pieces of 5 x 5 pixels at resolution 1 over the box 0..10 x 0..6: the grid
// (3 x 2 pieces) starts at x = -2.5 and y = 8. In pieces the block starts at
// picture row 0 (the margin) and spans tw + 1 columns, so margin pixels show.
TEST_F(MosaicTest, PiecesPlaceBlocksByTheirOwnFormulas)
{
    fresco.setBackground(1);
    fresco.setResolution(1.0);
    osg::ref_ptr<osg::Image> red = picture(8, 8, kMargin);
    paint(*red, 1, 6, 1, 6, kRed);
    paint(*red, 5, 5, 2, 2, kBlack);
    osg::ref_ptr<osg::Image> green = picture(4, 4, kMargin);
    paint(*green, 1, 2, 1, 2, kGreen);
    paint(*green, 1, 1, 2, 2, kBlack);
    const Pictures pictures = {{0, red}, {1, green}};
    const Boxes boxes = {{0, box(0, 0, 6, 6)}, {1, box(4, 0, 6, 2)}};
    combine(box(0, 0, 10, 6), pictures, boxes, osg::Vec3d(10, 20, 0), 5.0);

    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    const QStringList files = {"name_0_0.tif", "name_0_1.tif", "name_1_0.tif", "name_1_1.tif"};
    ASSERT_EQ(writtenFiles(), files);

    const std::map<QString, std::vector<std::string>> expected = {
        {"name_0_0.tif", {".....", ".....", "..BBB", "..RRR", "..RRR"}},
        {"name_0_1.tif", {".....", ".....", "BBBBB", "RRRRB", "RRRRB"}},
        {"name_1_0.tif", {"..RRR", "..R.R", "..RRR", ".....", "....."}},
        {"name_1_1.tif", {"RRRRB", "RBBBB", "RGRBB", ".GGB.", "....."}},
    };
    const std::map<QString, std::pair<double, double>> corners = {
        {"name_0_0.tif", {-2.5, 8}}, {"name_0_1.tif", {2.5, 8}},
        {"name_1_0.tif", {-2.5, 3}}, {"name_1_1.tif", {2.5, 3}}};
    for (const auto &piece : expected) {
        const RasterContent raster = readRaster(out(piece.first));
        ASSERT_TRUE(raster.opened);
        ASSERT_EQ(raster.width, 5);
        ASSERT_EQ(raster.height, 5);
        EXPECT_EQ(raster.letters(255), piece.second) << piece.first.toStdString();
        expectGeoTransform(raster, corners.at(piece.first).first + 10, 1.0,
                           corners.at(piece.first).second + 20);
    }
}

TEST_F(MosaicTest, PicturesWithoutBoxOrDataOrOfOddSizeAreSafe)
{
    fresco.setResolution(1.0);
    osg::ref_ptr<osg::Image> tiny = picture(2, 1, kRed);
    osg::ref_ptr<osg::Image> empty = new osg::Image;
    osg::ref_ptr<osg::Image> rgba = new osg::Image;
    rgba->allocateImage(8, 8, 1, GL_RGBA, GL_UNSIGNED_BYTE, 1);
    std::fill(rgba->data(), rgba->data() + rgba->getTotalSizeInBytes(), 200);
    const Pictures pictures = {
        {0, tiny}, {1, empty}, {2, nullptr}, {3, picture(8, 8, kGreen)}, {4, rgba}};
    // Tile 0's picture is far smaller than its box; tile 3 has no box.
    const Boxes boxes = {{0, box(0, 0, 10, 6)}, {1, box(0, 0, 10, 6)}, {2, box(0, 0, 10, 6)},
                         {4, box(6, 0, 10, 4)}};
    combine(box(0, 0, 10, 6), pictures, boxes, osg::Vec3d(), 0.0);
    combine(box(0, 0, 10, 6), pictures, boxes, osg::Vec3d(), 4.0);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();

    const RasterContent raster = readRaster(out(QStringLiteral("name.tif")));
    ASSERT_TRUE(raster.opened);
    // Tile 0's block starts at picture (my, mx) = (-2, -4), so of the 2 x 1
    // picture only row 0, columns 0..1 land, at raster row 2, columns 4..5.
    // The 4-byte tile 4 shows its first three bytes at columns 6..9, rows 2..5.
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 10; ++column) {
            const bool covered =
                (row >= 2 && column >= 6) || (row == 2 && (column == 4 || column == 5));
            EXPECT_EQ(raster.rgb[0][row * 10 + column], covered ? 200 : 0)
                << row << "," << column;
        }
}

TEST_F(MosaicTest, MissingOutputFolderReportsCreationThenGuard)
{
    const QString missing = dir.path() + QStringLiteral("/missing");
    FrescoTestAccess::setOutputFolder(fresco, missing);
    fresco.setResolution(1.0);
    combine(box(0, 0, 10, 6), singleModePictures(), singleModeBoxes(), osg::Vec3d(), 0.0);
    const QStringList expected = {
        QStringLiteral("create img failed: %1").arg(missing + QStringLiteral("/name.tif")),
        guardText()};
    EXPECT_EQ(messages, expected);

    // A piece that cannot be created sends only the guard's text.
    messages.clear();
    combine(box(0, 0, 10, 6), singleModePictures(), singleModeBoxes(), osg::Vec3d(), 5.0);
    EXPECT_EQ(messages, QStringList{guardText()});
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(MosaicTest, EmptyOverallBoxFailsSingleAndWritesNoPiece)
{
    const osg::BoundingBoxd empty; // min +FLT_MAX, max -FLT_MAX
    combine(empty, {}, {}, osg::Vec3d(), 0.0);
    const QStringList expected = {
        QStringLiteral("create img failed: %1").arg(out(QStringLiteral("name.tif"))),
        guardText()};
    EXPECT_EQ(messages, expected);

    messages.clear();
    combine(empty, {}, {}, osg::Vec3d(), 50.0);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(writtenFiles().isEmpty());
}

TEST_F(MosaicTest, NoErrorCallbackKeepsFailuresSilent)
{
    Fresco quiet;
    FrescoTestAccess::setOutputFolder(quiet, dir.path() + QStringLiteral("/missing"));
    FrescoTestAccess::combiImages(quiet, box(0, 0, 10, 6), singleModePictures(),
                                  singleModeBoxes(), QStringLiteral("name"), osg::Vec3d(), 0.0);
    EXPECT_TRUE(messages.isEmpty());
}

// A full disk fails the raster without touching the earlier raster of that
// name, and leaves neither a .part file nor pictures. On Linux a file size
// limit stands for the full disk. Windows has no such limit:
// FRESCO_TEST_SMALL_FOLDER names a folder on a volume of about 64 KiB.
TEST_F(MosaicTest, FullDiskKeepsTheEarlierRasterAndLeavesNoTemporaryFile)
{
#ifdef _WIN32
    // Under Wine, GDAL's writes into a full tmpfs come back as complete: the
    // raster is reported written though the disk could not hold it.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version"))
        GTEST_SKIP() << "Wine does not report the full disk to GDAL";
    const QString small = qEnvironmentVariable("FRESCO_TEST_SMALL_FOLDER");
    if (small.isEmpty())
        GTEST_SKIP() << "FRESCO_TEST_SMALL_FOLDER names no folder on a small filesystem";
    QTemporaryDir smallDir(small + QStringLiteral("/mosaic-XXXXXX"));
    ASSERT_TRUE(smallDir.isValid()) << small.toStdString();
    const QString folder = smallDir.path();
    FrescoTestAccess::setOutputFolder(fresco, folder);
#else
    const QString folder = dir.path();
#endif
    const auto at = [&folder](const QString &file) { return folder + QLatin1Char('/') + file; };

    fresco.setResolution(1.0);
    combine(box(0, 0, 10, 6), singleModePictures(), singleModeBoxes(), osg::Vec3d(), 0.0);
    const QString path = at(QStringLiteral("name.tif"));
    QFile earlier(path);
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    const QByteArray earlierBytes = earlier.readAll();
    earlier.close();

#ifndef _WIN32
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
#endif
    for (double splitLen : {0.0, 250.0}) {
        messages.clear();
        combine(box(0, 0, 300, 200), singleModePictures(), singleModeBoxes(), osg::Vec3d(),
                splitLen);
        ASSERT_EQ(messages.size(), 2) << messages.join('|').toStdString();
        EXPECT_EQ(messages.at(0),
                  QStringLiteral("write img failed: %1")
                      .arg(at(splitLen > 0 ? QStringLiteral("name_0_0.tif") : QStringLiteral("name.tif"))));
        EXPECT_EQ(messages.at(1), guardText());
    }
#ifndef _WIN32
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
#endif

    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList{QStringLiteral("name.tif")});
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_TRUE(earlier.readAll() == earlierBytes);
}

// A scene of overlapping tiles with black pixels and margins, written in one
// window and in many: the pixels must not depend on the windows.
struct Scene
{
    osg::BoundingBoxd overall;
    Pictures pictures;
    Boxes boxes;
};

Scene overlappingScene()
{
    Scene scene;
    scene.overall = box(0, 0, 60, 150);
    unsigned int seed = 12345;
    const auto next = [&seed](unsigned int range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int index = 0; index < 9; ++index) {
        const double x0 = static_cast<double>(next(50)) - 5;
        const double y0 = static_cast<double>(next(140)) - 5;
        const double w = 8 + next(30), h = 8 + next(60);
        scene.boxes[index * 3] = box(x0, y0, x0 + w, y0 + h);
        // At resolution 1 the render gives w + 2 by h + 2 pixels.
        osg::ref_ptr<osg::Image> image = picture(static_cast<int>(w) + 2, static_cast<int>(h) + 2, kBlack);
        for (int row = 0; row < image->t(); ++row)
            for (int column = 0; column < image->s(); ++column) {
                unsigned char *px = image->data(column, row);
                if (next(5) == 0)
                    continue;  // stays black: no model there
                px[0] = static_cast<unsigned char>(next(256));
                px[1] = static_cast<unsigned char>(next(256));
                px[2] = static_cast<unsigned char>(1 + next(255));
            }
        scene.pictures[index * 3] = image;
    }
    return scene;
}

std::map<QString, RasterContent> rastersIn(const QString &folder, const QString &fmt)
{
    std::map<QString, RasterContent> rasters;
    for (const QString &file : QDir(folder).entryList({QStringLiteral("*") + fmt},
                                                      QDir::Files | QDir::Hidden, QDir::Name))
        rasters[file] = readRaster(folder + QLatin1Char('/') + file);
    return rasters;
}

TEST(MosaicWindows, ManyWindowsGiveTheSamePixelsAsOne)
{
    const Scene scene = overlappingScene();
    for (const QString &fmt : {QStringLiteral(".tif"), QStringLiteral(".img")}) {
        for (double splitLen : {0.0, 37.0}) {
            std::map<QString, RasterContent> results[2];
            for (int many = 0; many < 2; ++many) {
                QTemporaryDir dir;
                fresco::MosaicSettings settings;
                settings.outputFolder = dir.path();
                settings.imageFmt = fmt;
                settings.resolution = 1.0;
                settings.background = 1;
                // Tiled GeoTIFFs of 16-row blocks, Imagine's 64-row blocks:
                // one block row per window.
                // The mask leaves the colours as they are.
                if (many) {
                    settings.mask = true;
                    settings.windowBytes = 1;
                    settings.creationOptions = QStringList{"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"};
                }
                QStringList errors;
                EXPECT_EQ(fresco::writeMosaic(settings, scene.overall, scene.pictures,
                                              scene.boxes, QStringLiteral("set"), osg::Vec3d(),
                                              splitLen,
                                              [&](const QString &text) { errors << text; }),
                          fresco::MosaicResult::Written);
                EXPECT_TRUE(errors.isEmpty()) << errors.join('|').toStdString();
                results[many] = rastersIn(dir.path(), fmt);
            }
            const std::string what = fmt.toStdString() + " split " + std::to_string(splitLen);
            ASSERT_EQ(results[0].size() > 1, splitLen > 0) << what;
            ASSERT_EQ(results[0].size(), results[1].size()) << what;
            for (const auto &raster : results[0]) {
                const RasterContent &other = results[1][raster.first];
                EXPECT_EQ(raster.second.width, other.width) << what;
                for (int band = 0; band < 3; ++band)
                    EXPECT_TRUE(raster.second.rgb[band] == other.rgb[band])
                        << what << " " << raster.first.toStdString() << " band " << band;
            }
        }
    }
}

// Coordinate system, mask, overviews and creation options, read back.
TEST(MosaicWindows, GisFilesCarryTheirSystemMaskAndOverviews)
{
    const Scene scene = overlappingScene();
    const QByteArray wkt = fresco::projectionWkt(QStringLiteral("EPSG:4547"));
    ASSERT_FALSE(wkt.isEmpty());
    for (const QString &fmt : {QStringLiteral(".tif"), QStringLiteral(".img")}) {
        QTemporaryDir dir;
        fresco::MosaicSettings settings;
        settings.outputFolder = dir.path();
        settings.imageFmt = fmt;
        settings.resolution = 0.5;
        settings.projectionWkt = wkt;
        settings.mask = true;
        settings.overviews = true;
        if (fmt == QLatin1String(".tif"))
            settings.creationOptions = QStringList{"COMPRESS=DEFLATE"};
        Pictures pictures = scene.pictures;
        EXPECT_EQ(fresco::writeMosaic(settings, scene.overall, pictures, scene.boxes,
                                      QStringLiteral("set"), osg::Vec3d(), 0.0,
                                      [](const QString &) {}),
                  fresco::MosaicResult::Written);
        const QString path = dir.path() + QStringLiteral("/set") + fmt;
        const RasterContent rgb = readRaster(path);
        ASSERT_TRUE(rgb.opened) << fmt.toStdString();

        GDALDataset *dataset =
            static_cast<GDALDataset *>(GDALOpen(path.toLocal8Bit().constData(), GA_ReadOnly));
        ASSERT_NE(dataset, nullptr);
        OGRSpatialReference written(dataset->GetProjectionRef());
        // 3-degree Gauss-Kruger, central meridian 114 E.
        EXPECT_TRUE(written.IsProjected()) << fmt.toStdString();
        EXPECT_DOUBLE_EQ(written.GetProjParm(SRS_PP_CENTRAL_MERIDIAN), 114.0) << fmt.toStdString();
        GDALRasterBand *red = dataset->GetRasterBand(1);
        EXPECT_EQ(red->GetMaskFlags(), GMF_PER_DATASET) << fmt.toStdString();
        EXPECT_GT(red->GetOverviewCount(), 0) << fmt.toStdString();
        if (fmt == QLatin1String(".tif")) {
            const char *compression = dataset->GetMetadataItem("COMPRESSION", "IMAGE_STRUCTURE");
            EXPECT_STREQ(compression ? compression : "", "DEFLATE");
        }
        std::vector<uint8_t> mask(static_cast<size_t>(rgb.width) * rgb.height);
        ASSERT_EQ(red->GetMaskBand()->RasterIO(GF_Read, 0, 0, rgb.width, rgb.height, mask.data(),
                                               rgb.width, rgb.height, GDT_Byte, 0, 0),
                  CE_None);
        GDALClose(dataset);
        // Masked out exactly where no tile placed a (never black) pixel.
        size_t covered = 0;
        for (size_t at = 0; at < mask.size(); ++at) {
            const bool black = rgb.rgb[0][at] == 0 && rgb.rgb[1][at] == 0 && rgb.rgb[2][at] == 0;
            ASSERT_EQ(mask[at], black ? 0 : 255) << fmt.toStdString() << " pixel " << at;
            covered += !black;
        }
        EXPECT_GT(covered, 1000u);
        EXPECT_LT(covered, mask.size());
    }
}

TEST(MosaicWindows, CoordinateSystemTexts)
{
    EXPECT_FALSE(fresco::projectionWkt(QStringLiteral("EPSG:4326")).isEmpty());
    EXPECT_FALSE(fresco::projectionWkt(QStringLiteral("+proj=utm +zone=50 +datum=WGS84")).isEmpty());
    for (const char *bad : {"", "ENU:31.2,121.5", "not a system",
                            "http://spatialreference.org/ref/epsg/4326/"})
        EXPECT_TRUE(fresco::projectionWkt(QString::fromLatin1(bad)).isEmpty()) << bad;
    // A WKT that names EPSG:4547 over other parameters keeps its parameters.
    const QByteArray wkt = fresco::projectionWkt(QStringLiteral(
        "PROJCS[\"local\",GEOGCS[\"CGCS2000\",DATUM[\"China_2000\",SPHEROID[\"CGCS2000\","
        "6378137,298.257222101]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],"
        "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],"
        "PARAMETER[\"central_meridian\",113.37],PARAMETER[\"scale_factor\",1],"
        "PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",90],"
        "UNIT[\"metre\",1],AUTHORITY[\"EPSG\",\"4547\"]]"));
    OGRSpatialReference srs(wkt.constData());
    EXPECT_EQ(srs.GetAuthorityCode(nullptr), nullptr);
    EXPECT_DOUBLE_EQ(srs.GetProjParm(SRS_PP_CENTRAL_MERIDIAN), 113.37);
    EXPECT_DOUBLE_EQ(srs.GetProjParm(SRS_PP_FALSE_NORTHING), 90);
}

// The TIFF header is written on creation: "II*" classic, "II+" BigTIFF.
TEST(MosaicWindows, GeoTiffThatMayPassFourGigabytesIsBigTiff)
{
    QTemporaryDir dir;
    GDALAllRegister();
    GDALDriver *gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
    const auto header = [&](int64_t width, const QStringList &options, bool mask) -> QByteArray {
        fresco::RasterFormat format;
        format.imageFmt = QStringLiteral(".tif");
        format.creationOptions = options;
        format.mask = mask;
        fresco::RasterFile file(gtiff, format);
        if (!file.create(dir.path() + QStringLiteral("/big.tif"), width, 20000, 0, 0, 1))
            return QByteArray("not created");
        QFile part(dir.path() + QStringLiteral("/big.part.tif"));
        return part.open(QIODevice::ReadOnly) ? part.read(3) : QByteArray("no part file");
    };
    // The mask's creation puts the header on disk.
    EXPECT_EQ(header(20000, {}, true), QByteArray("II*"));      // 1.2 GB and a 0.4 GB mask
    EXPECT_EQ(header(50000, {}, true), QByteArray("II+"));      // 3 GB and a 1 GB mask
    EXPECT_EQ(header(50000, {"BIGTIFF=NO"}, true), QByteArray("II*"));
    // Each unfinished file went with its object.
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST(MosaicWindows, StopLeavesNoFile)
{
    const Scene scene = overlappingScene();
    QTemporaryDir dir;
    std::atomic<bool> stop{true};
    fresco::MosaicSettings settings;
    settings.outputFolder = dir.path();
    settings.resolution = 1.0;
    settings.stop = &stop;
    for (double splitLen : {0.0, 37.0})
        EXPECT_EQ(fresco::writeMosaic(settings, scene.overall, scene.pictures, scene.boxes,
                                      QStringLiteral("set"), osg::Vec3d(), splitLen,
                                      [](const QString &) {}),
                  fresco::MosaicResult::Stopped);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

} // namespace
