// Shared helpers of the rendering tests: a scratch folder, a job runner that
// records every callback, and a GDAL reader that answers "which colour lies at
// this ground position".
#pragma once

#include "tilesetgenerator.h"

#include "fresco.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <vector>

namespace fresco::testing {

// Root of the repository, for the shared test data beside it.
QString repoRoot();

struct JobRecord
{
    std::vector<float> percents;
    QStringList errors;
    int finishes = 0;
};

// Runs start() with callbacks that record everything.
JobRecord runJob(Fresco &job, const QStringList &entries, const QString &outputFolder);

struct Raster
{
    bool opened = false;
    int width = 0;
    int height = 0;
    int bands = 0;
    std::array<double, 6> geoTransform{};
    std::array<std::vector<std::uint8_t>, 3> bandsData;

    Rgb pixel(int column, int row) const;
    // Pixel whose area holds the ground position (x, y) in the raster's
    // georeferenced coordinates; false when outside the raster.
    bool pixelAt(double x, double y, int &column, int &row) const;
    Rgb colourAt(double x, double y) const;
};

Raster readRaster(const QString &path);

} // namespace fresco::testing

// Lets gtest print colours in failure messages.
namespace fresco::testing {
inline std::ostream &operator<<(std::ostream &out, const Rgb &c)
{
    return out << '(' << int(c.r) << ',' << int(c.g) << ',' << int(c.b) << ')';
}
} // namespace fresco::testing
