#pragma once
// Decodes the records of one scan from its compressed-vector section, a
// batch at a time. Each field's byte stream is followed by its own cursor
// through the data packets; packets are shared between cursors while they
// need them, so memory stays at a few 64 KiB packets per field however
// large the scan.

#include "e57file.h"
#include "nimbusreason.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbus::e57 {

struct RecordBatch {
    std::size_t count = 0;
    // Scan coordinates (spherical ones already turned into cartesian).
    std::vector<double> x, y, z;
    // Nonzero where cartesianInvalidState or sphericalInvalidState is not 0.
    std::vector<std::uint8_t> invalid;
    // Raw colour values; filled only when the scan has all three fields.
    std::vector<double> red, green, blue;
};

// What a scan's prototype offers; false with `error` set when it has no
// coordinates or cannot be decoded.
struct ScanLayout {
    int x = -1, y = -1, z = -1; // field indices of the three coordinates
    bool spherical = false;     // the coordinates are range, azimuth, elevation
    int cartesianState = -1, sphericalState = -1;
    int red = -1, green = -1, blue = -1;
    bool hasColour() const { return red >= 0 && green >= 0 && blue >= 0; }
};
bool layoutOf(const ScanInfo& scan, int scanNumber, ScanLayout& layout, Reason& error);

class ScanRecordReader {
public:
    // `scanNumber` counts from 1 and names the scan in errors.
    ScanRecordReader(PagedReader& pages, const ScanInfo& scan, int scanNumber);
    ~ScanRecordReader();
    ScanRecordReader(const ScanRecordReader&) = delete;
    ScanRecordReader& operator=(const ScanRecordReader&) = delete;

    // Checks the prototype and the section header. A scan without records
    // opens without looking at its section.
    bool open();
    const ScanLayout& layout() const { return layout_; }

    // Decodes up to `maximum` further records into `batch`; 0 at the end of
    // the scan or on failure.
    std::size_t read(RecordBatch& batch, std::size_t maximum);
    std::uint64_t recordsRead() const { return done_; }
    bool failed() const { return !error_.empty(); }
    // Why it failed; error() in English.
    const Reason& reason() const { return error_; }
    std::string error() const { return error_.text(); }

    struct Packet;
    struct Cursor;

private:
    // Fails with `reason`, said of this scan.
    bool fail(const Reason& reason);
    bool nextSlice(Cursor& c);
    bool packetAt(std::uint64_t logical, std::shared_ptr<Packet>& packet, std::uint64_t& next);
    bool decodeField(std::size_t f, double* out, std::size_t n);
    bool skipField(std::size_t f, std::size_t n);
    bool readBits(Cursor& c, unsigned bits, std::uint64_t& value);

    PagedReader& pages_;
    const ScanInfo& scan_;
    int scanNumber_;
    ScanLayout layout_;
    std::uint64_t sectionStart_ = 0, sectionEnd_ = 0; // logical
    std::uint64_t done_ = 0;
    std::vector<Cursor> cursors_;
    std::vector<std::shared_ptr<Packet>> pool_;
    std::vector<double> stateA_, stateB_;
    Reason error_;
    bool opened_ = false;
};

} // namespace nimbus::e57
