#include "blockpartition.h"

#include <omp.h>

#include <algorithm>
#include <array>
#include <utility>

namespace nimbus {

namespace {

// Below this many points one thread does each step.
constexpr std::int64_t kParallelMinimum = 200000;

int chunksFor(std::int64_t items)
{
    return items < kParallelMinimum ? 1 : std::clamp(omp_get_max_threads(), 1, 8);
}

// A cell waiting to be halved, with its points in buffer order.
struct PendingCell {
    CellBox box;
    std::vector<std::int32_t> members;
};

bool sameBox(const CellBox& a, const CellBox& b)
{
    return a.minX == b.minX && a.minY == b.minY && a.minZ == b.minZ && a.maxX == b.maxX
        && a.maxY == b.maxY && a.maxZ == b.maxZ;
}

class Partitioner {
public:
    Partitioner(const PointRecord* points, std::int32_t count, std::int32_t maxBlockPoints,
                std::int32_t minCellPoints)
        : points_(points), count_(count), maxBlockPoints_(std::max<std::int32_t>(1, maxBlockPoints)),
          minCellPoints_(std::max<std::int32_t>(1, minCellPoints)),
          minSubCellPoints_(std::min(kMinSubCellPoints, minCellPoints_))
    {
    }

    BufferPartition run(std::vector<std::int32_t> indexStorage)
    {
        GridBinning grid = binIntoGrid(points_, count_, std::move(indexStorage));
        result_.droppedPoints = grid.droppedPoints;
        result_.blockOfPoint = std::move(grid.cellOfPoint);
        std::vector<PendingCell> queue = classifyGridCells(grid.cells);
        while (!queue.empty()) {
            ++result_.subdivisionPasses;
            queue = halve(std::move(queue));
        }
        return std::move(result_);
    }

private:
    // Keeps, drops or queues every grid cell in key order and turns each
    // point's cell into its block (or -1, also for points still to be halved).
    std::vector<PendingCell> classifyGridCells(const std::vector<GridCell>& cells)
    {
        std::vector<std::int32_t> blockOfCell(cells.size(), -1);
        std::vector<std::int32_t> pendingOfCell(cells.size(), -1);
        std::vector<PendingCell> queue;
        for (std::size_t index = 0; index < cells.size(); ++index) {
            const GridCell& cell = cells[index];
            if (cell.count < minCellPoints_)
                continue;
            CellBox box;
            box.minX = cell.minX;
            box.minY = cell.minY;
            box.minZ = cell.minZ;
            box.maxX = cell.maxX;
            box.maxY = cell.maxY;
            box.maxZ = cell.maxZ;
            box.pointCount = cell.count;
            if (cell.count <= maxBlockPoints_) {
                blockOfCell[index] = static_cast<std::int32_t>(result_.blocks.size());
                result_.blocks.push_back(box);
            } else {
                pendingOfCell[index] = static_cast<std::int32_t>(queue.size());
                queue.push_back(PendingCell{box, {}});
            }
        }

        // Members of the cells to halve are gathered per chunk of the buffer,
        // then joined in chunk order, which keeps them in buffer order.
        const int chunks = chunksFor(count_);
        std::vector<std::vector<std::vector<std::int32_t>>> chunkMembers(static_cast<std::size_t>(chunks));
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
        for (int t = 0; t < chunks; ++t) {
            std::vector<std::vector<std::int32_t>>& members = chunkMembers[static_cast<std::size_t>(t)];
            members.resize(queue.size());
            std::int32_t* blockOfPoint = result_.blockOfPoint.data();
            const auto first = static_cast<std::int32_t>(std::int64_t{count_} * t / chunks);
            const auto last = static_cast<std::int32_t>(std::int64_t{count_} * (t + 1) / chunks);
            for (std::int32_t i = first; i < last; ++i) {
                if (blockOfPoint[i] < 0)
                    continue;
                const auto cell = static_cast<std::size_t>(blockOfPoint[i]);
                const std::int32_t pending = pendingOfCell[cell];
                if (pending >= 0)
                    members[static_cast<std::size_t>(pending)].push_back(i);
                blockOfPoint[i] = blockOfCell[cell];
            }
        }
        for (std::size_t q = 0; q < queue.size(); ++q) {
            std::vector<std::int32_t>& members = queue[q].members;
            members.reserve(static_cast<std::size_t>(queue[q].box.pointCount));
            for (std::size_t t = 0; t < chunkMembers.size(); ++t) {
                members.insert(members.end(), chunkMembers[t][q].begin(), chunkMembers[t][q].end());
                std::vector<std::int32_t>().swap(chunkMembers[t][q]);
            }
        }
        return queue;
    }

