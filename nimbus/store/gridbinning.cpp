#include "gridbinning.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace nimbus {

namespace {

// Below this many points one thread bins the buffer.
constexpr std::int32_t kParallelMinimum = 200000;
// Coordinates up to this size always have a grid key within int32.
constexpr float kSafeCoordinate = 4.0e10f;
// Largest key box binned through a dense array (40 MB per thread).
constexpr std::int64_t kDenseCellLimit = std::int64_t{1} << 20;

// Truncates toward zero in single precision; false for a non-finite value or
// a key outside int32.
inline bool gridKey(float value, std::int32_t& key)
{
    const float cell = std::trunc(value / kGridCellSize);
    if (!(cell >= -2147483648.0f && cell < 2147483648.0f))
        return false;
    key = static_cast<std::int32_t>(cell);
    return true;
}

inline void addPoint(GridCell& cell, const PointRecord& p)
{
    if (cell.count == 0) {
        cell.minX = cell.maxX = p.x;
        cell.minY = cell.maxY = p.y;
        cell.minZ = cell.maxZ = p.z;
    } else {
        cell.minX = std::min(cell.minX, p.x);
        cell.maxX = std::max(cell.maxX, p.x);
        cell.minY = std::min(cell.minY, p.y);
        cell.maxY = std::max(cell.maxY, p.y);
        cell.minZ = std::min(cell.minZ, p.z);
        cell.maxZ = std::max(cell.maxZ, p.z);
    }
    ++cell.count;
}

// Adds the points counted into `part` (same key) to `cell`.
inline void mergeCell(GridCell& cell, const GridCell& part)
{
    if (part.count == 0)
        return;
    if (cell.count == 0) {
        const std::int32_t kx = cell.kx, ky = cell.ky, kz = cell.kz;
        cell = part;
        cell.kx = kx;
        cell.ky = ky;
        cell.kz = kz;
        return;
    }
    cell.count += part.count;
    cell.minX = std::min(cell.minX, part.minX);
    cell.maxX = std::max(cell.maxX, part.maxX);
    cell.minY = std::min(cell.minY, part.minY);
    cell.maxY = std::max(cell.maxY, part.maxY);
    cell.minZ = std::min(cell.minZ, part.minZ);
    cell.maxZ = std::max(cell.maxZ, part.maxZ);
}

// The smallest box of grid keys holding every valid point.
struct KeySpan {
    std::int64_t low[3] = {0, 0, 0};
    std::int64_t high[3] = {-1, -1, -1};
    bool unbounded = false; // some point may have no valid key

    bool empty() const { return high[0] < low[0]; }
    std::int64_t extent(int axis) const { return high[axis] - low[axis] + 1; }
    void add(const std::int32_t key[3])
    {
        const bool first = empty();
        for (int a = 0; a < 3; ++a) {
            low[a] = first ? key[a] : std::min<std::int64_t>(low[a], key[a]);
            high[a] = first ? key[a] : std::max<std::int64_t>(high[a], key[a]);
        }
    }
    void merge(const KeySpan& other)
    {
        unbounded = unbounded || other.unbounded;
        if (other.empty())
            return;
        const std::int32_t lowKey[3] = {static_cast<std::int32_t>(other.low[0]),
                                        static_cast<std::int32_t>(other.low[1]),
                                        static_cast<std::int32_t>(other.low[2])};
        const std::int32_t highKey[3] = {static_cast<std::int32_t>(other.high[0]),
                                         static_cast<std::int32_t>(other.high[1]),
                                         static_cast<std::int32_t>(other.high[2])};
        add(lowKey);
        add(highKey);
    }
};

// Open-addressing table from grid key to the cell's position in `cells`.
// Cells are kept in first-seen order and put into key order afterwards, so
// no ordered lookup is paid per point.
class GridCellTable {
public:
    explicit GridCellTable(std::vector<GridCell>& cells) : cells_(cells) { rehash(1u << 12); }

