#include "blockstore.h"

#include <QMutexLocker>

#include <new>

namespace nimbus {

BlockStore::~BlockStore()
{
    delete[] points_;
}

const std::vector<BlockRecord*>& BlockStore::layOut(const std::vector<CellBox>& cells)
{
    std::size_t total = 0;
    for (const CellBox& cell : cells)
        total += static_cast<std::size_t>(cell.pointCount);
    if (total > capacity_) {
        delete[] points_;
        points_ = new (std::nothrow) PointRecord[total];
        if (!points_)
            reportAllocationFailure();
        capacity_ = total;
        adviseHugePages(points_, sizeof(PointRecord) * total);
    }
    records_.resize(cells.size());
    views_.resize(cells.size());
    handles_.resize(cells.size());
    PointRecord* next = points_;
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
