#include "mosaic.h"

#include <gdal_priv.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace fresco {

namespace {

// Truncation toward zero that stays defined for any double: NaN gives 0 and
// values beyond the 53-bit range are clamped, so absurd boxes cannot trigger
// undefined conversions.
int64_t truncate(double value)
{
    constexpr double kLimit = 9007199254740992.0; // 2^53
    if (std::isnan(value))
        return 0;
    return static_cast<int64_t>(std::trunc(std::clamp(value, -kLimit, kLimit)));
}

bool isValidBox(const osg::BoundingBoxd &box)
{
    return box.xMax() >= box.xMin() && box.yMax() >= box.yMin() && box.zMax() >= box.zMin();
}

// Read access to one rendered picture with bounds checks, so a picture of
// unexpected size never leads to reads outside its memory.
class PictureView
{
public:
    explicit PictureView(const osg::Image *image)
    {
        if (!image || !image->data() || image->s() <= 0 || image->t() <= 0
            || image->getDataType() != GL_UNSIGNED_BYTE)
            return;
        const unsigned int pixelBits = image->getPixelSizeInBits();
        if (pixelBits < 24 || pixelBits % 8 != 0)
            return;
        m_data = image->data();
        m_columns = image->s();
        m_rows = image->t();
        m_pixelBytes = pixelBits / 8;
        m_rowBytes = image->getRowStepInBytes();
    }

    bool empty() const { return m_data == nullptr; }
    int64_t columns() const { return m_columns; }

    // Null outside the picture.
    const unsigned char *pixel(int64_t row, int64_t column) const
    {
        if (row < 0 || row >= m_rows || column < 0 || column >= m_columns)
            return nullptr;
        return m_data + static_cast<size_t>(row) * m_rowBytes
               + static_cast<size_t>(column) * m_pixelBytes;
    }

private:
    const unsigned char *m_data = nullptr;
    int64_t m_columns = 0;
    int64_t m_rows = 0;
    size_t m_pixelBytes = 0;
    size_t m_rowBytes = 0;
};

// Three band buffers of one raster, red, green, blue.
class RasterBuffers
{
public:
    RasterBuffers(int64_t width, int64_t height)
        : m_width(width), m_height(height)
    {
        const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
        for (std::vector<unsigned char> &band : m_bands)
            band.resize(size);
    }

    void fill(unsigned char value)
    {
        for (std::vector<unsigned char> &band : m_bands)
            std::fill(band.begin(), band.end(), value);
    }

    // Copies a picture pixel unless it is pure black (the renderer's clear
    // colour, i.e. no model there).
    void put(int64_t row, int64_t column, const unsigned char *rgb)
    {
        if (rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 0)
            return;
        const size_t at = static_cast<size_t>(row) * static_cast<size_t>(m_width)
                          + static_cast<size_t>(column);
        m_bands[0][at] = rgb[0];
        m_bands[1][at] = rgb[1];
        m_bands[2][at] = rgb[2];
    }

    unsigned char *band(int index) { return m_bands[index].data(); }
    int64_t width() const { return m_width; }
    int64_t height() const { return m_height; }

private:
    int64_t m_width;
    int64_t m_height;
    std::vector<unsigned char> m_bands[3];
};

// The part of a picture that shows the tile's box itself: tw x th pixels,
// centred in the picture's one-pixel-plus margin.
struct TileBlock
{
    int64_t width;   // tw
    int64_t height;  // th
    int64_t marginX; // mx
    int64_t marginY; // my
};

TileBlock tileBlock(const osg::BoundingBoxd &box, const osg::Image &picture, double res)
{
    TileBlock block;
    block.width = truncate((box.xMax() - box.xMin()) / res);
    block.height = truncate((box.yMax() - box.yMin()) / res);
    block.marginX = (static_cast<int64_t>(picture.s()) - block.width) / 2;
    block.marginY = (static_cast<int64_t>(picture.t()) - block.height) / 2;
    return block;
}

bool fitsRasterSize(int64_t value)
{
    return value >= 1 && value <= INT_MAX;
}

// Flushes and closes; false when GDAL reported a failure while doing so.
bool closeDataset(GDALDataset *dataset)
{
    CPLErrorReset();
    GDALClose(dataset);
    const CPLErr last = CPLGetLastErrorType();
    return last != CE_Failure && last != CE_Fatal;
}

class RasterWriter
{
public:
    RasterWriter(const MosaicSettings &settings, const osg::Vec3d &offset,
                 const std::function<void(const QString &)> &report)
        : m_settings(settings), m_offset(offset), m_report(report)
    {
        GDALAllRegister();
        m_driver = GetGDALDriverManager()->GetDriverByName(
            settings.imageFmt == QLatin1String(".img") ? "HFA" : "GTiff");
    }

    // The new raster of `width` x `height` pixels with three byte bands, or
    // null when it cannot be created.
    GDALDataset *create(const QString &path, int64_t width, int64_t height)
    {
        if (!m_driver || !fitsRasterSize(width) || !fitsRasterSize(height))
            return nullptr;
        return m_driver->Create(path.toLocal8Bit().constData(), static_cast<int>(width),
                                static_cast<int>(height), 3, GDT_Byte, nullptr);
    }

