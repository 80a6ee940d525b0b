#include "blockstore.h"

#include <QMutexLocker>

#include <algorithm>
#include <climits>

namespace nimbus {

BlockStore::~BlockStore()
{
    releasePointBuffer(storage_);
}

const std::vector<BlockRecord*>& BlockStore::layOut(const std::vector<CellBox>& cells, std::int32_t capacity)
{
    std::int64_t total = 0;
    for (const CellBox& cell : cells)
        total += cell.pointCount;
    if (!storage_ || total > storage_->capacity) {
        releasePointBuffer(storage_);
        storage_ = nullptr;
        if (total > INT32_MAX)
            reportAllocationFailure();
        storage_ = createPointBuffer(std::max<std::int32_t>(capacity, static_cast<std::int32_t>(total)));
    }
    records_.resize(cells.size());
    views_.resize(cells.size());
    handles_.resize(cells.size());
    PointRecord* next = storage_->points;
    for (std::size_t b = 0; b < cells.size(); ++b) {
        const CellBox& cell = cells[b];
        PointBuffer& view = views_[b];
        view.points = next;
        view.count = view.capacity = cell.pointCount;
        view.free = true;
        next += cell.pointCount;
        BlockRecord& block = records_[b];
        block = BlockRecord();
        block.minX = cell.minX;
        block.minY = cell.minY;
        block.minZ = cell.minZ;
        block.maxX = cell.maxX;
        block.maxY = cell.maxY;
        block.maxZ = cell.maxZ;
        block.points = &view;
        block.store = this;
        handles_[b] = &block;
    }
    return handles_;
}

void BlockStore::handOver()
{
    QMutexLocker locker(&mutex_);
    out_ = handles_.size();
}

void BlockStore::blockDone()
{
    QMutexLocker locker(&mutex_);
    if (out_ > 0 && --out_ == 0)
        idle_.wakeAll();
}

bool BlockStore::waitUntilIdle(unsigned long maxMs)
{
    QMutexLocker locker(&mutex_);
    if (out_ > 0)
        idle_.wait(&mutex_, maxMs);
    return out_ == 0;
}

} // namespace nimbus
