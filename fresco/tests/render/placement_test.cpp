// Where a job puts the model: every pixel of a made tile set compared with
// the colour the model has at the pixel's centre, at resolutions that do not
// divide the tiles, for one raster and for pieces; black models kept; damaged
// drawables; a failed set beside an earlier raster.
#include "render_support.h"
#include "tilesetgenerator.h"

#include "drawablecheck.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <osg/Geode>
#include <osg/Geometry>
#include <osgDB/ReadFile>
#include <osgDB/WriteFile>

#include <cmath>
#include <limits>

using namespace fresco::testing;

namespace {

class PlacementTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(out()));
    }
    QString root(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    QString out() const { return dir.path() + QStringLiteral("/out"); }
    QString entry(const QString &name) const { return root(name) + QLatin1Char('/') + name + ".osgb"; }
    QTemporaryDir dir;
};

const Rgb kWhite{255, 255, 255};

// The colour the model shows at local ground (x, y): the tile holding it, or
// the background.
Rgb modelColour(const std::vector<GeneratedTile> &tiles, double x, double y, const Rgb &background)
{
    for (const GeneratedTile &tile : tiles)
        if (x >= tile.xmin && x < tile.xmax && y >= tile.ymin && y < tile.ymax)
            return expectedColour(tile, x, y);
    return background;
}

// Every pixel of `raster` against the model at its centre; returns the
// number of pixels that differ and counts the pixels showing the model.
int wrongPixels(const Raster &raster, const std::vector<GeneratedTile> &tiles,
                const osg::Vec3d &origin, const Rgb &background, int &modelPixels)
{
    int wrong = 0;
    for (int row = 0; row < raster.height; ++row) {
        for (int column = 0; column < raster.width; ++column) {
            const double x = raster.geoTransform[0] + (column + 0.5) * raster.geoTransform[1]
                             - origin.x();
            const double y = raster.geoTransform[3] + (row + 0.5) * raster.geoTransform[5]
                             - origin.y();
            // A centre on a colour edge could show either colour.
            const auto onEdge = [](double value) {
                const double r = std::fmod(std::fabs(value), 5.0);
                return r < 1e-6 || r > 5.0 - 1e-6;
            };
            if (onEdge(x + 2.0) || onEdge(y + 4.0)) {
                ++modelPixels;  // on the model's edge or inside
                continue;
            }
            const Rgb expected = modelColour(tiles, x, y, background);
            if (!(expected == background))
                ++modelPixels;
            if (!(raster.pixel(column, row) == expected)) {
                if (wrong < 5)
                    ADD_FAILURE() << "pixel " << column << "," << row << " shows "
                                  << raster.pixel(column, row) << ", model " << expected;
                ++wrong;
            }
        }
    }
    return wrong;
}

std::vector<GeneratedTile> markedGrid()
{
    // 2 x 2 tiles of 10 units, one quadrant black: shadow must stay model.
    std::vector<GeneratedTile> tiles = tileGrid(2, 2, 10.0, 3.0, -4.0);
    tiles[1].quadrants[2] = Rgb{0, 0, 0};
    return tiles;
}

} // namespace