    // Sets the geotransform of a created raster from its western and northern
    // edge, writes the three bands and closes it. False, with "write img
    // failed: %1" reported, when it could not be written completely.
    bool store(GDALDataset *dataset, const QString &path, RasterBuffers &buffers, double left,
               double top)
    {
        double geoTransform[6] = {left + m_offset.x(), m_settings.resolution, 0.0,
                                  top + m_offset.y(), 0.0, -m_settings.resolution};
        bool complete = dataset->SetGeoTransform(geoTransform) == CE_None;
        for (int band = 0; band < 3 && complete; ++band) {
            GDALRasterBand *target = dataset->GetRasterBand(band + 1);
            complete = target
                       && target->RasterIO(GF_Write, 0, 0, static_cast<int>(buffers.width()),
                                           static_cast<int>(buffers.height()),
                                           buffers.band(band),
                                           static_cast<int>(buffers.width()),
                                           static_cast<int>(buffers.height()), GDT_Byte, 0, 0)
                              == CE_None;
        }
        complete = closeDataset(dataset) && complete;
        if (!complete)
            m_report(QStringLiteral("write img failed: %1").arg(path));
        return complete;
    }

    // Closes a created raster that will not be written and removes its file.
    void discard(GDALDataset *dataset, const QString &path)
    {
        GDALClose(dataset);
        m_driver->Delete(path.toLocal8Bit().constData());
    }

private:
    const MosaicSettings &m_settings;
    osg::Vec3d m_offset;
    const std::function<void(const QString &)> &m_report;
    GDALDriver *m_driver = nullptr;
};

unsigned char fillValue(const MosaicSettings &settings)
{
    return settings.background != 0 ? 255 : 0;
}

bool writeSingle(const MosaicSettings &settings, RasterWriter &writer,
                 const osg::BoundingBoxd &overall,
                 const std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                 const std::map<int, osg::BoundingBoxd> &boxes, const QString &name,
                 const std::function<void(const QString &)> &report)
{
    const double res = settings.resolution;
    const QString path = settings.outputFolder + QLatin1Char('/') + name + settings.imageFmt;
    const int64_t width = truncate((overall.xMax() - overall.xMin()) / res + 0.5);
    const int64_t height = truncate((overall.yMax() - overall.yMin()) / res + 0.5);
    const auto createFailed = [&] {
        report(QStringLiteral("create img failed: %1").arg(path));
        return false;
    };
    // The file comes first: a raster that cannot be created costs no memory.
    GDALDataset *dataset = writer.create(path, width, height);
    if (!dataset)
        return createFailed();

    std::unique_ptr<RasterBuffers> buffers;
    try {
        buffers = std::make_unique<RasterBuffers>(width, height);
    } catch (const std::bad_alloc &) {
        writer.discard(dataset, path);
        report(QStringLiteral("write img failed: %1").arg(path));
        return false;
    }
    buffers->fill(fillValue(settings));

    for (const auto &entry : pictures) {
        const PictureView picture(entry.second.get());
        const auto boxIt = boxes.find(entry.first);
        // A picture without a box has no place on the ground.
        if (picture.empty() || boxIt == boxes.end() || !isValidBox(boxIt->second))
            continue;
        const osg::BoundingBoxd &box = boxIt->second;
        const TileBlock block = tileBlock(box, *entry.second, res);
        const int64_t col0 = std::max<int64_t>(0, truncate((box.xMin() - overall.xMin()) / res));
        const int64_t row0 = std::max<int64_t>(0, truncate((overall.yMax() - box.yMax()) / res));
        const int64_t cols = col0 + block.width > width ? width - col0 : block.width;
        const int64_t rows = row0 + block.height > height ? height - row0 : block.height;
        for (int64_t i = 0; i < rows; ++i) {
            for (int64_t j = 0; j < cols; ++j) {
                if (const unsigned char *rgb = picture.pixel(block.marginY + i, block.marginX + j))
                    buffers->put(row0 + i, col0 + j, rgb);
            }
        }
    }

    return writer.store(dataset, path, *buffers, overall.xMin(), overall.yMax());
}

// Copies the block of one tile into the piece whose north-west corner is
// (left, top). Unlike the single raster, the block starts at picture row 0
// and spans tw + 1 columns and th + 1 rows.
void placeInPiece(RasterBuffers &piece, const PictureView &picture, const TileBlock &block,
                  const osg::BoundingBoxd &box, double left, double top, double res)
{
    const int64_t size = piece.width();
    const int64_t dstCol0 = std::max<int64_t>(0, truncate((box.xMin() - left) / res));
    const int64_t dstRow0 = std::max<int64_t>(0, truncate((top - box.yMax()) / res));
    const int64_t srcCol0 = std::max<int64_t>(0, truncate((left - box.xMin()) / res));
    const int64_t srcRow0 = std::max<int64_t>(0, truncate((box.yMax() - top) / res + 1));
    for (int64_t r = srcRow0; r <= block.height; ++r) {
        const int64_t row = dstRow0 + r - srcRow0;
        if (row >= size)
            break;
        for (int64_t c = srcCol0; c <= block.width; ++c) {
            const int64_t column = dstCol0 + c - srcCol0;
            if (column >= size)
                break;
            if (const unsigned char *rgb = picture.pixel(r, block.marginX + c))
                piece.put(row, column, rgb);
        }
    }
}

bool writePieces(const MosaicSettings &settings, RasterWriter &writer,
                 const osg::BoundingBoxd &overall,
                 const std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                 const std::map<int, osg::BoundingBoxd> &boxes, const QString &name,
                 double splitLen, const std::function<void(const QString &)> &report)
{
    const double res = settings.resolution;
    const double len = splitLen;
    // An empty overall box (no valid tile) gives no piece at all.
    if (!(overall.xMax() >= overall.xMin() && overall.yMax() >= overall.yMin()))
        return true;
    const int64_t nx = truncate((overall.xMax() - overall.xMin()) / len) + 1;
    const int64_t ny = truncate((overall.yMax() - overall.yMin()) / len) + 1;
    const double gridLeft = (overall.xMin() + overall.xMax()) / 2 - nx * len / 2;
    const double gridTop = (overall.yMin() + overall.yMax()) / 2 + ny * len / 2;
    const int64_t pieceSize = truncate(len / res);

    std::vector<int> validTiles;
    for (const auto &entry : boxes)
        if (isValidBox(entry.second))
            validTiles.push_back(entry.first);
    if (validTiles.empty())
        return true;
    // Pieces that a tile touches could not be created; the grid would be
    // unbounded otherwise.
    if (!fitsRasterSize(pieceSize) || nx > INT_MAX || ny > INT_MAX)
        return false;

    std::unique_ptr<RasterBuffers> buffers;
    try {
        buffers = std::make_unique<RasterBuffers>(pieceSize, pieceSize);
    } catch (const std::bad_alloc &) {
        report(QStringLiteral("write img failed: %1")
                   .arg(settings.outputFolder + QLatin1Char('/') + name + settings.imageFmt));
        return false;
    }

    // Only pieces that some tile touches are visited: each tile's candidate
    // columns come from a division with slack, then the closed-square overlap
    // test decides, exactly as for a full scan of the grid.
    for (int64_t row = 0; row < ny; ++row) {
        const double top = gridTop - row * len;
        std::map<int64_t, std::vector<int>> columnTiles;
        for (int index : validTiles) {
            const osg::BoundingBoxd &box = boxes.at(index);
            if (!(std::min(box.yMax(), top) >= std::max(box.yMin(), top - len)))
                continue;
            const int64_t first = std::max<int64_t>(
                0, truncate(std::floor((box.xMin() - gridLeft) / len)) - 2);
            const int64_t last = std::min<int64_t>(
                nx - 1, truncate(std::floor((box.xMax() - gridLeft) / len)) + 1);
            for (int64_t column = first; column <= last; ++column) {
                const double left = gridLeft + column * len;
                if (std::min(box.xMax(), left + len) >= std::max(box.xMin(), left))
                    columnTiles[column].push_back(index);
            }
        }

        for (const auto &piece : columnTiles) {
            const int64_t column = piece.first;
            const double left = gridLeft + column * len;
            buffers->fill(fillValue(settings));
            for (int index : piece.second) {
                const auto pictureIt = pictures.find(index);
                if (pictureIt == pictures.end())
                    continue;
                const PictureView picture(pictureIt->second.get());
                if (picture.empty())
                    continue;
                const osg::BoundingBoxd &box = boxes.at(index);
                placeInPiece(*buffers, picture, tileBlock(box, *pictureIt->second, res), box,
                             left, top, res);
            }
            const QString path = settings.outputFolder + QLatin1Char('/') + name
                                 + QStringLiteral("_%1_%2").arg(row).arg(column)
                                 + settings.imageFmt;
            // A piece that cannot be created or written ends the set: the
            // pieces before it stay, the rest is not written. Creation
            // failures send no text of their own, only the guard's report.
            GDALDataset *dataset = writer.create(path, pieceSize, pieceSize);
            if (!dataset || !writer.store(dataset, path, *buffers, left, top))
                return false;
        }
    }
    return true;
}

} // namespace

bool writeMosaic(const MosaicSettings &settings, const osg::BoundingBoxd &overallBox,
                 const std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                 const std::map<int, osg::BoundingBoxd> &boxes, const QString &name,
                 const osg::Vec3d &offset, double splitLen,
                 const std::function<void(const QString &)> &report)
{
    RasterWriter writer(settings, offset, report);
    if (splitLen < kMinSplitLen)
        return writeSingle(settings, writer, overallBox, pictures, boxes, name, report);
    return writePieces(settings, writer, overallBox, pictures, boxes, name, splitLen, report);
}

} // namespace fresco
