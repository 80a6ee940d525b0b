// Writes small but real tile sets for the rendering tests: metadata.xml with
// an SRSOrigin, and per tile Data/T/T.osgb holding a paged node whose coarse
// level is embedded and whose finer level lives in T_L1.osgb beside it.
//
// Every level of a tile is a 2 x 2 grid of textured squares over the tile's
// ground rectangle; each square shows one texel of a 2 x 2 texture, so it has
// one solid colour. The coarse level paints all four squares in one colour,
// the finer level in the four quadrant colours, so a picture tells which
// level was drawn. Heights of the squares run from zmin (south-west) to zmax
// (north-east), so the tile's box spans exactly [zmin, zmax].
#pragma once

#include <QString>

#include <osg/Vec3d>

#include <array>
#include <cstdint>
#include <vector>

namespace fresco::testing {

struct Rgb
{
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb &other) const { return r == other.r && g == other.g && b == other.b; }
};

struct GeneratedTile
{
    QString name;                  // folder and file base name, e.g. "Tile_+000_+000"
    double xmin = 0, ymin = 0, xmax = 10, ymax = 10;
    double zmin = 10, zmax = 30;
    Rgb coarse{128, 128, 128};
    // South-west, south-east, north-west, north-east.
    std::array<Rgb, 4> quadrants{{{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {200, 200, 40}}};
    // Pixel size on screen above which the finer level is wanted.
    float switchPixels = 1.0f;

    enum class FinerLevel {
        Written,      // T_L1.osgb exists
        Missing,      // named by the root, but absent
        Unreadable,   // present, but not a scene-graph file
        Itself        // the root names its own file as its finer level
    };
    FinerLevel finer = FinerLevel::Written;
    // The finer level names a further level of its own that does not exist,
    // as in production sets whose pyramid was cut short.
    bool finerNamesMissingChild = false;
    bool writeRoot = true;
    // When not zero, the root file holds a MatrixTransform translating by it
    // above the paged node (as a converter's "translate" option writes), so
    // the tile is drawn at its rectangle and heights moved by this amount.
    osg::Vec3d rootShift{0, 0, 0};
};

// Colour of the finer level at a ground position inside the tile.
Rgb expectedColour(const GeneratedTile &tile, double x, double y);

// Writes root/metadata.xml (when `origin` is given) and root/Data/<tile>/...
// Returns false when any file could not be written.
bool writeTileSet(const QString &root, const std::vector<GeneratedTile> &tiles,
                  const osg::Vec3d *origin);

// A grid of columns x rows tiles of `size` ground units each, starting at
// (x0, y0), named Tile_+CCC_+RRR, each with its own quadrant colours.
std::vector<GeneratedTile> tileGrid(int columns, int rows, double size, double x0 = 0,
                                    double y0 = 0);

} // namespace fresco::testing
