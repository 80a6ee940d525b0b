#include "rastergrid.h"

#include <gdal_priv.h>

#include <algorithm>
#include <cmath>

namespace placement {

namespace {

constexpr double kOffGrid = 1e-3;

struct Opened
{
    double geo[6];
    int width;
    int height;
};

bool readGeometry(const std::string &path, Opened &opened, std::string &error)
{
    GDALDataset *dataset = static_cast<GDALDataset *>(GDALOpen(path.c_str(), GA_ReadOnly));
    if (!dataset) {
        error = path + ": cannot be opened";
        return false;
    }
    const bool georeferenced = dataset->GetGeoTransform(opened.geo) == CE_None;
    opened.width = dataset->GetRasterXSize();
    opened.height = dataset->GetRasterYSize();
    GDALClose(dataset);
    if (!georeferenced) {
        error = path + ": has no geotransform";
        return false;
    }
    if (opened.geo[2] != 0 || opened.geo[4] != 0 || !(opened.geo[1] > 0) || !(opened.geo[5] < 0)) {
        error = path + ": is not a north-up raster";
        return false;
    }
    return true;
}

bool wholePixels(double value, int &index)
{
    const double nearest = std::floor(value + 0.5);
    if (std::fabs(value - nearest) > kOffGrid || std::fabs(nearest) > 1e9)
        return false;
    index = static_cast<int>(nearest);
    return true;
}

} // namespace

bool unionGrid(const std::vector<std::string> &paths, RasterGrid &grid,
               std::vector<GridPlacement> &placements, std::string &error)
{
    placements.clear();
    if (paths.empty()) {
        error = "no raster given";
        return false;
    }
    GDALAllRegister();
    Opened first{};
    int minColumn = 0, minRow = 0, maxColumn = 0, maxRow = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        Opened opened{};
        if (!readGeometry(paths[i], opened, error))
            return false;
        if (i == 0)
            first = opened;
        const double relativeSize = std::fabs(opened.geo[1] - first.geo[1]) / first.geo[1]
                                    + std::fabs(opened.geo[5] - first.geo[5]) / -first.geo[5];
        GridPlacement placement;
        placement.path = paths[i];
        placement.width = opened.width;
        placement.height = opened.height;
        if (relativeSize > 1e-9
            || !wholePixels((opened.geo[0] - first.geo[0]) / first.geo[1], placement.column)
            || !wholePixels((opened.geo[3] - first.geo[3]) / first.geo[5], placement.row)) {
            error = paths[i] + ": does not lie on the pixel grid of " + paths[0];
            return false;
        }
        if (i == 0 || placement.column < minColumn) minColumn = placement.column;
        if (i == 0 || placement.row < minRow) minRow = placement.row;
        if (i == 0 || placement.column + placement.width > maxColumn)
            maxColumn = placement.column + placement.width;
        if (i == 0 || placement.row + placement.height > maxRow)
            maxRow = placement.row + placement.height;
        placements.push_back(placement);
    }
    grid.pixelWidth = first.geo[1];
    grid.pixelHeight = first.geo[5];
    grid.left = first.geo[0] + minColumn * first.geo[1];
    grid.top = first.geo[3] + minRow * first.geo[5];
    grid.width = maxColumn - minColumn;
    grid.height = maxRow - minRow;
    for (GridPlacement &placement : placements) {
        placement.column -= minColumn;
        placement.row -= minRow;
    }
    return true;
}

} // namespace placement
