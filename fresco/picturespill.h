// Holds the rendered pictures of one tile set on disk until the set's raster
// size is known, so that memory never has to hold more than one picture.
// The pictures go, packed as 3-byte RGB rows (or 4-byte RGBA rows for
// pictures placed on a pixel grid), into a temporary file in the output
// folder; the file is removed when the spill is destroyed.
#pragma once

#include <QString>
#include <QTemporaryFile>

#include <osg/BoundingBox>
#include <osg/Image>

#include "pixelgrid.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace fresco {

class PictureSpill
{
public:
    struct Entry
    {
        int index = 0;           // tile index; placement runs in ascending order
        osg::BoundingBoxd box;   // the tile's ground box
        int64_t columns = 0;     // picture size; 0 when the tile has no usable picture
        int64_t rows = 0;
        int64_t offset = 0;      // where its rows start in the file
        int channels = 3;        // bytes per stored pixel: 3 RGB, 4 RGBA
        bool placed = false;     // picture covers exactly `rect` of the grid
        PixelRect rect;
    };

    // `folder` receives the temporary file, created on the first picture.
    explicit PictureSpill(const QString &folder);
    ~PictureSpill();

    PictureSpill(const PictureSpill &) = delete;
    PictureSpill &operator=(const PictureSpill &) = delete;

    // Records the tile and stores its picture (row 0 at the northern edge;
    // 8-bit channels, of which the first three are red, green, blue). A null,
    // empty or unusable picture records the box alone. False when the file
    // could not be created or written; the spill then stays failed.
    bool add(int index, const osg::BoundingBoxd &box, const osg::Image *picture);

    // Records a picture drawn on the set's pixel grid: it covers exactly
    // `rect` (columns x rows pixels, row 0 at the northern edge, RGBA with
    // alpha 0 where no model was drawn). Fails like add().
    bool addPlaced(int index, const osg::BoundingBoxd &box, const PixelRect &rect,
                   const osg::Image *picture);

    bool failed() const { return m_failed; }
    // Entries sorted by tile index (a later entry of the same index wins).
    std::vector<Entry> sortedEntries() const;

    // Reads picture rows [firstRow, firstRow + count) of `entry`, which must
    // lie inside the picture, into `out` (count * columns * channels bytes).
    bool readRows(const Entry &entry, int64_t firstRow, int64_t count, unsigned char *out);

private:
    bool open();
    bool store(Entry entry, const osg::Image *picture);

    QString m_folder;
    std::unique_ptr<QTemporaryFile> m_file;
    std::vector<Entry> m_entries;
    int64_t m_size = 0;
    bool m_failed = false;
};

} // namespace fresco
