// One output raster written through GDAL under a temporary name beside its
// final one (NAME.part.tif for NAME.tif) and renamed only when it is
// complete, so a raster under its final name is never unfinished. Rows are
// written window by window; the file owns nothing else in memory.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

class GDALDataset;
class GDALDriver;

namespace fresco {

struct RasterFormat
{
    QString imageFmt;            // ".img" selects ERDAS Imagine, anything else GeoTIFF
    QStringList creationOptions; // NAME=VALUE, handed to the driver
    bool overviews = false;      // internal overviews (average) once complete
    bool mask = false;           // per-dataset mask band of covered pixels
    QByteArray projectionWkt;    // empty: no coordinate system
};

class RasterFile
{
public:
    enum class Outcome { Done, Failed, Stopped };

    RasterFile(GDALDriver *driver, const RasterFormat &format);
    // Removes an unfinished file.
    ~RasterFile();

    RasterFile(const RasterFile &) = delete;
    RasterFile &operator=(const RasterFile &) = delete;

    // Creates the temporary file of `finalPath` with three byte bands and
    // the geotransform (left, res, 0, top, 0, -res). False when it cannot be
    // created.
    bool create(const QString &finalPath, int64_t width, int64_t height, double left,
                double top, double res);

    // Rows per window: a whole number of the file's block rows, near
    // `budgetBytes` of window buffers (at least one block row).
    int64_t windowRows(int64_t budgetBytes) const;

    // Writes rows [row0, row0 + rows): `rgb` holds three band planes of
    // width * rows bytes each, `mask` (used when the format asks for one)
    // one plane, 255 for covered pixels.
    bool writeRows(int64_t row0, int64_t rows, const unsigned char *rgb, const unsigned char *mask);

    // Builds the overviews, closes the file and gives it its final name.
    // Stopped when `stop` was set while the overviews were built. On any
    // outcome but Done the temporary file is removed.
    Outcome finish(const std::atomic<bool> *stop);

    // Closes and removes the temporary file.
    void discard();

    int64_t width() const { return m_width; }

private:
    GDALDriver *m_driver;
    RasterFormat m_format;
    GDALDataset *m_dataset = nullptr;
    QString m_finalPath;
    QString m_partPath;
    int64_t m_width = 0;
    int64_t m_height = 0;
};

// Sets GDAL's block cache to a fixed size for its lifetime and puts the
// host's setting back afterwards.
class GdalCacheScope
{
public:
    explicit GdalCacheScope(int64_t bytes);
    ~GdalCacheScope();

    GdalCacheScope(const GdalCacheScope &) = delete;
    GdalCacheScope &operator=(const GdalCacheScope &) = delete;

private:
    int64_t m_saved;
};

} // namespace fresco
