// The pixel grid a tile set's rasters and tile pictures share. Every tile
// is drawn on this grid, covering a whole-pixel rectangle, so that placing
// its picture in a raster is a copy without any rounding: a feature lands in
// the pixel whose area holds it, at any resolution.
#pragma once

#include <osg/BoundingBox>
#include <osg/Vec3d>

#include <cstdint>

namespace fresco {

// A rectangle of whole pixels; row 0 is the grid's northern row.
struct PixelRect
{
    int64_t column = 0;
    int64_t row = 0;
    int64_t columns = 0;
    int64_t rows = 0;
};

class PixelGrid
{
public:
    // A grid of `resolution` whose corner lies at the set's local origin;
    // with `targetAligned` its lines lie on whole multiples of the resolution
    // in the set's reference system instead (`offset` moves local
    // coordinates there), so that rasters of neighbouring sets share them.
    PixelGrid(double resolution, const osg::Vec3d &offset, bool targetAligned);

    double resolution() const { return m_res; }

    // The smallest rectangle of whole pixels covering the box, at least one
    // pixel each way; edges within a millionth of a pixel of a grid line
    // count as on it.
    PixelRect covering(double xMin, double yMin, double xMax, double yMax) const;
    PixelRect covering(const osg::BoundingBoxd &box) const
    {
        return covering(box.xMin(), box.yMin(), box.xMax(), box.yMax());
    }
    // The pixels whose centres lie inside the box (edges rounded to the
    // nearest grid line), at least one pixel each way: a raster's extent,
    // so that its edge rows and columns are mostly model, not slivers.
    PixelRect nearest(const osg::BoundingBoxd &box) const;
    // The pixel whose north-west corner is nearest at or north-west of the
    // local point (x, y).
    int64_t columnAtOrWest(double x) const;
    int64_t rowAtOrNorth(double y) const;

    // Local coordinates of the west and north edges of pixel column / row.
    double localX(int64_t column) const;
    double localY(int64_t row) const;
    // The same in the set's reference system, for a raster's geotransform.
    double worldX(int64_t column) const;
    double worldY(int64_t row) const;

private:
    double m_res;
    osg::Vec3d m_offset;
    bool m_aligned;
    // World coordinates of pixel (0, 0)'s corner: base + index * resolution.
    double m_baseX = 0;
    double m_baseY = 0;
    int64_t m_indexX = 0;
    int64_t m_indexY = 0;
};

} // namespace fresco
