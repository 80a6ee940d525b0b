#include "picturespill.h"

#include <algorithm>
#include <cstring>

namespace fresco {

PictureSpill::PictureSpill(const QString &folder) : m_folder(folder) {}

PictureSpill::~PictureSpill() = default;

bool PictureSpill::open()
{
    if (m_file)
        return true;
    // Hidden, and named so that it is never taken for a raster of the set.
    auto file = std::make_unique<QTemporaryFile>(m_folder + QStringLiteral("/.fresco-pictures-XXXXXX.spill"));
    file->setAutoRemove(true);
    if (!file->open())
        return false;
    m_file = std::move(file);
    return true;
}

bool PictureSpill::add(int index, const osg::BoundingBoxd &box, const osg::Image *picture)
{
    Entry entry;
    entry.index = index;
    entry.box = box;
    // The box is kept even when its picture cannot be: pieces are due
    // wherever a tile lies.
    if (m_failed) {
        m_entries.push_back(entry);
        return false;
    }

    const bool usable = picture && picture->data() && picture->s() > 0 && picture->t() > 0
                        && picture->getDataType() == GL_UNSIGNED_BYTE
                        && picture->getPixelSizeInBits() >= 24
                        && picture->getPixelSizeInBits() % 8 == 0;
    if (!usable) {
        m_entries.push_back(entry);
        return true;
    }
    return store(entry, picture);
}

bool PictureSpill::addPlaced(int index, const osg::BoundingBoxd &box, const PixelRect &rect,
                             const osg::Image *picture)
{
    Entry entry;
    entry.index = index;
    entry.box = box;
    entry.rect = rect;
    entry.placed = true;
    entry.channels = 4;
    if (m_failed) {
        m_entries.push_back(entry);
        return false;
    }
    const bool usable = picture && picture->data() && picture->s() == rect.columns
                        && picture->t() == rect.rows && picture->getDataType() == GL_UNSIGNED_BYTE
                        && picture->getPixelFormat() == GL_RGBA;
    if (!usable) {
        m_entries.push_back(entry);
        return true;
    }
    return store(entry, picture);
}

bool PictureSpill::store(Entry entry, const osg::Image *picture)
{
    if (!open()) {
        m_failed = true;
        m_entries.push_back(entry);
        return false;
    }

    entry.columns = picture->s();
    entry.rows = picture->t();
    entry.offset = m_size;
    const size_t pixelBytes = picture->getPixelSizeInBits() / 8;
    const size_t rowStep = picture->getRowStepInBytes();
    const size_t channels = static_cast<size_t>(entry.channels);
    const size_t packedRow = static_cast<size_t>(entry.columns) * channels;
    bool written = m_file->seek(m_size);
    if (written && pixelBytes == channels && rowStep == packedRow) {
        const qint64 total = static_cast<qint64>(packedRow) * entry.rows;
        written = m_file->write(reinterpret_cast<const char *>(picture->data()), total) == total;
    } else {
        std::vector<char> row(packedRow);
        for (int64_t r = 0; r < entry.rows && written; ++r) {
            const unsigned char *source = picture->data() + static_cast<size_t>(r) * rowStep;
            for (int64_t c = 0; c < entry.columns; ++c)
                std::memcpy(&row[static_cast<size_t>(c) * channels], source + c * pixelBytes,
                            channels);
            written = m_file->write(row.data(), static_cast<qint64>(packedRow))
                      == static_cast<qint64>(packedRow);
        }
    }
    // Buffered bytes that cannot reach the disk fail here, not later.
    if (!written || !m_file->flush()) {
        m_failed = true;
        entry.columns = entry.rows = 0;
        m_entries.push_back(entry);
        return false;
    }
    m_size += static_cast<int64_t>(packedRow) * entry.rows;
    m_entries.push_back(entry);
    return true;
}

std::vector<PictureSpill::Entry> PictureSpill::sortedEntries() const
{
    std::vector<Entry> sorted = m_entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Entry &a, const Entry &b) { return a.index < b.index; });
    // Of entries with one index, the last added stays.
    std::vector<Entry> unique;
    for (const Entry &entry : sorted) {
        if (!unique.empty() && unique.back().index == entry.index)
            unique.back() = entry;
        else
            unique.push_back(entry);
    }
    return unique;
}

bool PictureSpill::readRows(const Entry &entry, int64_t firstRow, int64_t count, unsigned char *out)
{
    if (!m_file || firstRow < 0 || count < 0 || firstRow + count > entry.rows)
        return false;
    const qint64 rowBytes = static_cast<qint64>(entry.columns) * entry.channels;
    const qint64 bytes = rowBytes * count;
    return m_file->seek(entry.offset + rowBytes * firstRow)
           && m_file->read(reinterpret_cast<char *>(out), bytes) == bytes;
}

} // namespace fresco