TEST_F(PlacementTest, EveryPixelShowsTheModelAtItsCentreOnResolutionsThatDoNotDivideTheTiles)
{
    const osg::Vec3d origin(500000.05, 2500000.1, 0);
    const std::vector<GeneratedTile> tiles = markedGrid();
    ASSERT_TRUE(writeTileSet(root("Marks"), tiles, &origin));

    for (const double resolution : {0.3, 0.7, 0.13}) {
        for (const bool aligned : {false, true}) {
            SCOPED_TRACE(testing::Message() << "resolution " << resolution << " tap " << aligned);
            Fresco job;
            job.setResolution(resolution);
            job.setBackground(1);
            job.setTargetAlignedPixels(aligned);
            const JobRecord record = runJob(job, {entry("Marks")}, out());
            ASSERT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
            const Raster raster = readRaster(out() + "/Marks.tif");
            ASSERT_TRUE(raster.opened);
            // To the edge: the raster's edges are the grid lines nearest the
            // model's, so every edge pixel's centre lies on the model.
            const double west = 3 + origin.x(), north = 16 + origin.y();
            EXPECT_NEAR(raster.geoTransform[0], west, resolution / 2 + 1e-6);
            EXPECT_NEAR(raster.geoTransform[3], north, resolution / 2 + 1e-6);
            EXPECT_NEAR(raster.geoTransform[0] + raster.width * resolution, west + 20,
                        resolution / 2 + 1e-6);
            EXPECT_NEAR(raster.geoTransform[3] - raster.height * resolution, north - 20,
                        resolution / 2 + 1e-6);
            if (aligned) {
                const double snapped = raster.geoTransform[0] / resolution;
                EXPECT_NEAR(snapped, std::round(snapped), 1e-6);
            }
            int modelPixels = 0;
            EXPECT_EQ(wrongPixels(raster, tiles, origin, kWhite, modelPixels), 0);
            EXPECT_EQ(modelPixels, raster.width * raster.height);
            QFile::remove(out() + "/Marks.tif");
        }
    }
}

TEST_F(PlacementTest, PiecesOfNonIntegralLengthCoverTheGroundWithoutGaps)
{
    const osg::Vec3d origin(1000, 2000, 0);
    const std::vector<GeneratedTile> tiles = markedGrid();
    ASSERT_TRUE(writeTileSet(root("Cut"), tiles, &origin));

    Fresco job;
    job.setResolution(0.3);
    job.setSplitLen(2.0);  // 6.67 pixels: every piece 7 pixels a side
    job.setBackground(1);
    const JobRecord record = runJob(job, {entry("Cut")}, out());
    ASSERT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();

    const QStringList names = QDir(out()).entryList({QStringLiteral("Cut_*.tif")});
    // 20 / 2 + 1 = 11 pieces a side, all touched by a tile.
    ASSERT_EQ(names.size(), 121);
    std::vector<Raster> pieces;
    for (const QString &name : names) {
        pieces.push_back(readRaster(out() + QLatin1Char('/') + name));
        const Raster &piece = pieces.back();
        ASSERT_TRUE(piece.opened);
        EXPECT_EQ(piece.width, 7);
        EXPECT_EQ(piece.height, 7);
        int modelPixels = 0;
        EXPECT_EQ(wrongPixels(piece, tiles, origin, kWhite, modelPixels), 0) << name.toStdString();
    }
    // Every ground point of the model lies in some piece, showing the model.
    int uncovered = 0;
    // (Pixels along the model's edge whose centre lies outside it show the
    // background, as any pixel of a straight-down render does.)
    for (double x = 3.05; x < 23; x += 0.1) {
        for (double y = -3.85; y < 15.9; y += 0.1) {
            bool covered = false;
            for (const Raster &piece : pieces) {
                int column = 0, row = 0;
                if (piece.pixelAt(x + origin.x(), y + origin.y(), column, row)
                    && !(piece.pixel(column, row) == kWhite)) {
                    covered = true;
                    break;
                }
            }
            uncovered += covered ? 0 : 1;
        }
    }
    EXPECT_EQ(uncovered, 0);
}

TEST_F(PlacementTest, SupersampledEdgesBlendAndInteriorsKeepTheirColours)
{
    const osg::Vec3d origin(0, 0, 0);
    // A tile whose edges fall inside pixels at 0.4 (x from 0.1 to 10.1).
    std::vector<GeneratedTile> tiles = tileGrid(1, 1, 10.0, 0.1, 0.1);
    ASSERT_TRUE(writeTileSet(root("Smooth"), tiles, &origin));
    Fresco job;
    job.setResolution(0.4);
    job.setSupersample(4);
    job.setBackground(1);
    const JobRecord record = runJob(job, {entry("Smooth")}, out());
    ASSERT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    const Raster raster = readRaster(out() + "/Smooth.tif");
    ASSERT_TRUE(raster.opened);
    // Columns 0 .. 24 cover 0 .. 10: the first column is 3/4 model.
    EXPECT_EQ(raster.width, 25);
    EXPECT_DOUBLE_EQ(raster.geoTransform[0], 0.0);
    const Rgb inside = raster.colourAt(2.0, 2.0);
    EXPECT_EQ(inside, tiles[0].quadrants[0]);
    const Rgb edge = raster.colourAt(0.05, 2.0);
    const Rgb sw = tiles[0].quadrants[0];
    // 3 of 4 sub-pixel columns drawn, the rest white background.
    EXPECT_NEAR(edge.r, (3 * sw.r + 255) / 4.0, 2);
    EXPECT_NEAR(edge.g, (3 * sw.g + 255) / 4.0, 2);
}

