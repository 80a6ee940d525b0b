#pragma once
// Reads the points of a PCD file (text, binary or LZF-compressed body; any
// field layout, organized or not) as x, y, z in file order, row after row.
// Plain C++ without Qt; nothing throws: a file that cannot be read fails
// open() or readPoints() with a reason in error().
//
// open() checks the whole file before the first point is handed out: the
// header, that the body holds every announced point, and every line of a
// text body, so a damaged file is refused before anything is written from
// it. A compressed body is unpacked into memory by open(); the others are
// read in chunks.

#include "inputfile.h"
#include "pcdheader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nimbus {
namespace pcd {

struct PcdPoint {
    double x, y, z; // as stored, NaN and infinities included
};

class PcdReader {
public:
    PcdReader();
    ~PcdReader();
    PcdReader(const PcdReader&) = delete;
    PcdReader& operator=(const PcdReader&) = delete;

    // `path` is in the form las::InputFile takes. False with error() set
    // when the file is not a readable PCD cloud.
    bool open(const std::string& path);
    // The same for the vertices of a PLY file (text or binary, either byte
    // order), which have the forms of PCD points; header() then describes
    // the vertex properties as fields.
    bool openPly(const std::string& path);
    const PcdHeader& header() const { return header_; }

    // Up to `n` next points into `out`; fewer only at the end of the cloud
    // or when reading fails (then failed() and error()).
    std::size_t readPoints(PcdPoint* out, std::size_t n);
    std::uint64_t pointsRead() const { return pointsRead_; }

    bool failed() const { return !error_.empty(); }
    // Why the file could not be opened or read; error() in English.
    const Reason& reason() const { return error_; }
    std::string error() const { return error_.text(); }

    // Text lines at least this long cannot be held and are refused.
    static constexpr std::size_t kLineLimit = std::size_t(8) << 20;

private:
    struct Coordinate {
        PcdValueType type;
        std::uint64_t offset;     // within a binary record
        std::uint64_t valueIndex; // among the numbers of a text line
        std::uint64_t block;      // start of the field's block in an unpacked body
        std::uint64_t stride;     // bytes per point within that block
        std::uint32_t size;       // bytes of one value
    };

    bool fail(Reason reason);
    bool openFile(const std::string& path, bool ply);
    bool openBody();
    bool checkBinary();
    bool unpackCompressed();
    bool checkText();
    bool rewindText();
    // The next text line (without "\n"); false at the end or on a read
    // error. `tooLong` is set for a line beyond kLineLimit.
    bool nextLine(std::string_view& line, bool& tooLong);
    // Checks one non-empty text line; with `point` also reads its x, y, z.
    bool parseLine(std::string_view line, std::uint64_t lineNumber, PcdPoint* point);
    std::size_t readBinary(PcdPoint* out, std::size_t n);
    std::size_t readUnpacked(PcdPoint* out, std::size_t n);
    std::size_t readText(PcdPoint* out, std::size_t n);

    las::InputFile file_;
    PcdHeader header_;
    Coordinate xyz_[3] = {};
    Reason error_;
    std::uint64_t pointsRead_ = 0;

    std::vector<std::uint8_t> body_; // a compressed body, unpacked, field after field
    std::vector<std::uint8_t> chunk_; // binary records being decoded

    // Text body state.
    std::unique_ptr<char[]> text_;
    std::size_t textBegin_ = 0, textEnd_ = 0;
    std::size_t textCapacity_ = 0; // a line this long cannot end inside the buffer
    std::uint64_t textOffset_ = 0; // file offset of the next byte to read into text_
    std::uint64_t lineNumber_ = 0;
};

} // namespace pcd
} // namespace nimbus
