#include "pagedreader.h"

#include "crc32c.h"
#include "e57messages.h"

#include <algorithm>
#include <cstring>

namespace nimbus::e57 {

namespace {

// One read reaches at most this many pages (a 64 KiB packet spans 66); a
// longer request is served in several steps, so memory never follows a
// length found in the file.
constexpr std::uint64_t kMaxPagesPerFetch = 128;

} // namespace

bool PagedReader::fail(Reason reason)
{
    if (error_.empty())
        error_ = std::move(reason);
    return false;
}

bool PagedReader::open(const std::string& path)
{
    Reason reason;
    if (!file_.open(path, reason))
        return fail(Reason(msg::kCannotOpen));
    size_ = file_.size();
    pages_ = size_ / kPageSize;
    return true;
}

bool PagedReader::openMemory(const void* data, std::uint64_t size)
{
    memory_ = static_cast<const std::uint8_t*>(data);
    size_ = size;
    pages_ = size_ / kPageSize;
    return true;
}

void PagedReader::limitPages(std::uint64_t pages)
{
    pages_ = std::min(pages_, pages);
    bufferCount_ = 0;
}

bool PagedReader::readRaw(void* out, std::size_t n)
{
    if (n > size_)
        return false;
    if (memory_) {
        std::memcpy(out, memory_, n);
        return true;
    }
    return file_.readAt(0, out, n) == n;
}

bool PagedReader::fetchPages(std::uint64_t first, std::uint64_t count)
{
    bufferCount_ = 0;
    const std::size_t bytes = static_cast<std::size_t>(count * kPageSize);
    if (buffer_.size() < bytes)
        buffer_.resize(bytes);
    const std::uint64_t offset = first * kPageSize;
    if (memory_) {
        std::memcpy(buffer_.data(), memory_ + offset, bytes);
    } else if (file_.readAt(offset, buffer_.data(), bytes) != bytes) {
        return fail(Reason(msg::kCannotReadAt, offset));
    }
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint8_t* page = buffer_.data() + k * kPageSize;
        const std::uint32_t stored = (std::uint32_t(page[1020]) << 24) | (std::uint32_t(page[1021]) << 16)
            | (std::uint32_t(page[1022]) << 8) | std::uint32_t(page[1023]);
        if (crc32c(page, kPageData) != stored)
            return fail(Reason(msg::kChecksumMismatch, first + k, (first + k) * kPageSize,
                               (first + k + 1) * kPageSize - 1));
    }
    bufferFirst_ = first;
    bufferCount_ = count;
    return true;
}

bool PagedReader::read(std::uint64_t logical, void* out, std::size_t n)
{
    if (!error_.empty())
        return false;
    const std::uint64_t length = logicalLength();
    if (logical > length || n > length - logical)
        return fail(Reason(msg::kReadPastEnd, logicalToPhysical(logical)));
    auto* dst = static_cast<std::uint8_t*>(out);
    while (n > 0) {
        const std::uint64_t page = logical / kPageData;
        const std::uint64_t within = logical % kPageData;
        if (page < bufferFirst_ || page >= bufferFirst_ + bufferCount_) {
            const std::uint64_t lastPage = (logical + n - 1) / kPageData;
            const std::uint64_t count = std::min(lastPage - page + 1, kMaxPagesPerFetch);
            if (!fetchPages(page, count))
                return false;
        }
        const std::uint8_t* src = buffer_.data() + (page - bufferFirst_) * kPageSize + within;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(kPageData - within, n));
        std::memcpy(dst, src, take);
        dst += take;
        n -= take;
        logical += take;
    }
    return true;
}

} // namespace nimbus::e57
