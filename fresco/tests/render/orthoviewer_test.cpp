// The off-screen viewer and its helpers on generated tiles: picture size and
// framing, three-byte read-back, views larger than the surface, paged levels
// (present, missing, unreadable), tile boxes and the view height.
#include "render_support.h"
#include "tilesetgenerator.h"

#include "bboxcomputer.h"
#include "levelreadcallback.h"
#include "orthoviewer.h"
#include "viewpolygon.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <osg/DisplaySettings>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/PagedLOD>
#include <osg/StateSet>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

#include <cmath>
#include <cstring>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#endif

using namespace fresco;
using namespace fresco::testing;

namespace {

osg::ref_ptr<osg::Node> readTile(const QString &root, const GeneratedTile &tile)
{
    const QString path = root + QStringLiteral("/Data/") + tile.name + QLatin1Char('/') + tile.name
                         + QStringLiteral(".osgb");
    osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(path.toLocal8Bit().toStdString());
    if (node)
        node->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF
                                                              | osg::StateAttribute::OVERRIDE);
    return node;
}

osg::BoundingBoxd measure(osg::Node &node)
{
    BBoxComputer computer;
    node.accept(computer);
    return computer.box();
}

// Renders one tile like the job does and returns its picture (rows
// bottom-up), or null.
osg::ref_ptr<osg::Image> renderBox(OrthoViewer &viewer, osg::Node *node,
                                   const std::vector<osg::Vec3d> &polygon, double resolution,
                                   int /*key*/)
{
    viewer.setPixelsPerUnit(static_cast<float>(1.0 / resolution));
    viewer.setModel(node);
    viewer.setTopDown(1);
    return viewer.render(polygon);
}

// Colour of the picture at ground (x, y) of a view centred on the box.
Rgb pictureColour(const osg::Image &picture, const osg::BoundingBoxd &box, double halfWidth,
                  double halfHeight, double x, double y)
{
    const double left = (box.xMin() + box.xMax()) / 2 - halfWidth;
    const double bottom = (box.yMin() + box.yMax()) / 2 - halfHeight;
    const int column = static_cast<int>(std::floor((x - left) / (2 * halfWidth) * picture.s()));
    const int row = static_cast<int>(std::floor((y - bottom) / (2 * halfHeight) * picture.t()));
    if (column < 0 || row < 0 || column >= picture.s() || row >= picture.t())
        return Rgb{1, 2, 3};
    const unsigned char *p = picture.data(column, row);
    return Rgb{p[0], p[1], p[2]};
}

int centreAlpha(const osg::Image &picture)
{
    return picture.data(picture.s() / 2, picture.t() / 2)[3];
}

class OrthoViewerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString root(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir;
};

} // namespace

TEST(ViewPolygonHeight, KeepsTheEyeAboveTheHighestPoint)
{
    // Mid height not negative: the rule as ever, to the last bit.
    osg::BoundingBoxd positive(0, 0, 10, 40, 40, 30);
    EXPECT_EQ(viewPolygonHeight(positive), 30 + (10 + 30) / 2.0);
    osg::BoundingBoxd zeroMid(0, 0, -20, 40, 40, 20);
    EXPECT_EQ(viewPolygonHeight(zeroMid), 20.0);

    // Negative mid heights would sink the polygon below the top.
    osg::BoundingBoxd below(0, 0, -100, 40, 40, -50);
    EXPECT_EQ(viewPolygonHeight(below), -50.0);
    osg::BoundingBoxd straddling(0, 0, -80, 40, 40, 20);
    EXPECT_EQ(viewPolygonHeight(straddling), 20.0);

    const std::vector<osg::Vec3d> corners = viewPolygon(positive);
    ASSERT_EQ(corners.size(), 4u);
    EXPECT_EQ(corners[0], osg::Vec3d(0, 0, 50));
    EXPECT_EQ(corners[1], osg::Vec3d(40, 0, 50));
    EXPECT_EQ(corners[2], osg::Vec3d(40, 40, 50));
    EXPECT_EQ(corners[3], osg::Vec3d(0, 40, 50));
}

