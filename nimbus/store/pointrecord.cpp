#include "pointrecord.h"

#include "blockstore.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace nimbus {

namespace {

void printAllocationFailure()
{
    std::fputs("内存申请失败pos4！\n", stderr);
}

std::atomic<AllocationFailureHandler> gFailureHandler{&printAllocationFailure};

// Storage kept for reuse: only large arrays (smaller ones are cheap to map),
// and no more than one conversion holds at once (three hand-off buffers and
// one block store).
constexpr std::int32_t kReuseMinimum = 1 << 20;
constexpr std::size_t kMaxKept = 4;

struct KeptStorage {
    std::int32_t capacity;
    PointRecord* points;
};

struct ReuseCache {
    std::mutex mutex;
    int scopes = 0;
    std::vector<KeptStorage> kept;
};

ReuseCache& reuseCache()
{
    static ReuseCache cache;
    return cache;
}

PointRecord* takeKept(std::int32_t capacity)
{
    if (capacity < kReuseMinimum)
        return nullptr;
    ReuseCache& cache = reuseCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    for (auto it = cache.kept.begin(); it != cache.kept.end(); ++it) {
        if (it->capacity == capacity) {
            PointRecord* points = it->points;
            cache.kept.erase(it);
            return points;
        }
    }
    return nullptr;
}

bool keep(PointRecord* points, std::int32_t capacity) noexcept
{
    if (!points || capacity < kReuseMinimum)
        return false;
    ReuseCache& cache = reuseCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.scopes == 0 || cache.kept.size() >= kMaxKept)
        return false;
    cache.kept.push_back(KeptStorage{capacity, points});
    return true;
}

} // namespace

void swapBuffers(PointBuffer& a, PointBuffer& b) noexcept
{
    std::swap(a.points, b.points);
    std::swap(a.count, b.count);
    std::swap(a.free, b.free);
    std::swap(a.capacity, b.capacity);
}

void adviseHugePages(void* data, std::size_t bytes) noexcept
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    static const bool wanted = [] {
        const char* setting = std::getenv("NIMBUS_HUGE_PAGES");
        return setting && std::strcmp(setting, "1") == 0;
    }();
    if (wanted && data && last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

PointBuffer* createPointBuffer(std::int32_t capacity)
{
    if (capacity < 0)
        capacity = 0;
    auto* buffer = new (std::nothrow) PointBuffer;
    if (!buffer)
        reportAllocationFailure();
    if (capacity > 0) {
        buffer->points = takeKept(capacity);
        if (!buffer->points) {
            buffer->points = new (std::nothrow) PointRecord[static_cast<std::size_t>(capacity)];
            if (!buffer->points)
                reportAllocationFailure();
            adviseHugePages(buffer->points, sizeof(PointRecord) * static_cast<std::size_t>(capacity));
        }
    }
    buffer->count = capacity;
    buffer->capacity = capacity;
    buffer->free = true;
    return buffer;
}

void releasePointBuffer(PointBuffer* buffer) noexcept
{
    if (!buffer)
        return;
    if (!keep(buffer->points, buffer->capacity))
        delete[] buffer->points;
    delete buffer;
}

StorageReuseScope::StorageReuseScope()
{
    ReuseCache& cache = reuseCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    ++cache.scopes;
}

StorageReuseScope::~StorageReuseScope()
{
    std::vector<KeptStorage> released;
    {
        ReuseCache& cache = reuseCache();
        std::lock_guard<std::mutex> lock(cache.mutex);
        if (--cache.scopes == 0)
            released.swap(cache.kept);
    }
    for (const KeptStorage& storage : released)
        delete[] storage.points;
}

void releaseBlock(BlockRecord* block) noexcept
{
    if (!block)
        return;
    if (block->store) {
        block->store->blockDone();
        return;
    }
    releasePointBuffer(block->points);
    delete block;
}

void setAllocationFailureHandler(AllocationFailureHandler handler)
{
    gFailureHandler.store(handler ? handler : &printAllocationFailure);
}

void reportAllocationFailure()
{
    // The handler may show a message; afterwards the process ends at once.
    // Running static destructors here could touch objects other threads are
    // still using, so the exit skips them.
    gFailureHandler.load()();
    std::fflush(stderr);
    std::_Exit(kAllocationFailureExitCode);
}

} // namespace nimbus
