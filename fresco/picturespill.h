// Holds the rendered pictures of one tile set on disk until the set's raster
// size is known, so that memory never has to hold more than one picture.
// The pictures go, packed as 3-byte RGB rows, into a temporary file in the
// output folder; the file is removed when the spill is destroyed.
#pragma once

#include <QString>
#include <QTemporaryFile>

#include <osg/BoundingBox>
#include <osg/Image>

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

    bool failed() const { return m_failed; }
    // Entries sorted by tile index (a later entry of the same index wins).
    std::vector<Entry> sortedEntries() const;

    // Reads picture rows [firstRow, firstRow + count) of `entry`, which must
    // lie inside the picture, into `out` (count * columns * 3 bytes).
    bool readRows(const Entry &entry, int64_t firstRow, int64_t count, unsigned char *out);

private:
    bool open();

    QString m_folder;
    std::unique_ptr<QTemporaryFile> m_file;
    std::vector<Entry> m_entries;
    int64_t m_size = 0;
    bool m_failed = false;
};

} // namespace fresco
