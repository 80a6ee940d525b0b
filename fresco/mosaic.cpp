#include "mosaic.h"

#include "rasterfile.h"

#include <gdal_priv.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

namespace fresco {

namespace {

using Entry = PictureSpill::Entry;

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

bool fitsRasterSize(int64_t value)
{
    return value >= 1 && value <= INT_MAX;
}

bool stopRequested(const MosaicSettings &settings)
{
    return settings.stop && settings.stop->load();
}

// The part of a picture that shows the tile's box itself: tw x th pixels,
// centred in the picture's one-pixel-plus margin.
struct TileBlock
{
    int64_t width;   // tw
    int64_t height;  // th
    int64_t marginX; // mx
    int64_t marginY; // my
};

TileBlock tileBlock(const Entry &entry, double res)
{
    const osg::BoundingBoxd &box = entry.box;
    TileBlock block;
    block.width = truncate((box.xMax() - box.xMin()) / res);
    block.height = truncate((box.yMax() - box.yMin()) / res);
    block.marginX = (entry.columns - block.width) / 2;
    block.marginY = (entry.rows - block.height) / 2;
    return block;
}

// Rows [row0, row0 + rows) of one raster: three band planes and a mask
// plane, filled with the background before the tiles are placed.
class Window
{
public:
    bool reset(int64_t width, int64_t row0, int64_t rows, unsigned char background)
    {
        m_width = width;
        m_row0 = row0;
        m_rows = rows;
        m_plane = static_cast<size_t>(width) * static_cast<size_t>(rows);
        try {
            m_rgb.assign(m_plane * 3, background);
            m_mask.assign(m_plane, 0);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    int64_t row0() const { return m_row0; }
    int64_t rowEnd() const { return m_row0 + m_rows; }
    int64_t rows() const { return m_rows; }

    // Copies a picture pixel to raster (row, column) unless it is pure black
    // (the renderer's clear colour, i.e. no model there).
    void put(int64_t row, int64_t column, const unsigned char *rgb)
    {
        if (rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 0)
            return;
        const size_t at = static_cast<size_t>(row - m_row0) * static_cast<size_t>(m_width)
                          + static_cast<size_t>(column);
        m_rgb[at] = rgb[0];
        m_rgb[m_plane + at] = rgb[1];
        m_rgb[2 * m_plane + at] = rgb[2];
        m_mask[at] = 255;
    }

    // Copies a pixel of a picture drawn on the raster's grid by its
    // coverage: nothing where nothing was drawn, the colour where the pixel
    // is covered, a blend with the background where it is covered in part.
    void putCovered(int64_t row, int64_t column, const unsigned char *rgba, unsigned char background)
    {
        const unsigned int alpha = rgba[3];
        if (alpha == 0)
            return;
        const size_t at = static_cast<size_t>(row - m_row0) * static_cast<size_t>(m_width)
                          + static_cast<size_t>(column);
        for (int k = 0; k < 3; ++k) {
            const unsigned int value =
                (rgba[k] * alpha + background * (255u - alpha) + 127u) / 255u;
            m_rgb[static_cast<size_t>(k) * m_plane + at] = static_cast<unsigned char>(value);
        }
        m_mask[at] = 255;
    }

    int64_t width() const { return m_width; }

    const unsigned char *rgb() const { return m_rgb.data(); }
    const unsigned char *mask() const { return m_mask.data(); }

private:
    int64_t m_width = 0;
    int64_t m_row0 = 0;
    int64_t m_rows = 0;
    size_t m_plane = 0;
    std::vector<unsigned char> m_rgb;
    std::vector<unsigned char> m_mask;
};

// Picture rows of one tile read from the spill, one window at a time.
class PictureRows
{
public:
    PictureRows(PictureSpill &spill, const Entry &entry) : m_spill(spill), m_entry(entry) {}

    // Loads picture rows [first, last) clipped to the picture; false when
    // the spill cannot be read.
    bool load(int64_t first, int64_t last)
    {
        m_first = std::max<int64_t>(first, 0);
        m_last = std::min<int64_t>(last, m_entry.rows);
        if (m_last <= m_first)
            return true;
        try {
            m_data.resize(static_cast<size_t>(m_last - m_first)
                          * static_cast<size_t>(m_entry.columns)
                          * static_cast<size_t>(m_entry.channels));
        } catch (const std::bad_alloc &) {
            return false;
        }
        return m_spill.readRows(m_entry, m_first, m_last - m_first, m_data.data());
    }

    // Null outside the picture or outside the loaded rows.
    const unsigned char *pixel(int64_t row, int64_t column) const
    {
        if (row < m_first || row >= m_last || column < 0 || column >= m_entry.columns)
            return nullptr;
        return m_data.data()
               + (static_cast<size_t>(row - m_first) * static_cast<size_t>(m_entry.columns)
                  + static_cast<size_t>(column))
                     * static_cast<size_t>(m_entry.channels);
    }

    // Picture columns [first, last) clipped to the picture.
    int64_t firstColumn(int64_t first) const { return std::max<int64_t>(first, 0); }
    int64_t lastColumn(int64_t last) const { return std::min<int64_t>(last, m_entry.columns); }

private:
    PictureSpill &m_spill;
    const Entry &m_entry;
    std::vector<unsigned char> m_data;
    int64_t m_first = 0;
    int64_t m_last = 0;
};

unsigned char fillValue(const MosaicSettings &settings)
{
    return settings.background != 0 ? 255 : 0;
}

RasterFormat rasterFormat(const MosaicSettings &settings)
{
    RasterFormat format;
    format.imageFmt = settings.imageFmt;
    format.creationOptions = settings.creationOptions;
    format.overviews = settings.overviews;
    format.mask = settings.mask;
    format.projectionWkt = settings.projectionWkt;
    return format;
}

// Places the block of one tile that falls into the window of the single
// raster whose north-west corner is (xMin, yMax): the tw x th pixels behind
// the picture's margins, cut at the raster's east and south edges.
bool placeInRaster(Window &window, PictureSpill &spill, const Entry &entry,
                   const osg::BoundingBoxd &overall, int64_t width, int64_t height, double res)
{
    const osg::BoundingBoxd &box = entry.box;
    const TileBlock block = tileBlock(entry, res);
    const int64_t col0 = std::max<int64_t>(0, truncate((box.xMin() - overall.xMin()) / res));
    const int64_t row0 = std::max<int64_t>(0, truncate((overall.yMax() - box.yMax()) / res));
    const int64_t cols = col0 + block.width > width ? width - col0 : block.width;
    const int64_t rows = row0 + block.height > height ? height - row0 : block.height;
    // Block rows i in this window.
    const int64_t firstI = std::max<int64_t>(0, window.row0() - row0);
    const int64_t endI = std::min<int64_t>(rows, window.rowEnd() - row0);
    if (endI <= firstI || cols <= 0)
        return true;
    PictureRows picture(spill, entry);
    if (!picture.load(block.marginY + firstI, block.marginY + endI))
        return false;
    const int64_t firstJ = picture.firstColumn(block.marginX) - block.marginX;
    const int64_t endJ = std::min(cols, picture.lastColumn(block.marginX + cols) - block.marginX);
    for (int64_t i = firstI; i < endI; ++i) {
        for (int64_t j = std::max<int64_t>(firstJ, 0); j < endJ; ++j) {
            if (const unsigned char *rgb = picture.pixel(block.marginY + i, block.marginX + j))
                window.put(row0 + i, col0 + j, rgb);
        }
    }
    return true;
}

// Places the block of one tile into the window of the piece whose
// north-west corner is (left, top). Unlike the single raster, the block
// starts at picture row 0 and spans tw + 1 columns and th + 1 rows.
bool placeInPiece(Window &window, PictureSpill &spill, const Entry &entry, int64_t size,
                  double left, double top, double res)
{
    const osg::BoundingBoxd &box = entry.box;
    const TileBlock block = tileBlock(entry, res);
    const int64_t dstCol0 = std::max<int64_t>(0, truncate((box.xMin() - left) / res));
    const int64_t dstRow0 = std::max<int64_t>(0, truncate((top - box.yMax()) / res));
    const int64_t srcCol0 = std::max<int64_t>(0, truncate((left - box.xMin()) / res));
    const int64_t srcRow0 = std::max<int64_t>(0, truncate((box.yMax() - top) / res + 1));
    // Block rows r whose piece row lies in this window (and in the piece).
    const int64_t rowEnd = std::min(window.rowEnd(), size);
    const int64_t firstR = std::max(srcRow0, window.row0() - dstRow0 + srcRow0);
    const int64_t lastR = std::min(block.height, rowEnd - 1 - dstRow0 + srcRow0);
    // Block columns c whose piece column lies in the piece.
    const int64_t lastC = std::min(block.width, size - 1 - dstCol0 + srcCol0);
    if (lastR < firstR || lastC < srcCol0)
        return true;
    PictureRows picture(spill, entry);
    if (!picture.load(firstR, lastR + 1))
        return false;
    for (int64_t r = firstR; r <= lastR; ++r) {
        const int64_t row = dstRow0 + r - srcRow0;
        for (int64_t c = srcCol0; c <= lastC; ++c) {
            if (const unsigned char *rgb = picture.pixel(r, block.marginX + c))
                window.put(row, dstCol0 + c - srcCol0, rgb);
        }
    }
    return true;
}

// Places a picture drawn on the grid into the window of a raster whose
// north-west pixel is grid pixel (row0, column0): pure copies, cut at the
// raster's edges.
bool placeOnGrid(Window &window, PictureSpill &spill, const Entry &entry, int64_t column0,
                 int64_t row0, int64_t height, unsigned char background)
{
    const PixelRect &rect = entry.rect;
    // Picture rows i and columns j that fall into this window and raster.
    const int64_t top = rect.row - row0;
    const int64_t left = rect.column - column0;
    const int64_t firstI = std::max<int64_t>(0, window.row0() - top);
    const int64_t endI = std::min<int64_t>({rect.rows, window.rowEnd() - top, height - top});
    const int64_t firstJ = std::max<int64_t>(0, -left);
    const int64_t endJ = std::min<int64_t>(rect.columns, window.width() - left);
    if (endI <= firstI || endJ <= firstJ)
        return true;
    PictureRows picture(spill, entry);
    if (!picture.load(firstI, endI))
        return false;
    for (int64_t i = firstI; i < endI; ++i) {
        for (int64_t j = firstJ; j < endJ; ++j) {
            if (const unsigned char *rgba = picture.pixel(i, j))
                window.putCovered(top + i, left + j, rgba, background);
        }
    }
    return true;
}

class MosaicWriter
{
public:
    MosaicWriter(const MosaicSettings &settings, PictureSpill &spill, const osg::Vec3d &offset,
                 const std::function<void(const QString &)> &report)
        : m_settings(settings), m_spill(spill), m_offset(offset), m_report(report),
          m_entries(spill.sortedEntries())
    {
        GDALAllRegister();
        m_driver = GetGDALDriverManager()->GetDriverByName(
            settings.imageFmt == QLatin1String(".img") ? "HFA" : "GTiff");
    }

    MosaicResult single(const osg::BoundingBoxd &overall, const QString &name);
    MosaicResult pieces(const osg::BoundingBoxd &overall, const QString &name, double splitLen);
    MosaicResult gridSingle(const PixelGrid &grid, const osg::BoundingBoxd &overall,
                            const QString &name);
    MosaicResult gridPieces(const PixelGrid &grid, const osg::BoundingBoxd &overall,
                            const QString &name, double splitLen);

private:
    // The valid tiles whose box touches the closed square of each piece
    // (row, column) of side `len` whose grid starts at (gridLeft, gridTop);
    // visits `piece(row, column, tiles)` row by row. Returns what the first
    // visit that does not answer Written answers.
    template <typename Visit>
    MosaicResult forEachPiece(const osg::BoundingBoxd &overall, double len, double &gridLeft,
                              double &gridTop, Visit visit);
    QString rasterPath(const QString &fileName) const
    {
        return m_settings.outputFolder + QLatin1Char('/') + fileName + m_settings.imageFmt;
    }

    // Fills `file` window by window; `place` puts each of `tiles`, in
    // order, into the window.
    template <typename Place>
    MosaicResult fill(RasterFile &file, const QString &path, int64_t width, int64_t height,
                      const std::vector<const Entry *> &tiles, Place place);

    MosaicResult writeFailed(const QString &path)
    {
        m_report(QStringLiteral("write img failed: %1").arg(path));
        return MosaicResult::Failed;
    }

    const MosaicSettings &m_settings;
    PictureSpill &m_spill;
    osg::Vec3d m_offset;
    const std::function<void(const QString &)> &m_report;
    std::vector<Entry> m_entries;
    GDALDriver *m_driver = nullptr;
    Window m_window;
};

template <typename Place>
MosaicResult MosaicWriter::fill(RasterFile &file, const QString &path, int64_t width,
                                int64_t height, const std::vector<const Entry *> &tiles,
                                Place place)
{
    // Pictures that never reached the spill cannot be placed.
    if (m_spill.failed())
        return writeFailed(path);
    const int64_t windowRows = file.windowRows(m_settings.windowBytes);
    for (int64_t row0 = 0; row0 < height; row0 += windowRows) {
        if (stopRequested(m_settings))
            return MosaicResult::Stopped;
        const int64_t rows = std::min(windowRows, height - row0);
        if (!m_window.reset(width, row0, rows, fillValue(m_settings)))
            return writeFailed(path);
        for (const Entry *entry : tiles) {
            if (entry->columns > 0 && !place(*entry))
                return writeFailed(path);
        }
        if (!file.writeRows(row0, rows, m_window.rgb(), m_window.mask()))
            return writeFailed(path);
    }
    switch (file.finish(m_settings.stop)) {
    case RasterFile::Outcome::Done:
        if (m_settings.written)
            m_settings.written(path);
        return MosaicResult::Written;
    case RasterFile::Outcome::Stopped:
        return MosaicResult::Stopped;
    case RasterFile::Outcome::Failed:
        break;
    }
    return writeFailed(path);
}

MosaicResult MosaicWriter::single(const osg::BoundingBoxd &overall, const QString &name)
{
    const double res = m_settings.resolution;
    const QString path = rasterPath(name);
    const int64_t width = truncate((overall.xMax() - overall.xMin()) / res + 0.5);
    const int64_t height = truncate((overall.yMax() - overall.yMin()) / res + 0.5);
    RasterFile file(m_driver, rasterFormat(m_settings));
    if (!file.create(path, width, height, overall.xMin() + m_offset.x(),
                     overall.yMax() + m_offset.y(), res)) {
        m_report(QStringLiteral("create img failed: %1").arg(path));
        return MosaicResult::Failed;
    }
    std::vector<const Entry *> tiles;
    for (const Entry &entry : m_entries)
        if (isValidBox(entry.box))
            tiles.push_back(&entry);
    return fill(file, path, width, height, tiles, [&](const Entry &entry) {
        return placeInRaster(m_window, m_spill, entry, overall, width, height, res);
    });
}

MosaicResult MosaicWriter::pieces(const osg::BoundingBoxd &overall, const QString &name,
                                  double splitLen)
{
    const double res = m_settings.resolution;
    const double len = splitLen;
    const int64_t pieceSize = truncate(len / res);
    double gridLeft = 0;
    double gridTop = 0;
    return forEachPiece(overall, len, gridLeft, gridTop,
                        [&](int64_t row, int64_t column, const std::vector<const Entry *> &tiles) {
        // Pieces that a tile touches could not be created.
        if (!fitsRasterSize(pieceSize))
            return MosaicResult::Failed;
        const double left = gridLeft + column * len;
        const double top = gridTop - row * len;
        const QString path = rasterPath(name + QStringLiteral("_%1_%2").arg(row).arg(column));
        // A piece that cannot be created or written ends the set: the
        // pieces before it stay, the rest is not written. Creation
        // failures send no text of their own, only the guard's report.
        RasterFile file(m_driver, rasterFormat(m_settings));
        if (!file.create(path, pieceSize, pieceSize, left + m_offset.x(), top + m_offset.y(), res))
            return MosaicResult::Failed;
        return fill(file, path, pieceSize, pieceSize, tiles, [&](const Entry &entry) {
            return placeInPiece(m_window, m_spill, entry, pieceSize, left, top, res);
        });
    });
}

MosaicResult MosaicWriter::gridSingle(const PixelGrid &grid, const osg::BoundingBoxd &overall,
                                      const QString &name)
{
    const QString path = rasterPath(name);
    const PixelRect extent = grid.nearest(overall);
    if (!fitsRasterSize(extent.columns) || !fitsRasterSize(extent.rows)) {
        m_report(QStringLiteral("create img failed: %1").arg(path));
        return MosaicResult::Failed;
    }
    RasterFile file(m_driver, rasterFormat(m_settings));
    if (!file.create(path, extent.columns, extent.rows, grid.worldX(extent.column),
                     grid.worldY(extent.row), grid.resolution())) {
        m_report(QStringLiteral("create img failed: %1").arg(path));
        return MosaicResult::Failed;
    }
    std::vector<const Entry *> tiles;
    for (const Entry &entry : m_entries)
        if (entry.placed && isValidBox(entry.box))
            tiles.push_back(&entry);
    const unsigned char background = fillValue(m_settings);
    return fill(file, path, extent.columns, extent.rows, tiles, [&](const Entry &entry) {
        return placeOnGrid(m_window, m_spill, entry, extent.column, extent.row, extent.rows,
                           background);
    });
}

MosaicResult MosaicWriter::gridPieces(const PixelGrid &grid, const osg::BoundingBoxd &overall,
                                      const QString &name, double splitLen)
{
    const double res = grid.resolution();
    // Every piece has this many pixels a side and starts at the grid pixel
    // at or north-west of its nominal corner: pieces share the grid, and
    // neighbours overlap by at most one pixel instead of leaving gaps.
    const int64_t pieceSize = std::max<int64_t>(1, truncate(std::ceil(splitLen / res - 1e-6)));
    const unsigned char background = fillValue(m_settings);
    double gridLeft = 0;
    double gridTop = 0;
    return forEachPiece(overall, splitLen, gridLeft, gridTop,
                        [&](int64_t row, int64_t column, const std::vector<const Entry *> &tiles) {
        if (!fitsRasterSize(pieceSize))
            return MosaicResult::Failed;
        const int64_t column0 = grid.columnAtOrWest(gridLeft + column * splitLen);
        const int64_t row0 = grid.rowAtOrNorth(gridTop - row * splitLen);
        const QString path = rasterPath(name + QStringLiteral("_%1_%2").arg(row).arg(column));
        RasterFile file(m_driver, rasterFormat(m_settings));
        if (!file.create(path, pieceSize, pieceSize, grid.worldX(column0), grid.worldY(row0), res))
            return MosaicResult::Failed;
        std::vector<const Entry *> placed;
        for (const Entry *entry : tiles)
            if (entry->placed)
                placed.push_back(entry);
        return fill(file, path, pieceSize, pieceSize, placed, [&](const Entry &entry) {
            return placeOnGrid(m_window, m_spill, entry, column0, row0, pieceSize, background);
        });
    });
}

template <typename Visit>
MosaicResult MosaicWriter::forEachPiece(const osg::BoundingBoxd &overall, double len,
                                        double &gridLeft, double &gridTop, Visit visit)
{
    // An empty overall box (no valid tile) gives no piece at all.
    if (!(overall.xMax() >= overall.xMin() && overall.yMax() >= overall.yMin()))
        return MosaicResult::Written;
    const int64_t nx = truncate((overall.xMax() - overall.xMin()) / len) + 1;
    const int64_t ny = truncate((overall.yMax() - overall.yMin()) / len) + 1;
    gridLeft = (overall.xMin() + overall.xMax()) / 2 - nx * len / 2;
    gridTop = (overall.yMin() + overall.yMax()) / 2 + ny * len / 2;
    std::vector<const Entry *> validTiles;
    for (const Entry &entry : m_entries)
        if (isValidBox(entry.box))
            validTiles.push_back(&entry);
    if (validTiles.empty())
        return MosaicResult::Written;
    if (nx > INT_MAX || ny > INT_MAX)
        return MosaicResult::Failed;
    // Only pieces that some tile touches are visited: each tile's candidate
    // columns come from a division with slack, then the closed-square overlap
    // test decides, exactly as for a full scan of the grid.
    for (int64_t row = 0; row < ny; ++row) {
        const double top = gridTop - row * len;
        std::map<int64_t, std::vector<const Entry *>> columnTiles;
        for (const Entry *entry : validTiles) {
            const osg::BoundingBoxd &box = entry->box;
            if (!(std::min(box.yMax(), top) >= std::max(box.yMin(), top - len)))
                continue;
            const int64_t first = std::max<int64_t>(
                0, truncate(std::floor((box.xMin() - gridLeft) / len)) - 2);
            const int64_t last = std::min<int64_t>(
                nx - 1, truncate(std::floor((box.xMax() - gridLeft) / len)) + 1);
            for (int64_t column = first; column <= last; ++column) {
                const double left = gridLeft + column * len;
                if (std::min(box.xMax(), left + len) >= std::max(box.xMin(), left))
                    columnTiles[column].push_back(entry);
            }
        }
        for (const auto &piece : columnTiles) {
            const MosaicResult result = visit(row, piece.first, piece.second);
            if (result != MosaicResult::Written)
                return result;
        }
    }
    return MosaicResult::Written;
}

} // namespace

MosaicResult writeGridMosaic(const MosaicSettings &settings, const PixelGrid &grid,
                             const osg::BoundingBoxd &overallBox, PictureSpill &spill,
                             const QString &name, double splitLen,
                             const std::function<void(const QString &)> &report)
{
    const GdalCacheScope cache(settings.gdalCacheBytes);
    MosaicWriter writer(settings, spill, osg::Vec3d(), report);
    if (splitLen < kMinSplitLen)
        return writer.gridSingle(grid, overallBox, name);
    return writer.gridPieces(grid, overallBox, name, splitLen);
}

MosaicResult writeMosaic(const MosaicSettings &settings, const osg::BoundingBoxd &overallBox,
                         PictureSpill &spill, const QString &name, const osg::Vec3d &offset,
                         double splitLen, const std::function<void(const QString &)> &report)
{
    // GDAL's cache would otherwise grow to a share of the machine's memory.
    const GdalCacheScope cache(settings.gdalCacheBytes);
    MosaicWriter writer(settings, spill, offset, report);
    if (splitLen < kMinSplitLen)
        return writer.single(overallBox, name);
    return writer.pieces(overallBox, name, splitLen);
}

MosaicResult writeMosaic(const MosaicSettings &settings, const osg::BoundingBoxd &overallBox,
                         const std::map<int, osg::ref_ptr<osg::Image>> &pictures,
                         const std::map<int, osg::BoundingBoxd> &boxes, const QString &name,
                         const osg::Vec3d &offset, double splitLen,
                         const std::function<void(const QString &)> &report)
{
    PictureSpill spill(settings.outputFolder);
    for (const auto &entry : boxes) {
        const auto picture = pictures.find(entry.first);
        spill.add(entry.first, entry.second,
                  picture != pictures.end() ? picture->second.get() : nullptr);
    }
    return writeMosaic(settings, overallBox, spill, name, offset, splitLen, report);
}

} // namespace fresco
