// Reads a raster written by libfresco back through GDAL for the tests.
#pragma once

#include <QString>

#include <gdal_priv.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct RasterContent
{
    bool opened = false;
    std::string driver;
    int width = 0;
    int height = 0;
    int bands = 0;
    std::array<double, 6> geoTransform{};
    std::array<std::vector<uint8_t>, 3> rgb;

    // One letter per pixel for small hand-drawn expectations: '.' for the
    // given background grey, R G B Y W for pure colours, '?' otherwise.
    char letter(int row, int column, uint8_t background) const
    {
        const size_t at = static_cast<size_t>(row) * width + column;
        const uint8_t r = rgb[0][at], g = rgb[1][at], b = rgb[2][at];
        if (r == background && g == background && b == background)
            return '.';
        if (r == 200 && g == 0 && b == 0)
            return 'R';
        if (r == 0 && g == 200 && b == 0)
            return 'G';
        if (r == 0 && g == 0 && b == 77)
            return 'B';
        if (r == 200 && g == 200 && b == 0)
            return 'Y';
        return '?';
    }

    std::vector<std::string> letters(uint8_t background) const
    {
        std::vector<std::string> rows;
        for (int row = 0; row < height; ++row) {
            std::string line;
            for (int column = 0; column < width; ++column)
                line += letter(row, column, background);
            rows.push_back(line);
        }
        return rows;
    }
};

inline RasterContent readRaster(const QString &path)
{
    RasterContent content;
    GDALAllRegister();
    GDALDataset *dataset =
        static_cast<GDALDataset *>(GDALOpen(path.toLocal8Bit().constData(), GA_ReadOnly));
    if (!dataset)
        return content;
    content.opened = true;
    content.driver = dataset->GetDriver()->GetDescription();
    content.width = dataset->GetRasterXSize();
    content.height = dataset->GetRasterYSize();
    content.bands = dataset->GetRasterCount();
    dataset->GetGeoTransform(content.geoTransform.data());
    for (int band = 0; band < 3 && band < content.bands; ++band) {
        GDALRasterBand *source = dataset->GetRasterBand(band + 1);
        if (source->GetRasterDataType() != GDT_Byte)
            continue;
        content.rgb[band].resize(static_cast<size_t>(content.width) * content.height);
        if (source->RasterIO(GF_Read, 0, 0, content.width, content.height,
                             content.rgb[band].data(), content.width, content.height, GDT_Byte,
                             0, 0)
            != CE_None)
            content.rgb[band].clear();
    }
    GDALClose(dataset);
    return content;
}
