#pragma once
// Reads the points of a LAS or LAZ file (LAS 1.0-1.4, point formats 0-10,
// uncompressed or LASzip-compressed) in batches into caller-owned arrays.
// Nothing throws: every failure leaves a reason in error(), and a read that
// stops early keeps the points delivered before the fault.

#include "lasheader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "nimbusreason.h"

namespace nimbus {
namespace las {

// The fields a converter needs: raw integer coordinates and 16-bit colour
// (0 when the format has none).
struct LasPoint {
    std::int32_t x;
    std::int32_t y;
    std::int32_t z;
    std::uint16_t red;
    std::uint16_t green;
    std::uint16_t blue;
};

class LasReader {
public:
    LasReader();
    ~LasReader();
    LasReader(const LasReader&) = delete;
    LasReader& operator=(const LasReader&) = delete;

    // Opens `path` (8-bit platform encoding) and parses its header. False
    // when the file cannot be read as LAS/LAZ; error() says why.
    bool open(const std::string& path);

    const LasHeader& header() const;
    // Why the file could not be opened or read; error() in English.
    const Reason& reason() const;
    std::string error() const;
    // True once a read stopped because of a fault (truncation, corruption).
    bool failed() const;
    std::uint64_t pointsRead() const;

    // Threads that decode LAZ chunks ahead of the caller; 0 picks one per
    // hardware thread (at most 4), 1 decodes on the calling thread. Takes
    // effect only before the first read; kept across open().
    void setDecodeThreads(unsigned threads);

    // Delivers up to `max` points. Fewer than `max` means the end of the
    // points or a fault (see failed()).
    std::size_t readPoints(LasPoint* out, std::size_t max);

    // Delivers up to `max` complete records of header().recordLength bytes
    // each, exactly as an uncompressed file stores them. Do not mix with
    // readPoints() on one reader.
    std::size_t readRecords(std::uint8_t* out, std::size_t max);

private:
    bool openFile(const std::string& path);
    template <class Read>
    std::size_t guardedRead(bool fullRecords, Read read);

    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Copies coordinates and colour out of `count` records.
void extractPoints(const std::uint8_t* records, std::size_t count, std::size_t recordLength, const LasHeader& header,
                   LasPoint* out);

} // namespace las
} // namespace nimbus