    std::int32_t findOrAdd(std::int32_t kx, std::int32_t ky, std::int32_t kz)
    {
        std::size_t slot = hash(kx, ky, kz) & mask_;
        for (;;) {
            const std::uint32_t entry = slots_[slot];
            if (entry == 0)
                break;
            const GridCell& cell = cells_[entry - 1];
            if (cell.kx == kx && cell.ky == ky && cell.kz == kz)
                return static_cast<std::int32_t>(entry - 1);
            slot = (slot + 1) & mask_;
        }
        const auto index = static_cast<std::int32_t>(cells_.size());
        cells_.push_back(GridCell{kx, ky, kz, 0, 0, 0, 0, 0, 0, 0});
        slots_[slot] = static_cast<std::uint32_t>(index) + 1;
        if (cells_.size() * 10 > slots_.size() * 7)
            rehash(slots_.size() * 2);
        return index;
    }

private:
    static std::size_t hash(std::int32_t kx, std::int32_t ky, std::int32_t kz)
    {
        std::uint64_t h = static_cast<std::uint32_t>(kx) * 0x9E3779B97F4A7C15ull;
        h ^= static_cast<std::uint32_t>(ky) * 0xC2B2AE3D27D4EB4Full;
        h ^= static_cast<std::uint32_t>(kz) * 0x165667B19E3779F9ull;
        h ^= h >> 29;
        return static_cast<std::size_t>(h);
    }

    void rehash(std::size_t size)
    {
        slots_.assign(size, 0);
        mask_ = size - 1;
        for (std::size_t i = 0; i < cells_.size(); ++i) {
            const GridCell& cell = cells_[i];
            std::size_t slot = hash(cell.kx, cell.ky, cell.kz) & mask_;
            while (slots_[slot] != 0)
                slot = (slot + 1) & mask_;
            slots_[slot] = static_cast<std::uint32_t>(i) + 1;
        }
    }

    std::vector<GridCell>& cells_;
    std::vector<std::uint32_t> slots_;
    std::size_t mask_ = 0;
};

// Bins consecutive chunks of the buffer at once. While binning, each chunk
// numbers its cells itself; the chunks' cells are then merged in key order
// and every point's number is replaced by its merged cell's position.
class GridBinner {
public:
    GridBinner(const PointRecord* points, std::int32_t count) : points_(points), count_(count) {}

    GridBinning run(std::vector<std::int32_t> indexStorage)
    {
        const auto count = static_cast<std::size_t>(count_);
        if (indexStorage.capacity() < count) {
            std::vector<std::int32_t>().swap(indexStorage);
            indexStorage.reserve(count);
            adviseHugePages(indexStorage.data(), count * sizeof(std::int32_t));
        }
        result_.cellOfPoint = std::move(indexStorage);
        result_.cellOfPoint.assign(count, -1);
        result_.cells = binPoints();
        const auto chunks = static_cast<std::int64_t>(localToCell_.size());
#pragma omp parallel for schedule(static, 1) num_threads(static_cast<int>(chunks))
        for (std::int64_t t = 0; t < chunks; ++t) {
            const auto chunk = static_cast<std::size_t>(t);
            const std::vector<std::int32_t>& toCell = localToCell_[chunk];
            std::int32_t* cellOfPoint = result_.cellOfPoint.data();
            for (std::int32_t i = chunkStart_[chunk]; i < chunkStart_[chunk + 1]; ++i) {
                if (cellOfPoint[i] >= 0)
                    cellOfPoint[i] = toCell[static_cast<std::size_t>(cellOfPoint[i])];
            }
        }
        return std::move(result_);
    }

private:
    // Each chunk counts its points into its own cells, with their tight
    // boxes, and notes every point's chunk-local cell; then the chunks'
    // cells are merged in key order.
    std::vector<GridCell> binPoints()
    {
        const int chunks = count_ < kParallelMinimum ? 1 : std::clamp(omp_get_max_threads(), 1, 8);
        chunkStart_.resize(static_cast<std::size_t>(chunks) + 1);
        for (int t = 0; t <= chunks; ++t)
            chunkStart_[static_cast<std::size_t>(t)] =
                static_cast<std::int32_t>(static_cast<std::int64_t>(count_) * t / chunks);

        // When the keys span a small box, every cell has a fixed slot in a
        // dense array, numbered in key order; no lookup at all.
        std::vector<KeySpan> spans(static_cast<std::size_t>(chunks));
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
        for (int t = 0; t < chunks; ++t) {
            const auto chunk = static_cast<std::size_t>(t);
            spans[chunk] = keySpan(chunkStart_[chunk], chunkStart_[chunk + 1]);
        }
        KeySpan span;
        for (const KeySpan& part : spans)
            span.merge(part);
        if (span.empty() || span.unbounded)
            return hashBin(chunks);
        if (span.extent(0) > kDenseCellLimit || span.extent(1) > kDenseCellLimit)
            return hashBin(chunks);
        const std::int64_t area = span.extent(0) * span.extent(1);
        if (area > kDenseCellLimit || area * span.extent(2) > kDenseCellLimit)
            return hashBin(chunks);
        return denseBin(chunks, span, area * span.extent(2));
    }