TEST_F(OrthoViewerTest, TileBoxComesFromTheLoadedLevelWithoutReadingFiles)
{
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_A");
    tile.xmin = 5, tile.xmax = 45, tile.ymin = -10, tile.ymax = 10, tile.zmin = 2, tile.zmax = 8;
    GeneratedTile farTile = tile;
    farTile.name = QStringLiteral("Tile_Far");
    farTile.xmin = 1000, farTile.xmax = 1100;
    ASSERT_TRUE(writeTileSet(root("set"), {tile, farTile}, nullptr));

    osg::ref_ptr<osg::Node> node = readTile(root("set"), tile);
    ASSERT_TRUE(node);
    // Point the paged node's file at the far tile: reading it would show.
    auto *paged = dynamic_cast<osg::PagedLOD *>(node.get());
    ASSERT_NE(paged, nullptr);
    paged->setFileName(1, (root("set") + "/Data/Tile_Far/Tile_Far.osgb").toStdString());

    const osg::BoundingBoxd box = measure(*node);
    EXPECT_DOUBLE_EQ(box.xMin(), 5);
    EXPECT_DOUBLE_EQ(box.xMax(), 45);
    EXPECT_DOUBLE_EQ(box.yMin(), -10);
    EXPECT_DOUBLE_EQ(box.yMax(), 10);
    EXPECT_DOUBLE_EQ(box.zMin(), 2);
    EXPECT_DOUBLE_EQ(box.zMax(), 8);
    EXPECT_TRUE(BBoxComputer::isValid(box));
}

namespace {

// A Geode holding one flat square from (x0, y0) to (x1, y1) at height z.
osg::ref_ptr<osg::Geode> square(double x0, double y0, double x1, double y1, double z)
{
    osg::ref_ptr<osg::Vec3Array> corners = new osg::Vec3Array;
    corners->push_back(osg::Vec3(x0, y0, z));
    corners->push_back(osg::Vec3(x1, y0, z));
    corners->push_back(osg::Vec3(x1, y1, z));
    corners->push_back(osg::Vec3(x0, y1, z));
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(corners.get());
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    return geode;
}

} // namespace

TEST_F(OrthoViewerTest, TileBoxJoinsEveryLoadedChildOfAPagedNode)
{
    GeneratedTile farTile;
    farTile.name = QStringLiteral("Tile_Far");
    farTile.xmin = 1000, farTile.xmax = 1100;
    ASSERT_TRUE(writeTileSet(root("set"), {farTile}, nullptr));

    // Two loaded levels of different extent: both count, and the level file
    // (the far tile, which would show in the box) is not read.
    osg::ref_ptr<osg::PagedLOD> paged = new osg::PagedLOD;
    paged->addChild(square(0, 0, 10, 10, 1), 0.0f, 1.0f);
    paged->addChild(square(-5, 2, 4, 30, 3), 1.0f, 2.0f);
    paged->setFileName(2, (root("set") + "/Data/Tile_Far/Tile_Far.osgb").toStdString());
    paged->setRange(2, 2.0f, 1e30f);

    const osg::BoundingBoxd box = measure(*paged);
    EXPECT_DOUBLE_EQ(box.xMin(), -5);
    EXPECT_DOUBLE_EQ(box.xMax(), 10);
    EXPECT_DOUBLE_EQ(box.yMin(), 0);
    EXPECT_DOUBLE_EQ(box.yMax(), 30);
    EXPECT_DOUBLE_EQ(box.zMin(), 1);
    EXPECT_DOUBLE_EQ(box.zMax(), 3);
}

