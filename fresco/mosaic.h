// Assembles the rendered tile pictures of one tile set by their ground boxes
// into georeferenced three-band byte rasters (GeoTIFF or ERDAS Imagine),
// either one raster for the whole set or a grid of square pieces.
// Fresco::combiImages wraps this with its error guard.
#pragma once

#include <QString>

#include <osg/BoundingBox>
#include <osg/Image>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <functional>
#include <map>

namespace fresco {

struct MosaicSettings
{
    QString outputFolder;  // existing folder, no trailing separator
    QString imageFmt;      // ".img" selects HFA, anything else GTiff
    int background = 0;    // 0: black fill, otherwise white
    double resolution = 0.2;  // ground units per pixel
};

// Split lengths below this write a single raster.
constexpr double kMinSplitLen = 0.00001;

// Writes the raster(s) of one tile set. Pictures are keyed by tile index,
// row 0 at the northern edge, 3 (or more) unsigned bytes per pixel of which
// the first three are red, green, blue; a pure-black pixel is "no model" and
// never overwrites anything. `offset` (x, y) moves the local coordinates into
// the set's reference system. Texts for the error callback go to `report`.
// Returns true only when every raster that was due has been written
// completely.
bool writeMosaic(const MosaicSettings &settings,
                 const osg::BoundingBoxd &overallBox,
                 const std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                 const std::map<int, osg::BoundingBoxd> &boxes,
                 const QString &name, const osg::Vec3d &offset, double splitLen,
                 const std::function<void(const QString &)> &report);

} // namespace fresco