    // Keys grow with coordinates, so the key box follows from the coordinate
    // box. Points beyond the safe range (or not finite) are left to the table.
    KeySpan keySpan(std::int32_t first, std::int32_t last) const
    {
        KeySpan span;
        if (first >= last)
            return span;
        float low[3] = {points_[first].x, points_[first].y, points_[first].z};
        float high[3] = {low[0], low[1], low[2]};
        for (std::int32_t i = first; i < last; ++i) {
            const PointRecord& p = points_[i];
            if (!(std::fabs(p.x) <= kSafeCoordinate && std::fabs(p.y) <= kSafeCoordinate
                  && std::fabs(p.z) <= kSafeCoordinate)) {
                span.unbounded = true;
                return span;
            }
            low[0] = std::min(low[0], p.x);
            low[1] = std::min(low[1], p.y);
            low[2] = std::min(low[2], p.z);
            high[0] = std::max(high[0], p.x);
            high[1] = std::max(high[1], p.y);
            high[2] = std::max(high[2], p.z);
        }
        std::int32_t lowKey[3] = {0, 0, 0};
        std::int32_t highKey[3] = {0, 0, 0};
        for (int a = 0; a < 3; ++a) {
            gridKey(low[a], lowKey[a]);
            gridKey(high[a], highKey[a]);
        }
        span.add(lowKey);
        span.add(highKey);
        return span;
    }