TEST_F(OrthoViewerTest, TileBoxOfAnEmptyPagedNodeIsReadFromItsLevelFiles)
{
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_B");
    tile.xmin = 100, tile.xmax = 120, tile.ymin = 200, tile.ymax = 260, tile.zmin = -5, tile.zmax = 5;
    ASSERT_TRUE(writeTileSet(root("set"), {tile}, nullptr));

    osg::ref_ptr<osg::PagedLOD> empty = new osg::PagedLOD;
    empty->setDatabasePath((root("set") + "/Data/Tile_B/").toStdString());
    empty->setFileName(0, "");
    empty->setRange(0, 0, 1);
    empty->setFileName(1, "Tile_B_L1.osgb");
    empty->setRange(1, 1, 1e30f);
    empty->setFileName(2, "no_such_level.osgb");
    empty->setRange(2, 1, 1e30f);

    const osg::BoundingBoxd box = measure(*empty);
    EXPECT_DOUBLE_EQ(box.xMin(), 100);
    EXPECT_DOUBLE_EQ(box.xMax(), 120);
    EXPECT_DOUBLE_EQ(box.yMin(), 200);
    EXPECT_DOUBLE_EQ(box.yMax(), 260);
    EXPECT_DOUBLE_EQ(box.zMin(), -5);
    EXPECT_DOUBLE_EQ(box.zMax(), 5);

    // Nothing to measure at all: the box stays empty (invalid).
    osg::ref_ptr<osg::PagedLOD> nothing = new osg::PagedLOD;
    nothing->setFileName(0, "no_such_level.osgb");
    EXPECT_FALSE(BBoxComputer::isValid(measure(*nothing)));
}

TEST_F(OrthoViewerTest, PictureCoversTheFootprintWithOnePixelOfMargin)
{
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_C");
    tile.xmin = 0, tile.xmax = 100, tile.ymin = 0, tile.ymax = 50;
    ASSERT_TRUE(writeTileSet(root("set"), {tile}, nullptr));
    osg::ref_ptr<osg::Node> node = readTile(root("set"), tile);
    ASSERT_TRUE(node);
    const osg::BoundingBoxd box = measure(*node);

    OrthoViewer viewer;
    ASSERT_TRUE(viewer.isValid());
    osg::ref_ptr<osg::Image> picture = renderBox(viewer, node.get(), viewPolygon(box), 0.5, 7);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->s(), 202);
    EXPECT_EQ(picture->t(), 102);
    EXPECT_EQ(picture->getPixelFormat(), static_cast<GLenum>(GL_RGBA));
    EXPECT_EQ(picture->getPacking(), 1u);
    EXPECT_EQ(picture->getTotalSizeInBytes(), 202u * 102u * 4u);
    EXPECT_DOUBLE_EQ(viewer.viewHalfWidth(), 50.5);
    EXPECT_DOUBLE_EQ(viewer.viewHalfHeight(), 25.5);
    EXPECT_EQ(viewer.lastPartCount(), 1);

    // The finer level was paged in and drawn: four quadrant colours, the
    // margin black, the first row the southern edge.
    const double hw = viewer.viewHalfWidth(), hh = viewer.viewHalfHeight();
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 25, 12.5), tile.quadrants[0]);
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 75, 12.5), tile.quadrants[1]);
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 25, 37.5), tile.quadrants[2]);
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 75, 37.5), tile.quadrants[3]);
    const unsigned char *corner = picture->data(0, 0);
    EXPECT_EQ(Rgb({corner[0], corner[1], corner[2]}), Rgb({0, 0, 0}));
    const unsigned char *inside = picture->data(1, 1);
    EXPECT_EQ(Rgb({inside[0], inside[1], inside[2]}), tile.quadrants[0]);
    EXPECT_EQ(viewer.levelReads()->failedReads(), 0u);
}