    // One halving pass over every queued cell, in queue order. Children are
    // numbered 4 hx + 2 hy + hz; a point goes to the upper half of an axis
    // when its coordinate is at least the single-precision middle.
    std::vector<PendingCell> halve(std::vector<PendingCell> queue)
    {
        std::vector<PendingCell> next;
        std::vector<std::uint8_t> childOf;
        for (PendingCell& parent : queue) {
            const CellBox& box = parent.box;
            const float midX = (box.minX + box.maxX) / 2.0f;
            const float midY = (box.minY + box.maxY) / 2.0f;
            const float midZ = (box.minZ + box.maxZ) / 2.0f;

            // Large cells are split in consecutive chunks of their members;
            // each chunk writes its share of a child's list at an offset that
            // keeps the list in buffer order.
            const std::int32_t* members = parent.members.data();
            const auto total = static_cast<std::int64_t>(parent.members.size());
            const int chunks = chunksFor(total);
            std::vector<std::array<std::int64_t, 8>> chunkCount(static_cast<std::size_t>(chunks));
            childOf.resize(parent.members.size());
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
            for (int t = 0; t < chunks; ++t) {
                std::array<std::int64_t, 8>& counts = chunkCount[static_cast<std::size_t>(t)];
                counts.fill(0);
                for (std::int64_t k = total * t / chunks; k < total * (t + 1) / chunks; ++k) {
                    const PointRecord& p = points_[members[k]];
                    const int child = (p.x >= midX ? 4 : 0) | (p.y >= midY ? 2 : 0) | (p.z >= midZ ? 1 : 0);
                    childOf[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(child);
                    ++counts[static_cast<std::size_t>(child)];
                }
            }
            std::int32_t childCount[8] = {};
            for (std::size_t c = 0; c < 8; ++c) {
                std::int64_t offset = 0;
                for (std::array<std::int64_t, 8>& counts : chunkCount) {
                    const std::int64_t own = counts[c];
                    counts[c] = offset; // from now on: where the chunk starts writing
                    offset += own;
                }
                childCount[c] = static_cast<std::int32_t>(offset);
            }
            std::vector<std::int32_t> childMembers[8];
            for (int c = 0; c < 8; ++c)
                childMembers[c].resize(static_cast<std::size_t>(childCount[c]));
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
            for (int t = 0; t < chunks; ++t) {
                std::array<std::int64_t, 8>& cursor = chunkCount[static_cast<std::size_t>(t)];
                for (std::int64_t k = total * t / chunks; k < total * (t + 1) / chunks; ++k) {
                    const std::uint8_t child = childOf[static_cast<std::size_t>(k)];
                    childMembers[child][static_cast<std::size_t>(cursor[child]++)] = members[k];
                }
            }
            const auto parentCount = static_cast<std::int32_t>(parent.members.size());
            std::vector<std::int32_t>().swap(parent.members);

            for (int c = 0; c < 8; ++c) {
                CellBox child;
                child.minX = (c & 4) ? midX : box.minX;
                child.maxX = (c & 4) ? box.maxX : midX;
                child.minY = (c & 2) ? midY : box.minY;
                child.maxY = (c & 2) ? box.maxY : midY;
                child.minZ = (c & 1) ? midZ : box.minZ;
                child.maxZ = (c & 1) ? box.maxZ : midZ;
                child.pointCount = childCount[c];
                std::vector<std::int32_t>& members = childMembers[c];
                if (child.pointCount > maxBlockPoints_) {
                    if (child.pointCount == parentCount && sameBox(child, box))
                        cutIntoChunks(child, members);
                    else
                        next.push_back(PendingCell{child, std::move(members)});
                } else if (child.pointCount >= minSubCellPoints_) {
                    storeAsBlock(child, members.data(), child.pointCount);
                }
                // Smaller children are dropped; their points stay at -1.
            }
        }
        return next;
    }

    // Halving would give this cell back unchanged: its points go into
    // consecutive blocks of the largest size in buffer order, the rest last.
    void cutIntoChunks(const CellBox& box, const std::vector<std::int32_t>& members)
    {
        const auto total = static_cast<std::int32_t>(members.size());
        for (std::int32_t first = 0; first < total; first += maxBlockPoints_) {
            CellBox chunk = box;
            chunk.pointCount = std::min(maxBlockPoints_, total - first);
            storeAsBlock(chunk, members.data() + first, chunk.pointCount);
        }
    }

    void storeAsBlock(const CellBox& box, const std::int32_t* members, std::int32_t count)
    {
        const auto block = static_cast<std::int32_t>(result_.blocks.size());
        result_.blocks.push_back(box);
        for (std::int32_t k = 0; k < count; ++k)
            result_.blockOfPoint[static_cast<std::size_t>(members[k])] = block;
    }

    const PointRecord* points_;
    std::int32_t count_;
    std::int32_t maxBlockPoints_;
    std::int32_t minCellPoints_;
    std::int32_t minSubCellPoints_;
    BufferPartition result_;
};

} // namespace

BufferPartition partitionPoints(const PointRecord* points, std::int32_t count,
                                std::int32_t maxBlockPoints, std::vector<std::int32_t> indexStorage,
                                std::int32_t minCellPoints)
{
    if (!points || count <= 0) {
        BufferPartition empty;
        empty.blockOfPoint = std::move(indexStorage);
        empty.blockOfPoint.clear();
        return empty;
    }
    return Partitioner(points, count, maxBlockPoints, minCellPoints).run(std::move(indexStorage));
}

} // namespace nimbus
