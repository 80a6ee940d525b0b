// Assembles the rendered tile pictures of one tile set by their ground boxes
// into georeferenced three-band byte rasters (GeoTIFF or ERDAS Imagine),
// either one raster for the whole set or a grid of square pieces.
// Fresco::combiImages wraps this with its error guard.
//
// The pictures wait in a PictureSpill on disk; each raster is assembled and
// written window by window of whole rows, so memory holds one window and
// the rows of one picture that fall in it, whatever the raster's size.
#pragma once

#include "picturespill.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <osg/BoundingBox>
#include <osg/Image>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>

namespace fresco {

struct MosaicSettings
{
    QString outputFolder;  // existing folder, no trailing separator
    QString imageFmt;      // ".img" selects HFA, anything else GTiff
    int background = 0;    // 0: black fill, otherwise white
    double resolution = 0.2;  // ground units per pixel
    QStringList creationOptions;  // NAME=VALUE for the driver
    bool overviews = false;
    bool mask = false;            // per-dataset mask: 255 where a tile placed a pixel
    QByteArray projectionWkt;     // empty: no coordinate system
    const std::atomic<bool> *stop = nullptr;  // polled between windows
    int64_t windowBytes = 32LL << 20;     // budget of one window's buffers
    int64_t gdalCacheBytes = 64LL << 20;  // GDAL's block cache while writing
    // Told the final path of every raster written completely.
    std::function<void(const QString &)> written;
};

// Split lengths below this write a single raster.
constexpr double kMinSplitLen = 0.00001;

enum class MosaicResult { Written, Failed, Stopped };

// Writes the raster(s) of one tile set from the spilled pictures, in
// ascending tile index; a pure-black pixel is "no model" and never
// overwrites anything. `offset` (x, y) moves the local coordinates into the
// set's reference system. Texts for the error callback go to `report`.
// Written only when every raster that was due is complete under its final
// name; unfinished files are removed on any other result.
MosaicResult writeMosaic(const MosaicSettings &settings, const osg::BoundingBoxd &overallBox,
                         PictureSpill &spill, const QString &name, const osg::Vec3d &offset,
                         double splitLen, const std::function<void(const QString &)> &report);

// The same from pictures and boxes held in memory (row 0 at the northern
// edge, 3 or more bytes per pixel, the first three red, green, blue).
MosaicResult writeMosaic(const MosaicSettings &settings, const osg::BoundingBoxd &overallBox,
                         const std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                         const std::map<int, osg::BoundingBoxd> &boxes, const QString &name,
                         const osg::Vec3d &offset, double splitLen,
                         const std::function<void(const QString &)> &report);

// Writes the raster(s) of one tile set whose pictures were drawn on `grid`
// (PictureSpill::addPlaced), in ascending tile index; a picture's alpha says
// where it holds the model. One raster covers every tile's pixels; pieces
// (splitLen >= kMinSplitLen) are named, counted and selected as for the
// writer above, each ceil(splitLen / resolution) pixels a side and starting
// at the grid pixel at or north-west of its nominal corner, so pieces leave
// no gap and share the grid. Results as for writeMosaic.
MosaicResult writeGridMosaic(const MosaicSettings &settings, const PixelGrid &grid,
                             const osg::BoundingBoxd &overallBox, PictureSpill &spill,
                             const QString &name, double splitLen,
                             const std::function<void(const QString &)> &report);

} // namespace fresco