TEST_F(OrthoViewerTest, ReadBackIsRgbaWhateverAlphaTheSurfaceHas)
{
#ifdef _WIN32
    // Wine's X driver ends the process with BadMatch on a pbuffer with alpha.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version"))
        GTEST_SKIP() << "a pbuffer with alpha bits ends the process under Wine";
#endif
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_D");
    ASSERT_TRUE(writeTileSet(root("set"), {tile}, nullptr));
    osg::ref_ptr<osg::Node> node = readTile(root("set"), tile);
    ASSERT_TRUE(node);

    osg::DisplaySettings *display = osg::DisplaySettings::instance().get();
    const unsigned int savedAlpha = display->getMinimumNumAlphaBits();
    display->setMinimumNumAlphaBits(8);
    osg::ref_ptr<osg::Image> picture;
    {
        OrthoViewer viewer;
        display->setMinimumNumAlphaBits(savedAlpha);
        ASSERT_TRUE(viewer.isValid());
        picture = renderBox(viewer, node.get(), viewPolygon(measure(*node)), 0.25, 1);
    }
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->getPixelFormat(), static_cast<GLenum>(GL_RGBA));
    EXPECT_EQ(picture->getPixelSizeInBits(), 32u);
    EXPECT_EQ(picture->getTotalSizeInBytes(),
              static_cast<unsigned int>(picture->s() * picture->t() * 4));
    // The surface's alpha does not matter: alpha says what was drawn.
    EXPECT_EQ(centreAlpha(*picture), 255);
    EXPECT_EQ(picture->data(0, 0)[3], 0);
    const unsigned char *centre = picture->data(picture->s() / 4, picture->t() / 4);
    EXPECT_EQ(Rgb({centre[0], centre[1], centre[2]}), tile.quadrants[0]);
}

TEST_F(OrthoViewerTest, ViewLargerThanTheSurfaceIsDrawnInPartsAndJoined)
{
    // Two tiles at different heights, so the joined picture has seams of
    // colour in both directions that must land where one surface puts them.
    std::vector<GeneratedTile> tiles = tileGrid(2, 1, 20.0);
    tiles[1].zmin = 40, tiles[1].zmax = 60;
    ASSERT_TRUE(writeTileSet(root("set"), tiles, nullptr));
    osg::ref_ptr<osg::Node> first = readTile(root("set"), tiles[0]);
    osg::ref_ptr<osg::Node> second = readTile(root("set"), tiles[1]);
    ASSERT_TRUE(first && second);
    osg::BoundingBoxd box = measure(*first);
    box.expandBy(measure(*second));

    auto render = [&](int width, int height, int &parts) {
        OrthoViewerSettings settings;
        settings.maxSurfaceWidth = width;
        settings.maxSurfaceHeight = height;
        OrthoViewer viewer(settings);
        EXPECT_TRUE(viewer.isValid());
        viewer.setModel(first);
        osg::ref_ptr<osg::Image> picture = renderBox(viewer, second.get(), viewPolygon(box), 0.125, 3);
        parts = viewer.lastPartCount();
        return picture;
    };
    int wholeParts = 0;
    int joinedParts = 0;
    osg::ref_ptr<osg::Image> whole = render(0, 0, wholeParts);
    // 322 x 162 pixels on a 50 x 40 surface: 7 x 5 parts, ragged at the end.
    osg::ref_ptr<osg::Image> joined = render(50, 40, joinedParts);
    ASSERT_TRUE(whole && joined);
    EXPECT_EQ(wholeParts, 1);
    EXPECT_EQ(joinedParts, 35);
    ASSERT_EQ(joined->s(), 322);
    ASSERT_EQ(joined->t(), 162);
    ASSERT_EQ(whole->s(), joined->s());
    ASSERT_EQ(whole->t(), joined->t());
    EXPECT_EQ(joined->getPixelFormat(), static_cast<GLenum>(GL_RGBA));

    std::size_t differing = 0;
    std::size_t black = 0;
    for (int row = 0; row < whole->t(); ++row) {
        for (int column = 0; column < whole->s(); ++column) {
            if (std::memcmp(whole->data(column, row), joined->data(column, row), 4) != 0)
                ++differing;
            const unsigned char *p = joined->data(column, row);
            if (p[0] == 0 && p[1] == 0 && p[2] == 0)
                ++black;
        }
    }
    EXPECT_EQ(differing, 0u);
    // Only the one-pixel margin is empty.
    EXPECT_EQ(black, static_cast<std::size_t>(2 * 322 + 2 * 160));
}