TEST_F(PlacementTest, FailedSetIsWrittenAsPartialAndLeavesTheEarlierRasterAlone)
{
    const osg::Vec3d origin(0, 0, 0);
    const std::vector<GeneratedTile> tiles = tileGrid(2, 1, 10.0);
    ASSERT_TRUE(writeTileSet(root("Keep"), tiles, &origin));
    Fresco job;
    job.setResolution(0.5);
    QStringList written;
    job.setWrittenLog([&written](QString path) { written << path; });
    ASSERT_TRUE(runJob(job, {entry("Keep")}, out()).errors.isEmpty());
    EXPECT_EQ(written, QStringList({out() + "/Keep.tif"}));
    QFile good(out() + "/Keep.tif");
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray before = good.readAll();
    good.close();

    // Half the set gone and the metadata with it: errors, and the rasters
    // go beside the good one.
    ASSERT_TRUE(QFile::remove(root("Keep") + "/metadata.xml"));
    ASSERT_TRUE(QFile::remove(root("Keep") + "/Data/" + tiles[1].name + "/" + tiles[1].name + ".osgb"));
    written.clear();
    QStringList warnings;
    job.setWarningLog([&warnings](QString text) { warnings << text; });
    const JobRecord record = runJob(job, {entry("Keep")}, out());
    EXPECT_FALSE(record.errors.isEmpty());
    EXPECT_EQ(written, QStringList({out() + "/Keep.partial.tif"}));
    EXPECT_TRUE(warnings.join('\n').contains("Keep.partial.tif")) << warnings.join('\n').toStdString();
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    EXPECT_TRUE(good.readAll() == before);
    const Raster partial = readRaster(out() + "/Keep.partial.tif");
    ASSERT_TRUE(partial.opened);
    EXPECT_EQ(partial.width, 20);
}

TEST(DrawableCheck, RefusesPrimitivesAndArraysBeyondTheVertices)
{
    auto square = [] {
        osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        vertices->push_back({0, 0, 0}), vertices->push_back({1, 0, 0});
        vertices->push_back({1, 1, 0}), vertices->push_back({0, 1, 0});
        geometry->setVertexArray(vertices.get());
        osg::ref_ptr<osg::DrawElementsUShort> triangles = new osg::DrawElementsUShort(GL_TRIANGLES);
        for (unsigned short i : {0, 1, 2, 0, 2, 3})
            triangles->push_back(i);
        geometry->addPrimitiveSet(triangles.get());
        osg::ref_ptr<osg::Vec2Array> texture = new osg::Vec2Array(4);
        geometry->setTexCoordArray(0, texture.get(), osg::Array::BIND_PER_VERTEX);
        return geometry;
    };
    EXPECT_TRUE(fresco::isDrawableSafe(*square()));

    osg::ref_ptr<osg::Geometry> pastEnd = square();
    static_cast<osg::DrawElementsUShort *>(pastEnd->getPrimitiveSet(0))->at(4) = 4;
    EXPECT_FALSE(fresco::isDrawableSafe(*pastEnd));

    osg::ref_ptr<osg::Geometry> shortTexture = square();
    shortTexture->setTexCoordArray(0, new osg::Vec2Array(3), osg::Array::BIND_PER_VERTEX);
    EXPECT_FALSE(fresco::isDrawableSafe(*shortTexture));

    osg::ref_ptr<osg::Geometry> notANumber = square();
    (*static_cast<osg::Vec3Array *>(notANumber->getVertexArray()))[2].y() =
        std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(fresco::isDrawableSafe(*notANumber));

    osg::ref_ptr<osg::Geometry> arraysPastEnd = square();
    arraysPastEnd->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 2, 3));
    EXPECT_FALSE(fresco::isDrawableSafe(*arraysPastEnd));

    // Only the bad one of two goes.
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(square());
    geode->addDrawable(pastEnd.get());
    EXPECT_EQ(fresco::dropUnsafeDrawables(*geode), 1u);
    ASSERT_EQ(geode->getNumDrawables(), 1u);
    EXPECT_TRUE(fresco::isDrawableSafe(*geode->getDrawable(0)->asGeometry()));
}

