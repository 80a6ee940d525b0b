#pragma once
// Reads ilas files: the header, the block directory and each block's points.
// Plain C++17, no Qt and no threads, so any consumer can use it; a const
// reader may be shared between threads.
//
// Before any block is handed out, every length and offset in the header and
// the directory is checked against the file's size, so no accessor can reach
// past the end. The header and directory are copied at opening; readBlock()
// reads a block from the file when asked, and fails with "file changed while
// reading" when the file has been cut meanwhile; block() hands out the
// mapping, for files nobody changes while they are read. Assumes a
// little-endian host, as the file is little-endian.

#include "ilasformat.h"
#include "mappedfile.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace nimbus::ilas {

// What a file turned out to be when it was opened.
enum class FileState {
    Unreadable, // could not be opened or read
    Damaged,    // not an ilas file, or its header and directory disagree with its size
    Unfinished, // the writer never completed it: the magic is still the placeholder
    Complete,   // header and directory consistent: every block can be read
};

// The first broken rule: a short rule name (e.g. "file-size", "kd-order"),
// the block it concerns (-1 for the file as a whole) and a sentence.
struct Problem {
    std::int64_t block = -1;
    std::string rule;
    std::string detail;
    bool found() const { return !rule.empty(); }
    std::string text() const;
};

struct StoredXyz {
    float x, y, z;
};
struct StoredColour {
    std::uint8_t red, green, blue, reserved;
};
struct AbsoluteXyz {
    double x, y, z;
};
// An axis-aligned box in absolute coordinates; lower corner first.
struct Box {
    double min[3];
    double max[3];
};

// One block's point data inside the mapped file. Valid while its reader is.
class BlockView {
public:
    BlockView() = default;
    BlockView(const std::uint8_t* data, std::int32_t count, bool colour)
        : data_(data), count_(count), colour_(colour)
    {
    }
    std::int32_t count() const { return count_; }
    bool hasColour() const { return colour_; }
    // Point k (0 <= k < count) as stored: float offsets from the origin.
    StoredXyz point(std::int32_t k) const
    {
        StoredXyz p;
        std::memcpy(&p, data_ + 12 * static_cast<std::size_t>(k), sizeof p);
        return p;
    }
    // A hint that point k will be read soon, for loops walking a block in
    // order: the processor's own prefetching stops at page boundaries.
    void prefetch(std::int32_t k) const
    {
#if defined(__GNUC__) || defined(__clang__)
        if (k >= 0 && k < count_)
            __builtin_prefetch(data_ + 12 * static_cast<std::size_t>(k));
#else
        (void)k;
#endif
    }
    // Colour of point k; only when hasColour().
    StoredColour colour(std::int32_t k) const
    {
        StoredColour c;
        std::memcpy(&c, data_ + 12 * static_cast<std::size_t>(count_) + 4 * static_cast<std::size_t>(k),
                    sizeof c);
        return c;
    }

private:
    const std::uint8_t* data_ = nullptr;
    std::int32_t count_ = 0;
    bool colour_ = false;
};

class IlasReader {
public:
    // How much of the file the caller means to read: the header and the
    // directory only, or every point as well (then the file is mapped whole
    // up front, which is cheaper than page by page).
    enum class Reading { Directory, EveryPoint };

    // True when the file is Complete; otherwise state() and problem() say
    // what it is. An Unfinished or Damaged file still shows its header when
    // it has one (hasHeader()), but no blocks.
    bool open(const std::string& path, Reading reading = Reading::Directory);
    // The same for an ilas file already in memory; the bytes must outlive
    // the reader's use of them. `name` stands for the path in reports.
    bool openMemory(const void* data, std::uint64_t size, const std::string& name);
    void close();

    FileState state() const { return state_; }
    const Problem& problem() const { return problem_; }
    std::uint64_t fileSize() const { return file_.size(); }
    const std::string& path() const { return path_; }

    bool hasHeader() const { return hasHeader_; }
    const IlasHeader& header() const { return header_; }
    // The magic and creation time as text (up to their NUL).
    std::string magic() const;
    std::string createdAt() const;
    // 16 with colour, 12 without.
    int bytesPerPoint() const { return header_.hasColor ? 16 : 12; }

    // The directory, in block order; empty unless the file is Complete.
    const std::vector<IlasBlockEntry>& blocks() const { return blocks_; }
    BlockView block(std::size_t index) const;
    // A block's box shifted by the origin, in double precision.
    Box blockBox(std::size_t index) const;
    AbsoluteXyz absolute(const StoredXyz& p) const
    {
        return {header_.originX + p.x, header_.originY + p.y, header_.originZ + p.z};
    }
    // Indices of the blocks whose boxes meet `query` (faces touching count),
    // found from the directory alone.
    std::vector<std::int32_t> blocksMeeting(const Box& query) const;

    // Block `index` read from the file into `storage` (reused between calls),
    // `view` then showing it until `storage` changes. False with `problem` set
    // (rule "file-changed") when the file no longer holds the block whole.
    bool readBlock(std::size_t index, std::vector<std::uint8_t>& storage, BlockView& view,
                   Problem& problem) const;

    // The raw bytes of the file, for checks that look at its padding.
    const std::uint8_t* bytes() const { return file_.data(); }

private:
    bool readHeader();
    bool fail(FileState state, std::int64_t block, const char* rule, std::string detail);
    bool readDirectory();

    MappedFile file_;
    std::string path_;
    FileState state_ = FileState::Unreadable;
    Problem problem_;
    bool hasHeader_ = false;
    // The packed header would otherwise follow the bool at an odd address,
    // and references to its 64-bit fields would be misaligned.
    alignas(8) IlasHeader header_{};
    std::vector<IlasBlockEntry> blocks_;
};

} // namespace nimbus::ilas