TEST_F(OrthoViewerTest, MissingFinerLevelDrawsTheCoarseLevelWithoutAskingForTheFile)
{
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_E");
    tile.finer = GeneratedTile::FinerLevel::Missing;
    GeneratedTile cut;
    cut.name = QStringLiteral("Tile_F");
    cut.xmin = 20, cut.xmax = 30;
    cut.finerNamesMissingChild = true;
    ASSERT_TRUE(writeTileSet(root("set"), {tile, cut}, nullptr));

    OrthoViewer viewer;
    ASSERT_TRUE(viewer.isValid());
    osg::ref_ptr<osg::Node> node = readTile(root("set"), tile);
    ASSERT_TRUE(node);
    osg::BoundingBoxd box = measure(*node);
    osg::ref_ptr<osg::Image> picture = renderBox(viewer, node.get(), viewPolygon(box), 0.1, 1);
    ASSERT_TRUE(picture);
    const double hw = viewer.viewHalfWidth(), hh = viewer.viewHalfHeight();
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 2.5, 2.5), tile.coarse);
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 7.5, 7.5), tile.coarse);

    // A finer level that names a missing level of its own is the deepest
    // level present, and is drawn.
    osg::ref_ptr<osg::Node> cutNode = readTile(root("set"), cut);
    ASSERT_TRUE(cutNode);
    box = measure(*cutNode);
    picture = renderBox(viewer, cutNode.get(), viewPolygon(box), 0.1, 2);
    ASSERT_TRUE(picture);
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 22.5, 2.5), cut.quadrants[0]);
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 27.5, 7.5), cut.quadrants[3]);

    // A level naming its own file would page itself without end.
    GeneratedTile self;
    self.name = QStringLiteral("Tile_S");
    self.xmin = 40, self.xmax = 50;
    self.finer = GeneratedTile::FinerLevel::Itself;
    ASSERT_TRUE(writeTileSet(root("set"), {self}, nullptr));
    osg::ref_ptr<osg::Node> selfNode = readTile(root("set"), self);
    ASSERT_TRUE(selfNode);
    box = measure(*selfNode);
    picture = renderBox(viewer, selfNode.get(), viewPolygon(box), 0.1, 3);
    ASSERT_TRUE(picture);
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 45, 5), self.coarse);

    // None of these files was ever asked for.
    EXPECT_EQ(viewer.levelReads()->failedReads(), 0u);
    EXPECT_EQ(viewer.levelReads()->prunedLevels(), 3u);
}

TEST_F(OrthoViewerTest, UnreadableFinerLevelSettlesOnTheCoarseLevel)
{
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_G");
    tile.finer = GeneratedTile::FinerLevel::Unreadable;
    ASSERT_TRUE(writeTileSet(root("set"), {tile}, nullptr));

    OrthoViewerSettings settings;
    settings.loadTimeLimit = 20.0;
    OrthoViewer viewer(settings);
    ASSERT_TRUE(viewer.isValid());
    osg::ref_ptr<osg::Node> node = readTile(root("set"), tile);
    ASSERT_TRUE(node);
    const osg::BoundingBoxd box = measure(*node);
    osg::ref_ptr<osg::Image> picture = renderBox(viewer, node.get(), viewPolygon(box), 0.1, 1);
    ASSERT_TRUE(picture);
    const double hw = viewer.viewHalfWidth(), hh = viewer.viewHalfHeight();
    EXPECT_EQ(pictureColour(*picture, box, hw, hh, 5, 5), tile.coarse);
    EXPECT_GE(viewer.levelReads()->failedReads(), 1u);
}

