// LAZ chunks decoded one after the other on the calling thread. Works with
// or without a chunk table: without one, pointwise chunks are located by
// where the previous chunk's stream ended, layered ones by their layer sizes.

#include "lazsources.h"

#include "bytes.h"
#include "lasmessages.h"

#include <algorithm>
#include <cstring>

namespace nimbus {
namespace las {

namespace {
constexpr std::size_t kStreamBlock = 1 << 18;
} // namespace

FileStream::FileStream(InputFile& file, std::uint64_t limit)
    : file_(file)
    , limit_(limit)
{
}

void FileStream::seek(std::uint64_t offset)
{
    nextOffset_ = offset;
    cur_ = end_ = nullptr;
}

bool FileStream::refill(const std::uint8_t*& begin, const std::uint8_t*& end)
{
    if (nextOffset_ >= limit_)
        return false;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kStreamBlock, limit_ - nextOffset_));
    buffer_.resize(kStreamBlock);
    const std::size_t got = file_.readAt(nextOffset_, buffer_.data(), want);
    if (got == 0)
        return false;
    nextOffset_ += got;
    cur_ = buffer_.data();
    end_ = cur_ + got;
    begin = cur_;
    end = end_;
    return true;
}

bool FileStream::take(std::uint8_t* dst, std::size_t n)
{
    while (n > 0) {
        if (cur_ == end_) {
            const std::uint8_t* b;
            const std::uint8_t* e;
            if (!refill(b, e))
                return false;
        }
        const std::size_t k = std::min<std::size_t>(n, static_cast<std::size_t>(end_ - cur_));
        std::memcpy(dst, cur_, k);
        dst += k;
        cur_ += k;
        n -= k;
    }
    return true;
}

LazSequentialSource::LazSequentialSource(const LasHeader& header, bool allFields)
    : header_(header)
    , decoder_(header, allFields)
    , stream_(file_, 0)
{
}

bool LazSequentialSource::open(const std::string& path, Reason& error)
{
    if (!file_.open(path, error))
        return false;
    stream_.setLimit(file_.size());
    total_ = header_.pointCount();
    const Compressor compressor = header_.laszip.compressor;
    if (compressor == Compressor::Pointwise) {
        nextOffset_ = header_.pointDataOffset;
        return true;
    }
    Reason tableError;
    const ChunkTableState state = readChunkTable(file_, header_, chunks_, tableError);
    if (state == ChunkTableState::Valid) {
        haveTable_ = true;
        return true;
    }
    if (header_.laszip.variableChunks() && total_ > 0) {
        // Without the table nothing tells how many points each chunk holds.
        error = Reason(msg::kVariableChunksNeedTable, tableError);
        return false;
    }
    nextOffset_ = std::uint64_t(header_.pointDataOffset) + 8;
    return true;
}

bool LazSequentialSource::startChunk()
{
    const std::uint64_t remaining = total_ - delivered_;
    if (remaining == 0)
        return false;
    const std::size_t rl = header_.recordLength;
    if (haveTable_) {
        while (nextChunk_ < chunks_.size()) {
            const ChunkEntry& c = chunks_[nextChunk_++];
            chunkLeft_ = std::min<std::uint64_t>(c.points, remaining);
            if (chunkLeft_ == 0)
                continue;
            buffer_.resize(static_cast<std::size_t>(c.bytes));
            if (file_.readAt(c.offset, buffer_.data(), buffer_.size()) != buffer_.size()) {
                fail(Reason(msg::kChunkTruncatedAfter, nextChunk_ - 1, delivered_, total_));
                return false;
            }
            Reason err;
            if (!decoder_.begin(buffer_.data(), buffer_.data() + buffer_.size(), err)) {
                fail(Reason(msg::kChunkCorrupt, nextChunk_ - 1, err));
                return false;
            }
            return true;
        }
        fail(Reason(msg::kChunkTableShort, delivered_, total_));
        return false;
    }

    chunkLeft_ = header_.laszip.compressor == Compressor::Pointwise
                     ? remaining
                     : std::min<std::uint64_t>(header_.laszip.chunkSize, remaining);
    const std::uint64_t fileSize = file_.size();
    if (decoder_.layered()) {
        const LayeredDecoder& ld = *decoder_.layeredDecoder();
        std::vector<std::uint8_t> head(ld.headSize());
        if (nextOffset_ >= fileSize || file_.readAt(nextOffset_, head.data(), head.size()) != head.size()) {
            fail(Reason(msg::kEndsAfter, delivered_, total_));
            return false;
        }
        const std::uint64_t size = ld.chunkSize(head.data());
        if (size > maxChunkBytes(chunkLeft_, header_.recordLength)) {
            fail(Reason(msg::kChunkLayersClaim, chunkIndex_, size));
            return false;
        }
        if (size > fileSize - nextOffset_) {
            fail(Reason(msg::kChunkTruncatedAfter, chunkIndex_, delivered_, total_));
            return false;
        }
        buffer_.resize(static_cast<std::size_t>(size));
        if (file_.readAt(nextOffset_, buffer_.data(), buffer_.size()) != buffer_.size()) {
            fail(Reason(msg::kChunkUnreadable, chunkIndex_));
            return false;
        }
        Reason err;
        if (!decoder_.begin(buffer_.data(), buffer_.data() + buffer_.size(), err)) {
            fail(Reason(msg::kChunkCorrupt, chunkIndex_, err));
            return false;
        }
        nextOffset_ += size;
        ++chunkIndex_;
        return true;
    }

    // Pointwise without a table: the stream tells where the next chunk starts.
    if (chunkIndex_ == 0)
        stream_.seek(nextOffset_);
    else if (decoder_.pointwiseDecoder()->streamStarted())
        stream_.resumeAt(decoder_.pointwiseDecoder()->streamPosition());
    raw_.resize(rl);
    if (!stream_.take(raw_.data(), rl)) {
        fail(Reason(msg::kEndsAfter, delivered_, total_));
        return false;
    }
    decoder_.beginStream(raw_.data(), stream_.cursor(), stream_.windowEnd(), &stream_);
    ++chunkIndex_;
    return true;
}

std::size_t LazSequentialSource::readRecords(std::uint8_t* out, std::size_t max)
{
    const std::size_t rl = header_.recordLength;
    std::size_t got = 0;
    while (got < max && !failed()) {
        if (chunkLeft_ == 0 && !startChunk())
            break;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(max - got, chunkLeft_));
        const std::size_t done = decoder_.decode(out + got * rl, want);
        got += done;
        chunkLeft_ -= done;
        delivered_ += done;
        if (done < want) {
            fail(Reason(msg::kPointsCorruptAfter, delivered_, total_));
            break;
        }
    }
    return got;
}

std::size_t LazSequentialSource::readPoints(LasPoint* out, std::size_t max)
{
    const std::size_t rl = header_.recordLength;
    const std::size_t step = scratchRecords(rl);
    scratch_.resize(step * rl);
    std::size_t got = 0;
    while (got < max) {
        const std::size_t want = std::min(step, max - got);
        const std::size_t n = readRecords(scratch_.data(), want);
        extractPoints(scratch_.data(), n, rl, header_, out + got);
        got += n;
        if (n < want)
            break;
    }
    return got;
}

} // namespace las
} // namespace nimbus
