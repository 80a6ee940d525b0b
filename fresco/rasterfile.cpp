#include "rasterfile.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace fresco {

namespace {

// A classic TIFF ends at 4 GiB; leave room for directories and tags.
constexpr double kClassicTiffLimit = 3.8e9;

QByteArray local(const QString &path)
{
    return path.toLocal8Bit();
}

bool isImagine(const QString &imageFmt)
{
    return imageFmt == QLatin1String(".img");
}

// The temporary name: "NAME.part.tif" for "NAME.tif".
QString partPathOf(const QString &finalPath, const QString &imageFmt)
{
    const QString stem = finalPath.endsWith(imageFmt)
                             ? finalPath.left(finalPath.size() - imageFmt.size())
                             : finalPath;
    return stem + QStringLiteral(".part") + (finalPath.endsWith(imageFmt) ? imageFmt : QString());
}

// Files GDAL may keep beside a raster of this name: an external mask or
// overviews, auxiliary metadata, and Imagine's spill and overview files.
QStringList companionFiles(const QString &path, const QString &imageFmt)
{
    QStringList files = {path + QStringLiteral(".msk"), path + QStringLiteral(".ovr"),
                         path + QStringLiteral(".aux.xml")};
    if (isImagine(imageFmt) && path.endsWith(imageFmt)) {
        const QString stem = path.left(path.size() - imageFmt.size());
        files << stem + QStringLiteral(".ige") << stem + QStringLiteral(".rrd");
    }
    return files;
}

void removeFiles(const QStringList &files)
{
    for (const QString &file : files) {
        VSIStatBufL stat;
        if (VSIStatL(local(file).constData(), &stat) == 0)
            VSIUnlink(local(file).constData());
    }
}

bool hasOption(const QStringList &options, const QString &name)
{
    return std::any_of(options.begin(), options.end(), [&](const QString &option) {
        return option.section(QLatin1Char('='), 0, 0).trimmed().compare(name, Qt::CaseInsensitive)
               == 0;
    });
}

int CPL_STDCALL overviewProgress(double, const char *, void *data)
{
    const auto *stop = static_cast<const std::atomic<bool> *>(data);
    return stop && stop->load() ? FALSE : TRUE;
}

// Halving steps until the smallest overview is about one 256-pixel block.
std::vector<int> overviewLevels(int64_t width, int64_t height)
{
    std::vector<int> levels;
    const int64_t longest = std::max(width, height);
    for (int level = 2; level > 0 && longest / level >= 128; level *= 2)
        levels.push_back(level);
    return levels;
}

} // namespace

RasterFile::RasterFile(GDALDriver *driver, const RasterFormat &format)
    : m_driver(driver), m_format(format)
{
}

RasterFile::~RasterFile()
{
    discard();
}

bool RasterFile::create(const QString &finalPath, int64_t width, int64_t height, double left,
                        double top, double res)
{
    discard();
    if (!m_driver || width < 1 || height < 1 || width > INT_MAX || height > INT_MAX)
        return false;
    m_finalPath = finalPath;
    m_partPath = partPathOf(finalPath, m_format.imageFmt);
    m_width = width;
    m_height = height;

    CPLStringList options;
    for (const QString &option : m_format.creationOptions)
        options.AddString(option.toUtf8().constData());
    // Bands, mask and overviews together may pass what a classic TIFF holds.
    const double estimate = static_cast<double>(width) * static_cast<double>(height)
                            * ((m_format.mask ? 4.0 : 3.0) * (m_format.overviews ? 4.0 / 3.0 : 1.0));
    if (!isImagine(m_format.imageFmt) && estimate > kClassicTiffLimit
        && !hasOption(m_format.creationOptions, QStringLiteral("BIGTIFF")))
        options.AddString("BIGTIFF=IF_SAFER");
    // One-row strips defeat compression: compressed GeoTIFFs are tiled
    // unless the caller says how.
    if (!isImagine(m_format.imageFmt) && hasOption(m_format.creationOptions, QStringLiteral("COMPRESS"))
        && !hasOption(m_format.creationOptions, QStringLiteral("TILED"))) {
        options.AddString("TILED=YES");
        if (!hasOption(m_format.creationOptions, QStringLiteral("BLOCKXSIZE")))
            options.AddString("BLOCKXSIZE=256");
        if (!hasOption(m_format.creationOptions, QStringLiteral("BLOCKYSIZE")))
            options.AddString("BLOCKYSIZE=256");
    }

    // A leftover of an earlier run must not lend its companions to this file.
    removeFiles(companionFiles(m_partPath, m_format.imageFmt));
    m_dataset = m_driver->Create(local(m_partPath).constData(), static_cast<int>(width),
                                 static_cast<int>(height), 3, GDT_Byte, options.List());
    if (!m_dataset)
        return false;

    double geoTransform[6] = {left, res, 0.0, top, 0.0, -res};
    bool ready = m_dataset->SetGeoTransform(geoTransform) == CE_None;
    // Imagine bands say nothing of their colour unless told.
    if (ready && isImagine(m_format.imageFmt)) {
        const GDALColorInterp colours[3] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand};
        for (int band = 0; band < 3 && ready; ++band)
            ready = m_dataset->GetRasterBand(band + 1)->SetColorInterpretation(colours[band])
                    == CE_None;
    }
    if (ready && !m_format.projectionWkt.isEmpty())
        ready = m_dataset->SetProjection(m_format.projectionWkt.constData()) == CE_None;
    if (ready && m_format.mask) {
        // Inside the GeoTIFF itself rather than in a file beside it.
        CPLSetThreadLocalConfigOption("GDAL_TIFF_INTERNAL_MASK", "YES");
        ready = m_dataset->CreateMaskBand(GMF_PER_DATASET) == CE_None;
        CPLSetThreadLocalConfigOption("GDAL_TIFF_INTERNAL_MASK", nullptr);
    }
    if (!ready) {
        discard();
        return false;
    }
    return true;
}