TEST_F(PlacementTest, DamagedIndexArrayInALevelFileIsLeftOutWithAWarning)
{
    const osg::Vec3d origin(0, 0, 0);
    std::vector<GeneratedTile> tiles = tileGrid(1, 1, 10.0);
    ASSERT_TRUE(writeTileSet(root("Broken"), tiles, &origin));
    // The finer level gains a geometry whose indices run past its four
    // vertices by far, as random damage to a file leaves them.
    const QString level = root("Broken") + "/Data/" + tiles[0].name + "/" + tiles[0].name + "_L1.osgb";
    ASSERT_TRUE(QFileInfo::exists(level));
    osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(level.toLocal8Bit().toStdString());
    ASSERT_TRUE(node);
    osg::ref_ptr<osg::Geometry> bad = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array(4);
    bad->setVertexArray(vertices.get());
    osg::ref_ptr<osg::DrawElementsUInt> triangles = new osg::DrawElementsUInt(GL_TRIANGLES);
    for (unsigned int i : {0u, 1u, 400000000u})
        triangles->push_back(i);
    bad->addPrimitiveSet(triangles.get());
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(bad.get());
    osg::ref_ptr<osg::Group> both = new osg::Group;
    both->addChild(node.get());
    both->addChild(geode.get());
    osg::ref_ptr<osgDB::Options> keepTextures = new osgDB::Options("WriteImageHint=IncludeData");
    ASSERT_TRUE(osgDB::writeNodeFile(*both, level.toLocal8Bit().toStdString(), keepTextures.get()));

    Fresco job;
    job.setResolution(0.5);
    QStringList warnings;
    job.setWarningLog([&warnings](QString text) { warnings << text; });
    const JobRecord record = runJob(job, {entry("Broken")}, out());
    EXPECT_TRUE(record.errors.isEmpty()) << record.errors.join('\n').toStdString();
    EXPECT_EQ(record.finishes, 1);
    ASSERT_EQ(warnings.size(), 1) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings[0].startsWith("damaged geometry left out (1 drawables): "));
    EXPECT_TRUE(warnings[0].endsWith(tiles[0].name + "_L1.osgb")) << warnings[0].toStdString();
    const Raster raster = readRaster(out() + "/Broken.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.colourAt(2.5, 2.5), tiles[0].quadrants[0]);
}

TEST_F(PlacementTest, MissingLevelFileIsNamedInAWarning)
{
    const osg::Vec3d origin(0, 0, 0);
    std::vector<GeneratedTile> tiles = tileGrid(1, 1, 10.0);
    tiles[0].finer = GeneratedTile::FinerLevel::Missing;
    ASSERT_TRUE(writeTileSet(root("Thin"), tiles, &origin));
    Fresco job;
    job.setResolution(0.5);
    QStringList warnings;
    job.setWarningLog([&warnings](QString text) { warnings << text; });
    const JobRecord record = runJob(job, {entry("Thin")}, out());
    EXPECT_TRUE(record.errors.isEmpty());
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith("level file could not be read"));
    EXPECT_TRUE(warnings[0].endsWith(tiles[0].name + "_L1.osgb")) << warnings[0].toStdString();
}
