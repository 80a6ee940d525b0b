#pragma once
// The records that carry points from a reader through the splitter to the
// writer. They cross threads by pointer exchange and are copied as raw bytes,
// so their layouts are fixed and checked at compile time.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace nimbus {

// One point, relative to the file origin: 16 bytes, no padding.
struct PointRecord {
    float x;
    float y;
    float z;
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t reserved;
};
static_assert(sizeof(PointRecord) == 16, "PointRecord is 16 bytes");
static_assert(offsetof(PointRecord, red) == 12, "colour follows the coordinates");
static_assert(std::is_trivially_copyable<PointRecord>::value, "copied as raw bytes");

// Hand-off buffers hold 20,000,000 points (320,000,000 bytes); three exist
// per conversion (the reader's and the splitter's two).
constexpr std::int32_t kHandOffCapacity = 20000000;
// A block never holds more points than one writer staging buffer can take.
constexpr std::int32_t kMaxBlockPoints = 500000;

// A batch of points with its hand-off flag. Swapped whole between holders;
// whoever holds the record owns `points`. `capacity` travels with the storage
// so a reader that receives the splitter's spent storage knows its room.
struct PointBuffer {
    PointRecord* points = nullptr;
    std::int32_t count = 0;
    bool free = true;
    std::int32_t capacity = 0;
};

void swapBuffers(PointBuffer& a, PointBuffer& b) noexcept;

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages, where it offers them on request: far fewer page faults
// when a large buffer is first filled. Only when the environment sets
// NIMBUS_HUGE_PAGES=1: on the virtual machine we build on, a huge page the
// host had to supply anew cost two to five times the same memory in small
// pages, which is the usual case for a conversion started after a pause.
// Does nothing elsewhere, or for small ranges. Call before the memory is
// first written.
void adviseHugePages(void* data, std::size_t bytes) noexcept;

// Allocates a buffer with room for `capacity` points (count = capacity,
// free = true). On allocation failure the process-wide failure handler runs
// and the process ends; this never returns null.
PointBuffer* createPointBuffer(std::int32_t capacity);
// Frees the storage, then the record. Accepts null.
void releasePointBuffer(PointBuffer* buffer) noexcept;

// While at least one of these lives (the driver holds one for a whole run
// of files), large storage released by releasePointBuffer is kept and given
// to the next createPointBuffer of the same capacity, so a run's later files
// reuse memory that is already mapped instead of faulting it in again. When
// the last one ends, what is kept is freed.
class StorageReuseScope {
public:
    StorageReuseScope();
    ~StorageReuseScope();
    StorageReuseScope(const StorageReuseScope&) = delete;
    StorageReuseScope& operator=(const StorageReuseScope&) = delete;
};

class BlockStore;

// One spatial block travelling from the splitter to the writer. The first 40
// bytes are the directory record of the file, copied as they are. A block
// either owns its storage (`store` null) or is a slice of a BlockStore.
struct BlockRecord {
    std::int32_t index = 0;
    std::int32_t pointCount = 0;
    std::int64_t dataOffset = 0;
    float minX = 0, minY = 0, minZ = 0;
    float maxX = 0, maxY = 0, maxZ = 0;
    PointBuffer* points = nullptr;
    BlockStore* store = nullptr;
};
static_assert(offsetof(BlockRecord, index) == 0, "directory layout");
static_assert(offsetof(BlockRecord, pointCount) == 4, "directory layout");
static_assert(offsetof(BlockRecord, dataOffset) == 8, "directory layout");
static_assert(offsetof(BlockRecord, minX) == 16, "directory layout");
static_assert(offsetof(BlockRecord, maxZ) == 36, "directory layout");
static_assert(offsetof(BlockRecord, points) == 40, "directory record is the first 40 bytes");

// Frees a block's storage, its buffer record and the block; a slice of a
// BlockStore is handed back to its store instead. Accepts null.
void releaseBlock(BlockRecord* block) noexcept;

// What happens when point storage cannot be allocated. The default handler
// prints "内存申请失败pos4！" to stderr; the window installs one that shows
// the warning box. Either way the process then exits with a non-zero status,
// since a zero status would report success.
using AllocationFailureHandler = void (*)();
void setAllocationFailureHandler(AllocationFailureHandler handler);
[[noreturn]] void reportAllocationFailure();
constexpr int kAllocationFailureExitCode = 3;

} // namespace nimbus
