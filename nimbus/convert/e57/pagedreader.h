#pragma once
// Reads the logical byte stream of an E57 file: the data bytes of its
// 1024-byte pages without their checksums. Every page a read touches is
// checked against its checksum when it is read from the file, so damage is
// found wherever the reader goes, and nothing but the pages a read needs is
// held in memory.

#include "inputfile.h"
#include "nimbusreason.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbus::e57 {

constexpr std::uint64_t kPageSize = 1024;
constexpr std::uint64_t kPageData = 1020; // the last 4 bytes are the checksum

inline std::uint64_t logicalToPhysical(std::uint64_t logical)
{
    return logical / kPageData * kPageSize + logical % kPageData;
}

// False for an offset that points into the checksum bytes of a page.
inline bool physicalToLogical(std::uint64_t physical, std::uint64_t& logical)
{
    if (physical % kPageSize >= kPageData)
        return false;
    logical = physical / kPageSize * kPageData + physical % kPageSize;
    return true;
}

class PagedReader {
public:
    PagedReader() = default;
    PagedReader(const PagedReader&) = delete;
    PagedReader& operator=(const PagedReader&) = delete;

    bool open(const std::string& path);
    // Reads from `size` bytes the caller keeps alive (the fuzz target).
    bool openMemory(const void* data, std::uint64_t size);

    // The file's size in bytes, and the pages wholly inside it.
    std::uint64_t fileSize() const { return size_; }
    // Restricts reading to the first `pages` pages (the length the header
    // states, when the file is longer).
    void limitPages(std::uint64_t pages);
    std::uint64_t pages() const { return pages_; }
    std::uint64_t logicalLength() const { return pages_ * kPageData; }

    // Reads the first `n` raw bytes of the file, checksums included and
    // unchecked (the signature test before a file is taken for E57).
    bool readRaw(void* out, std::size_t n);

    // Copies `n` logical bytes starting at logical offset `logical` into
    // `out`. False with error() set when the range leaves the file, a read
    // fails or a page's checksum does not match.
    bool read(std::uint64_t logical, void* out, std::size_t n);

    // Page numbers whose checksum failed are named in the reason.
    // Why it failed; error() in English.
    const Reason& reason() const { return error_; }
    std::string error() const { return error_.text(); }

private:
    bool fetchPages(std::uint64_t first, std::uint64_t count);
    bool fail(Reason reason);

    // The LAS reader's random-access file: 64-bit offsets on every platform.
    las::InputFile file_;
    const std::uint8_t* memory_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t pages_ = 0;
    // The pages of the last read, already checked; a read that starts on
    // the last of them (a packet's header, then its body) reuses it.
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferFirst_ = 0;
    std::uint64_t bufferCount_ = 0;
    Reason error_;
};

} // namespace nimbus::e57
