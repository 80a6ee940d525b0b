#include "render_support.h"

#include <gdal_priv.h>

#include <cmath>

namespace fresco::testing {

QString repoRoot()
{
    return QStringLiteral(QUILLFEN_SOURCE_DIR);
}

JobRecord runJob(Fresco &job, const QStringList &entries, const QString &outputFolder)
{
    JobRecord record;
    job.setPercentCallback([&record](float value) { record.percents.push_back(value); });
    job.setErrorLog([&record](QString text) { record.errors.append(text); });
    job.setFinishCallback([&record]() { ++record.finishes; });
    job.start(entries, outputFolder);
    return record;
}

Rgb Raster::pixel(int column, int row) const
{
    if (column < 0 || row < 0 || column >= width || row >= height || bandsData[0].empty())
        return Rgb{};
    const std::size_t at = static_cast<std::size_t>(row) * width + column;
    return Rgb{bandsData[0][at], bandsData[1][at], bandsData[2][at]};
}

bool Raster::pixelAt(double x, double y, int &column, int &row) const
{
    column = static_cast<int>(std::floor((x - geoTransform[0]) / geoTransform[1]));
    row = static_cast<int>(std::floor((y - geoTransform[3]) / geoTransform[5]));
    return column >= 0 && row >= 0 && column < width && row < height;
}

Rgb Raster::colourAt(double x, double y) const
{
    int column = 0;
    int row = 0;
    if (!pixelAt(x, y, column, row))
        return Rgb{1, 2, 3};  // never written by a test set
    return pixel(column, row);
}

Raster readRaster(const QString &path)
{
    Raster raster;
    GDALAllRegister();
    auto *dataset =
        static_cast<GDALDataset *>(GDALOpen(path.toLocal8Bit().constData(), GA_ReadOnly));
    if (!dataset)
        return raster;
    raster.opened = true;
    raster.width = dataset->GetRasterXSize();
    raster.height = dataset->GetRasterYSize();
    raster.bands = dataset->GetRasterCount();
    dataset->GetGeoTransform(raster.geoTransform.data());
    for (int band = 0; band < 3 && band < raster.bands; ++band) {
        auto &data = raster.bandsData[band];
        data.resize(static_cast<std::size_t>(raster.width) * raster.height);
        if (dataset->GetRasterBand(band + 1)->RasterIO(GF_Read, 0, 0, raster.width, raster.height,
                                                       data.data(), raster.width, raster.height,
                                                       GDT_Byte, 0, 0)
            != CE_None)
            data.clear();
    }
    GDALClose(dataset);
    return raster;
}

} // namespace fresco::testing
