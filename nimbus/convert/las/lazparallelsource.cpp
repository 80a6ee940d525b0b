#include "lazsources.h"
#include "lasmessages.h"
#include "systemerror.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace nimbus {
namespace las {

LazParallelSource::LazParallelSource(const std::string& path, const LasHeader& header, std::vector<ChunkEntry> chunks,
                                     unsigned threads)
    : path_(path)
    , header_(header)
    , chunks_(std::move(chunks))
    , total_(header.pointCount())
{
    std::uint64_t assigned = 0;
    targets_.reserve(chunks_.size());
    for (const ChunkEntry& c : chunks_) {
        const std::uint64_t want = std::min<std::uint64_t>(c.points, total_ - assigned);
        targets_.push_back(want);
        assigned += want;
    }
    const unsigned n = std::max(1u, threads);
    slots_.resize(n + 2);
    try {
        for (unsigned i = 0; i < n; ++i)
            workers_.emplace_back([this] { work(); });
    } catch (...) {
        // The destructor does not run for a half-built object, and a thread
        // left joinable would end the program.
        stopWorkers();
        throw;
    }
}

LazParallelSource::~LazParallelSource()
{
    stopWorkers();
}

void LazParallelSource::stopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_)
        t.join();
    workers_.clear();
}

void LazParallelSource::work()
{
    InputFile file;
    Reason openError;
    bool opened = file.open(path_, openError);
    std::unique_ptr<ChunkDecoder> decoder;
    try {
        decoder = std::make_unique<ChunkDecoder>(header_, false);
    } catch (const std::exception& e) {
        opened = false;
        openError = Reason(msg::kNoMemoryForDecoder, ownWords(e.what()));
    }
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> records;
    for (;;) {
        std::size_t index;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] {
                return stop_ || nextToDecode_ >= chunks_.size() || nextToDecode_ < nextToDeliver_ + slots_.size();
            });
            if (stop_ || nextToDecode_ >= chunks_.size())
                return;
            index = nextToDecode_++;
        }
        Slot& slot = slots_[index % slots_.size()];
        slot.bad = false;
        slot.error = Reason();
        slot.readPos = 0;
        if (opened) {
            try {
                decodeChunk(index, slot, file, *decoder, bytes, records);
            } catch (const std::exception& e) {
                slot.points.clear();
                slot.bad = true;
                slot.error = Reason(msg::kChunkNotDecodable, index, ownWords(e.what()));
            }
        } else {
            slot.points.clear();
            slot.bad = true;
            slot.error = openError;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            slot.chunk = index;
            slot.ready = true;
        }
        changed_.notify_all();
    }
}

void LazParallelSource::decodeChunk(std::size_t index, Slot& slot, InputFile& file, ChunkDecoder& decoder,
                                    std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& records)
{
    const ChunkEntry& c = chunks_[index];
    const std::size_t want = static_cast<std::size_t>(targets_[index]);
    const std::size_t rl = header_.recordLength;
    slot.points.resize(want);
    if (want == 0)
        return;
    bytes.resize(static_cast<std::size_t>(c.bytes));
    Reason err;
    if (file.readAt(c.offset, bytes.data(), bytes.size()) != bytes.size()) {
        slot.points.clear();
        slot.bad = true;
        slot.error = Reason(msg::kChunkTruncated, index);
        return;
    }
    if (!decoder.begin(bytes.data(), bytes.data() + bytes.size(), err)) {
        slot.points.clear();
        slot.bad = true;
        slot.error = Reason(msg::kChunkCorrupt, index, err);
        return;
    }
    const std::size_t step = scratchRecords(rl);
    records.resize(step * rl);
    std::size_t done = 0;
    while (done < want) {
        const std::size_t n = std::min(step, want - done);
        const std::size_t got = decoder.decode(records.data(), n);
        extractPoints(records.data(), got, rl, header_, slot.points.data() + done);
        done += got;
        if (got < n) {
            slot.points.resize(done);
            slot.bad = true;
            slot.error = Reason(msg::kChunkPointsCorrupt, index);
            return;
        }
    }
}

std::size_t LazParallelSource::readRecords(std::uint8_t*, std::size_t)
{
    fail(Reason(msg::kNoCompleteRecords));
    return 0;
}

std::size_t LazParallelSource::readPoints(LasPoint* out, std::size_t max)
{
    std::size_t got = 0;
    while (got < max && !failed()) {
        if (nextToDeliver_ >= chunks_.size()) {
            if (delivered_ < total_)
                fail(Reason(msg::kChunkTableShort, delivered_, total_));
            break;
        }
        Slot& slot = slots_[nextToDeliver_ % slots_.size()];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            const std::size_t wanted = nextToDeliver_;
            changed_.wait(lock, [&] { return slot.ready && slot.chunk == wanted; });
        }
        const std::size_t n = std::min(max - got, slot.points.size() - slot.readPos);
        std::memcpy(out + got, slot.points.data() + slot.readPos, n * sizeof(LasPoint));
        slot.readPos += n;
        got += n;
        delivered_ += n;
        if (slot.readPos == slot.points.size()) {
            if (slot.bad) {
                fail(Reason(msg::kFaultAfter, slot.error, delivered_, total_));
                break;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot.ready = false;
                ++nextToDeliver_;
            }
            changed_.notify_all();
        }
    }
    return got;
}

} // namespace las
} // namespace nimbus