TEST_F(OrthoViewerTest, WaitForLevelsIsBoundedAndLeavesThePagerUsable)
{
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_H");
    ASSERT_TRUE(writeTileSet(root("set"), {tile}, nullptr));
    osg::ref_ptr<osg::Node> node = readTile(root("set"), tile);
    ASSERT_TRUE(node);
    const osg::BoundingBoxd box = measure(*node);

    // No time at all to wait: the view is drawn with what is there, the
    // coarse level, and nothing is left loading.
    OrthoViewerSettings settings;
    settings.loadTimeLimit = 0.0;
    OrthoViewer hurried(settings);
    ASSERT_TRUE(hurried.isValid());
    osg::ref_ptr<osg::Image> picture = renderBox(hurried, node.get(), viewPolygon(box), 0.5, 1);
    ASSERT_TRUE(picture);
    EXPECT_EQ(pictureColour(*picture, box, hurried.viewHalfWidth(), hurried.viewHalfHeight(), 2.5, 2.5),
              tile.coarse);
    EXPECT_EQ(hurried.levelReads()->readsInFlight(), 0u);

    // A viewer with time to wait pages the finer level in as usual.
    OrthoViewer patient;
    ASSERT_TRUE(patient.isValid());
    osg::ref_ptr<osg::Node> again = readTile(root("set"), tile);
    picture = renderBox(patient, again.get(), viewPolygon(box), 0.5, 1);
    ASSERT_TRUE(picture);
    EXPECT_EQ(pictureColour(*picture, box, patient.viewHalfWidth(), patient.viewHalfHeight(), 2.5, 2.5),
              tile.quadrants[0]);
}

TEST_F(OrthoViewerTest, LaterViewsAlsoDrawEarlierTilesInTheirFootprint)
{
    std::vector<GeneratedTile> tiles = tileGrid(2, 1, 10.0);
    ASSERT_TRUE(writeTileSet(root("set"), tiles, nullptr));
    OrthoViewer viewer;
    ASSERT_TRUE(viewer.isValid());
    osg::ref_ptr<osg::Node> first = readTile(root("set"), tiles[0]);
    osg::ref_ptr<osg::Node> second = readTile(root("set"), tiles[1]);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(renderBox(viewer, first.get(), viewPolygon(measure(*first)), 0.5, 1));

    // A polygon over both tiles, drawn while only the second is added now.
    osg::BoundingBoxd both = measure(*first);
    both.expandBy(measure(*second));
    osg::ref_ptr<osg::Image> picture = renderBox(viewer, second.get(), viewPolygon(both), 0.5, 2);
    ASSERT_TRUE(picture);
    const double hw = viewer.viewHalfWidth(), hh = viewer.viewHalfHeight();
    EXPECT_EQ(pictureColour(*picture, both, hw, hh, 2.5, 2.5), tiles[0].quadrants[0]);
    EXPECT_EQ(pictureColour(*picture, both, hw, hh, 17.5, 7.5), tiles[1].quadrants[3]);
}

TEST_F(OrthoViewerTest, TilesBelowZeroAreSeenFromAbove)
{
    struct Case { double zmin, zmax; };
    const Case cases[] = {{-100, -50}, {-80, 20}, {10, 30}};
    std::vector<GeneratedTile> tiles = tileGrid(3, 1, 20.0);
    for (int i = 0; i < 3; ++i) {
        tiles[i].xmin += 10 * i, tiles[i].xmax += 10 * i;  // keep them apart
        tiles[i].zmin = cases[i].zmin, tiles[i].zmax = cases[i].zmax;
    }
    ASSERT_TRUE(writeTileSet(root("set"), tiles, nullptr));

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        osg::ref_ptr<osg::Node> node = readTile(root("set"), tiles[i]);
        ASSERT_TRUE(node);
        const osg::BoundingBoxd box = measure(*node);
        const double oldHeight = box.zMax() + (box.zMin() + box.zMax()) / 2;
        std::vector<osg::Vec3d> oldPolygon = viewPolygon(box);
        for (osg::Vec3d &corner : oldPolygon)
            corner.z() = oldHeight;

        OrthoViewer fixed;
        OrthoViewer old;
        ASSERT_TRUE(fixed.isValid() && old.isValid());
        osg::ref_ptr<osg::Image> now = renderBox(fixed, node.get(), viewPolygon(box), 0.5, 1);
        osg::ref_ptr<osg::Image> before = renderBox(old, node.get(), oldPolygon, 0.5, 1);
        ASSERT_TRUE(now && before);
        const double hw = fixed.viewHalfWidth(), hh = fixed.viewHalfHeight();
        const double cx = (box.xMin() + box.xMax()) / 2, cy = (box.yMin() + box.yMax()) / 2;
        for (int k = 0; k < 4; ++k) {
            const double x = cx + (k % 2 ? 5 : -5), y = cy + (k / 2 ? 5 : -5);
            EXPECT_EQ(pictureColour(*now, box, hw, hh, x, y), tiles[i].quadrants[k]) << k;
        }
        const bool same = now->getTotalSizeInBytes() == before->getTotalSizeInBytes()
                          && std::memcmp(now->data(), before->data(), now->getTotalSizeInBytes()) == 0;
        // Positive mid height: nothing changed. Negative: the old height cut
        // the north-east square (the highest) away.
        EXPECT_EQ(same, i == 2);
        if (i < 2) {
            EXPECT_EQ(pictureColour(*before, box, hw, hh, cx + 5, cy + 5), Rgb({0, 0, 0}));
        }
    }
}

