#pragma once
// The two ways LAZ points are decoded: chunk after chunk on the calling
// thread, or several chunks at once on worker threads while the caller
// takes the finished ones in file order.

#include "chunkdecoder.h"
#include "chunktable.h"
#include "inputfile.h"
#include "pointsource.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace nimbus {
namespace las {

// Records decoded per step before their points are taken out. The step is a
// byte budget, not a record count, because records run up to 64 KiB: small
// enough to stay in cache, large enough that the step's overhead does not
// count.
inline std::size_t scratchRecords(std::size_t recordLength)
{
    constexpr std::size_t kScratchBytes = 256u << 10;
    return recordLength < kScratchBytes ? kScratchBytes / recordLength : 1;
}

// Feeds a pointwise stream straight from the file in blocks, for chunks whose
// size nobody wrote down.
class FileStream : public ByteRefill {
public:
    FileStream(InputFile& file, std::uint64_t limit);
    void setLimit(std::uint64_t limit) { limit_ = limit; }
    void seek(std::uint64_t offset);
    // Continues at `p`, a position inside the current block.
    void resumeAt(const std::uint8_t* p) { cur_ = p; }
    bool take(std::uint8_t* dst, std::size_t n);
    const std::uint8_t* cursor() const { return cur_; }
    const std::uint8_t* windowEnd() const { return end_; }
    bool refill(const std::uint8_t*& begin, const std::uint8_t*& end) override;

private:
    InputFile& file_;
    std::uint64_t limit_;
    std::uint64_t nextOffset_ = 0;
    std::vector<std::uint8_t> buffer_;
    const std::uint8_t* cur_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

class LazSequentialSource : public PointSource {
public:
    LazSequentialSource(const LasHeader& header, bool allFields);
    bool open(const std::string& path, Reason& error);
    std::size_t readRecords(std::uint8_t* out, std::size_t max) override;
    std::size_t readPoints(LasPoint* out, std::size_t max) override;

    bool haveTable() const { return haveTable_; }
    const std::vector<ChunkEntry>& chunks() const { return chunks_; }

private:
    bool startChunk();

    LasHeader header_;
    InputFile file_;
    ChunkDecoder decoder_;
    FileStream stream_;
    std::vector<ChunkEntry> chunks_;
    bool haveTable_ = false;
    std::size_t nextChunk_ = 0;
    std::uint64_t chunkIndex_ = 0;
    std::uint64_t nextOffset_ = 0;
    std::uint64_t total_ = 0;
    std::uint64_t delivered_ = 0;
    std::uint64_t chunkLeft_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> scratch_;
};

// Decodes whole chunks on worker threads, a bounded number ahead of the
// consumer. Used only when the chunk table is valid and chunks are of a
// size that can be held in memory.
class LazParallelSource : public PointSource {
public:
    LazParallelSource(const std::string& path, const LasHeader& header, std::vector<ChunkEntry> chunks,
                      unsigned threads);
    ~LazParallelSource() override;
    std::size_t readRecords(std::uint8_t* out, std::size_t max) override;
    std::size_t readPoints(LasPoint* out, std::size_t max) override;

    // Largest chunk this source takes; bigger ones are decoded sequentially.
    static constexpr std::uint64_t kMaxChunkPoints = 1u << 20;

private:
    struct Slot {
        std::size_t chunk = 0;
        bool ready = false;
        bool bad = false;
        Reason error;
        std::vector<LasPoint> points;
        std::size_t readPos = 0;
    };
    void work();
    void stopWorkers();
    void decodeChunk(std::size_t index, Slot& slot, InputFile& file, ChunkDecoder& decoder,
                     std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& records);

    std::string path_;
    LasHeader header_;
    std::vector<ChunkEntry> chunks_;
    std::vector<std::uint64_t> targets_;  // points wanted from each chunk
    std::uint64_t total_ = 0;
    std::uint64_t delivered_ = 0;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t nextToDecode_ = 0;
    std::size_t nextToDeliver_ = 0;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

} // namespace las
} // namespace nimbus
