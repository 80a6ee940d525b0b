#pragma once
// The blocks of one hand-off buffer: their records, and their points as
// consecutive slices of one array, so that a batch costs no allocation per
// block and the array serves batch after batch. The splitter lays the blocks
// out and fills them; the writer hands each block back once it is written.
// Owned by the splitter, which outlives every block it handed out.

#include "blockpartition.h"
#include "pointrecord.h"

#include <QMutex>
#include <QWaitCondition>

#include <cstdint>
#include <memory>
#include <vector>

namespace nimbus {

class BlockStore {
public:
    BlockStore() = default;
    ~BlockStore();
    BlockStore(const BlockStore&) = delete;
    BlockStore& operator=(const BlockStore&) = delete;

    // Only while idle: one block per cell, in cell order, with the cell's box
    // and room for exactly its points; pointCount starts at 0. The point
    // array is allocated with room for `capacity` points (the hand-off
    // buffers' room, which no batch exceeds) or more if the cells need it; a
    // failed allocation ends the process.
    const std::vector<BlockRecord*>& layOut(const std::vector<CellBox>& cells, std::int32_t capacity);

    // The blocks laid out last now belong to the writer until each comes back.
    void handOver();
    // Called (by releaseBlock) for every handed-over block once written.
    void blockDone();
    // Waits at most `maxMs` for every handed-over block to come back; true
    // when none is out.
    bool waitUntilIdle(unsigned long maxMs);

private:
    PointBuffer* storage_ = nullptr;
    std::vector<BlockRecord> records_;
    std::vector<PointBuffer> views_;
    std::vector<BlockRecord*> handles_;
    QMutex mutex_;
    QWaitCondition idle_;
    std::size_t out_ = 0; // blocks handed over and not yet back
};

} // namespace nimbus