TEST_F(OrthoViewerTest, PolygonOfFewerThanThreePointsRendersNothing)
{
    OrthoViewer viewer;
    ASSERT_TRUE(viewer.isValid());
    viewer.setPixelsPerUnit(1.0f);
    viewer.setTopDown(1);
    EXPECT_FALSE(viewer.render({osg::Vec3d(0, 0, 0), osg::Vec3d(1, 0, 0)}));
    // A footprint beyond any sensible picture is refused, not allocated.
    viewer.setPixelsPerUnit(1e6f);
    osg::BoundingBoxd huge(0, 0, 0, 1e6, 1e6, 1);
    EXPECT_FALSE(viewer.render(viewPolygon(huge)));
    EXPECT_TRUE(viewer.lastPictureTooLarge());
    EXPECT_FALSE(viewer.render(viewPolygon(huge), 1 << 20, 1 << 20));
    EXPECT_TRUE(viewer.lastPictureTooLarge());
}

TEST_F(OrthoViewerTest, RealTileWithMissingLevelsRendersFromTheDeepestPresent)
{
    // A production tile whose level files are partly absent, loose in one
    // folder: the root's children are found beside it.
    const QString folder = repoRoot() + QStringLiteral("/../shared/testdata/osgb/Tile_+007_+078");
    const QString file = folder + QStringLiteral("/Tile_+007_+078.osgb");
    if (!QFileInfo::exists(file))
        GTEST_SKIP() << "shared test data not present";

    OrthoViewer viewer;
    ASSERT_TRUE(viewer.isValid());
    osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(file.toLocal8Bit().toStdString());
    ASSERT_TRUE(node);
    node->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    const osg::BoundingBoxd box = measure(*node);
    ASSERT_TRUE(BBoxComputer::isValid(box));
    // Fine enough that the root asks for its finer level, whose own finer
    // levels are mostly absent.
    osg::ref_ptr<osg::Image> picture = renderBox(viewer, node.get(), viewPolygon(box), 0.1, 1);
    ASSERT_TRUE(picture);

    std::size_t coloured = 0;
    for (int row = 0; row < picture->t(); ++row)
        for (int column = 0; column < picture->s(); ++column) {
            const unsigned char *p = picture->data(column, row);
            coloured += (p[0] | p[1] | p[2]) != 0;
        }
    const double total = static_cast<double>(picture->s()) * picture->t();
    EXPECT_GT(coloured / total, 0.5);
    // The absent files were pruned, not requested again and again.
    EXPECT_GE(viewer.levelReads()->prunedLevels(), 1u);
    EXPECT_EQ(viewer.levelReads()->failedReads(), 0u);
    EXPECT_GE(viewer.levelReads()->successfulReads(), 2u);
}