int64_t RasterFile::windowRows(int64_t budgetBytes) const
{
    int blockWidth = 0;
    int blockHeight = 1;
    if (m_dataset)
        m_dataset->GetRasterBand(1)->GetBlockSize(&blockWidth, &blockHeight);
    blockHeight = std::max(blockHeight, 1);
    const int64_t rowBytes = std::max<int64_t>(m_width, 1) * (m_format.mask ? 4 : 3);
    const int64_t blockRows = std::max<int64_t>(1, budgetBytes / rowBytes / blockHeight);
    return std::min(blockRows * blockHeight, std::max<int64_t>(m_height, 1));
}

bool RasterFile::writeRows(int64_t row0, int64_t rows, const unsigned char *rgb,
                           const unsigned char *mask)
{
    if (!m_dataset || rows < 1 || row0 < 0 || row0 + rows > m_height)
        return false;
    const int x = 0;
    const int y = static_cast<int>(row0);
    const int w = static_cast<int>(m_width);
    const int h = static_cast<int>(rows);
    const GSpacing plane = static_cast<GSpacing>(m_width) * rows;
    if (m_dataset->RasterIO(GF_Write, x, y, w, h, const_cast<unsigned char *>(rgb), w, h,
                            GDT_Byte, 3, nullptr, 1, w, plane)
        != CE_None)
        return false;
    if (!m_format.mask)
        return true;
    GDALRasterBand *maskBand = m_dataset->GetRasterBand(1)->GetMaskBand();
    return maskBand
           && maskBand->RasterIO(GF_Write, x, y, w, h, const_cast<unsigned char *>(mask), w, h,
                                 GDT_Byte, 0, 0)
                  == CE_None;
}

RasterFile::Outcome RasterFile::finish(const std::atomic<bool> *stop)
{
    if (!m_dataset)
        return Outcome::Failed;
    if (m_format.overviews) {
        std::vector<int> levels = overviewLevels(m_width, m_height);
        if (!levels.empty()
            && GDALBuildOverviews(static_cast<GDALDatasetH>(m_dataset), "AVERAGE",
                                  static_cast<int>(levels.size()), levels.data(), 0, nullptr,
                                  overviewProgress, const_cast<std::atomic<bool> *>(stop))
                   != CE_None) {
            const bool stopped = stop && stop->load();
            discard();
            return stopped ? Outcome::Stopped : Outcome::Failed;
        }
    }

    // Data still in GDAL's cache reaches the disk on closing: a full disk
    // shows up here.
    CPLErrorReset();
    GDALClose(m_dataset);
    m_dataset = nullptr;
    const CPLErr closing = CPLGetLastErrorType();
    if (closing == CE_Failure || closing == CE_Fatal) {
        discard();
        return Outcome::Failed;
    }

    // The new raster replaces an earlier one of the same name; companions
    // the earlier one had would otherwise attach to it.
    removeFiles(companionFiles(m_finalPath, m_format.imageFmt));
#ifdef _WIN32
    // Windows renames onto no existing file, and GDAL then copies the new
    // raster over the earlier one instead, which a full disk leaves half
    // written. The earlier raster steps aside and goes only once the new one
    // has its name.
    const QString aside = m_partPath + QStringLiteral(".earlier");
    VSIStatBufL stat;
    const bool hadEarlier = VSIStatL(local(m_finalPath).constData(), &stat) == 0;
    if (VSIStatL(local(aside).constData(), &stat) == 0)
        VSIUnlink(local(aside).constData());
    if (hadEarlier && VSIRename(local(m_finalPath).constData(), local(aside).constData()) != 0) {
        discard();
        return Outcome::Failed;
    }
#endif
    if (m_driver->Rename(local(m_finalPath).constData(), local(m_partPath).constData())
        != CE_None) {
#ifdef _WIN32
        if (hadEarlier)
            VSIRename(local(aside).constData(), local(m_finalPath).constData());
#endif
        discard();
        return Outcome::Failed;
    }
#ifdef _WIN32
    if (hadEarlier)
        VSIUnlink(local(aside).constData());
#endif
    m_partPath.clear();
    return Outcome::Done;
}

void RasterFile::discard()
{
    if (m_dataset) {
        GDALClose(m_dataset);
        m_dataset = nullptr;
    }
    if (m_partPath.isEmpty())
        return;
    CPLPushErrorHandler(CPLQuietErrorHandler);
    VSIStatBufL stat;
    if (VSIStatL(local(m_partPath).constData(), &stat) == 0
        && m_driver->Delete(local(m_partPath).constData()) != CE_None)
        VSIUnlink(local(m_partPath).constData());
    removeFiles(companionFiles(m_partPath, m_format.imageFmt));
    CPLPopErrorHandler();
    m_partPath.clear();
}

GdalCacheScope::GdalCacheScope(int64_t bytes) : m_saved(GDALGetCacheMax64())
{
    GDALSetCacheMax64(bytes);
}

GdalCacheScope::~GdalCacheScope()
{
    GDALSetCacheMax64(m_saved);
}

} // namespace fresco