    std::vector<GridCell> denseBin(int chunks, const KeySpan& span, std::int64_t volume)
    {
        const std::int64_t strideY = span.extent(2);
        const std::int64_t strideX = span.extent(1) * strideY;
        std::vector<std::vector<GridCell>> chunkCells(static_cast<std::size_t>(chunks));
        std::vector<std::uint64_t> dropped(static_cast<std::size_t>(chunks), 0);
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
        for (int t = 0; t < chunks; ++t) {
            const auto chunk = static_cast<std::size_t>(t);
            std::vector<GridCell>& cells = chunkCells[chunk];
            cells.assign(static_cast<std::size_t>(volume), GridCell{0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
            std::int32_t* cellOfPoint = result_.cellOfPoint.data();
            for (std::int32_t i = chunkStart_[chunk]; i < chunkStart_[chunk + 1]; ++i) {
                const PointRecord& p = points_[i];
                std::int32_t kx, ky, kz;
                if (!gridKey(p.x, kx) || !gridKey(p.y, ky) || !gridKey(p.z, kz)) {
                    ++dropped[chunk];
                    continue;
                }
                const std::int64_t slot = (static_cast<std::int64_t>(kx) - span.low[0]) * strideX
                    + (static_cast<std::int64_t>(ky) - span.low[1]) * strideY
                    + (static_cast<std::int64_t>(kz) - span.low[2]);
                addPoint(cells[static_cast<std::size_t>(slot)], p);
                cellOfPoint[i] = static_cast<std::int32_t>(slot);
            }
        }
        for (std::uint64_t d : dropped)
            result_.droppedPoints += d;

        std::vector<GridCell> cells;
        std::vector<std::int32_t> cellOfSlot(static_cast<std::size_t>(volume), -1);
        for (std::int64_t slot = 0; slot < volume; ++slot) {
            GridCell merged{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            for (const std::vector<GridCell>& part : chunkCells)
                mergeCell(merged, part[static_cast<std::size_t>(slot)]);
            if (merged.count == 0)
                continue;
            merged.kx = static_cast<std::int32_t>(span.low[0] + slot / strideX);
            merged.ky = static_cast<std::int32_t>(span.low[1] + slot % strideX / strideY);
            merged.kz = static_cast<std::int32_t>(span.low[2] + slot % strideY);
            cellOfSlot[static_cast<std::size_t>(slot)] = static_cast<std::int32_t>(cells.size());
            cells.push_back(merged);
        }
        localToCell_.assign(static_cast<std::size_t>(chunks), cellOfSlot);
        return cells;
    }

    std::vector<GridCell> hashBin(int chunks)
    {
        std::vector<std::vector<GridCell>> chunkCells(static_cast<std::size_t>(chunks));
        std::vector<std::uint64_t> dropped(static_cast<std::size_t>(chunks), 0);
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
        for (int t = 0; t < chunks; ++t) {
            const auto chunk = static_cast<std::size_t>(t);
            dropped[chunk] = binChunk(chunkStart_[chunk], chunkStart_[chunk + 1], chunkCells[chunk]);
        }
        for (std::uint64_t d : dropped)
            result_.droppedPoints += d;

        // (key, chunk) order puts equal keys side by side.
        struct Entry {
            const GridCell* cell;
            std::int32_t chunk;
            std::int32_t local;
        };
        std::vector<Entry> entries;
        for (std::size_t t = 0; t < chunkCells.size(); ++t) {
            for (std::size_t c = 0; c < chunkCells[t].size(); ++c)
                entries.push_back(Entry{&chunkCells[t][c], static_cast<std::int32_t>(t),
                                        static_cast<std::int32_t>(c)});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            if (a.cell->kx != b.cell->kx)
                return a.cell->kx < b.cell->kx;
            if (a.cell->ky != b.cell->ky)
                return a.cell->ky < b.cell->ky;
            if (a.cell->kz != b.cell->kz)
                return a.cell->kz < b.cell->kz;
            return a.chunk < b.chunk;
        });

        std::vector<GridCell> cells;
        localToCell_.assign(chunkCells.size(), {});
        for (std::size_t t = 0; t < chunkCells.size(); ++t)
            localToCell_[t].resize(chunkCells[t].size());
        for (const Entry& entry : entries) {
            const GridCell& part = *entry.cell;
            if (cells.empty() || cells.back().kx != part.kx || cells.back().ky != part.ky
                || cells.back().kz != part.kz)
                cells.push_back(part);
            else
                mergeCell(cells.back(), part);
            localToCell_[static_cast<std::size_t>(entry.chunk)][static_cast<std::size_t>(entry.local)] =
                static_cast<std::int32_t>(cells.size() - 1);
        }
        return cells;
    }

    std::uint64_t binChunk(std::int32_t first, std::int32_t last, std::vector<GridCell>& cells)
    {
        GridCellTable table(cells);
        std::uint64_t dropped = 0;
        std::int32_t lastKx = 0, lastKy = 0, lastKz = 0;
        std::int32_t lastCell = -1;
        std::int32_t* cellOfPoint = result_.cellOfPoint.data();
        for (std::int32_t i = first; i < last; ++i) {
            const PointRecord& p = points_[i];
            std::int32_t kx, ky, kz;
            if (!gridKey(p.x, kx) || !gridKey(p.y, ky) || !gridKey(p.z, kz)) {
                ++dropped;
                continue;
            }
            // Scanned clouds arrive in runs of neighbouring points.
            if (lastCell < 0 || kx != lastKx || ky != lastKy || kz != lastKz) {
                lastCell = table.findOrAdd(kx, ky, kz);
                lastKx = kx;
                lastKy = ky;
                lastKz = kz;
            }
            addPoint(cells[static_cast<std::size_t>(lastCell)], p);
            cellOfPoint[i] = lastCell;
        }
        return dropped;
    }

    const PointRecord* points_;
    std::int32_t count_;
    GridBinning result_;
    std::vector<std::int32_t> chunkStart_;
    std::vector<std::vector<std::int32_t>> localToCell_;
};

} // namespace

GridBinning binIntoGrid(const PointRecord* points, std::int32_t count,
                        std::vector<std::int32_t> indexStorage)
{
    if (!points || count <= 0) {
        GridBinning empty;
        empty.cellOfPoint = std::move(indexStorage);
        empty.cellOfPoint.clear();
        return empty;
    }
    return GridBinner(points, count).run(std::move(indexStorage));
}

} // namespace nimbus
