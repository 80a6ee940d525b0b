// The pixel grid one or more georeferenced rasters share (a single raster,
// or the pieces of a split one), read from their geotransforms with GDAL.
// The placement check renders its reference on this grid and lays the
// pieces into it; pieces that are not on one grid are refused.
#pragma once

#include <string>
#include <vector>

namespace placement {

struct RasterGrid
{
    // Geotransform of pixel (0, 0)'s north-west corner; pixelHeight < 0 for
    // north-up rasters.
    double left = 0;
    double top = 0;
    double pixelWidth = 0;
    double pixelHeight = 0;
    int width = 0;
    int height = 0;

    double x(double column) const { return left + column * pixelWidth; }
    double y(double row) const { return top + row * pixelHeight; }
};

// Where one raster sits in a shared grid.
struct GridPlacement
{
    std::string path;
    int column = 0;
    int row = 0;
    int width = 0;
    int height = 0;
};

// The smallest grid holding every raster in `paths`. False, with a reason,
// when a raster cannot be opened, is rotated, or lies off the first one's
// grid by more than a thousandth of a pixel.
bool unionGrid(const std::vector<std::string> &paths, RasterGrid &grid,
               std::vector<GridPlacement> &placements, std::string &error);

} // namespace placement
