#include "splitblockthread.h"

#include "blockpartition.h"

#include <QMutexLocker>

#include <omp.h>

#include <algorithm>
#include <new>

namespace nimbus {

namespace {

constexpr unsigned long kOfferPauseMs = 20;
// Short enough not to delay a waiting reader, long enough not to occupy a
// core while the reader fills its buffer.
constexpr unsigned long kIdlePauseMs = 1;
// Smaller buffers are copied into their blocks by one thread.
constexpr std::int32_t kParallelCopyMinimum = 200000;

} // namespace

SplitBlockThread::SplitBlockThread(QObject* parent, std::int32_t bufferCapacity)
    : QThread(parent), working_(createPointBuffer(bufferCapacity)), slot_(createPointBuffer(bufferCapacity))
{
}

SplitBlockThread::~SplitBlockThread()
{
    // Normally the reader has finished the input and waited already.
    if (isRunning()) {
        inputFinished = true;
        wait();
    }
    if (writer) {
        writer->inputFinished = true;
        writer->wait();
        delete writer;
        writer = nullptr;
    }
    releasePointBuffer(working_);
    releasePointBuffer(slot_);
}

bool SplitBlockThread::openIlasFile(const QString& path)
{
    if (writer)
        return false;
    writer = new WriteIlasThread(this);
    connect(writer, &WriteIlasThread::updateTask, this, &SplitBlockThread::updateTask,
            Qt::QueuedConnection);
    connect(writer, &WriteIlasThread::updatePercent, this, &SplitBlockThread::updatePercent_signal,
            Qt::DirectConnection);
    connect(writer, &WriteIlasThread::setPrompt, this, &SplitBlockThread::setPrompt,
            Qt::QueuedConnection);
    connect(writer, &WriteIlasThread::finish, this, &SplitBlockThread::finish, Qt::QueuedConnection);
    const bool opened = writer->openFile(path);
    // Started even without a file: it then frees whatever reaches it, so the
    // reader's normal shutdown still works.
    writer->start(QThread::InheritPriority);
    return opened;
}

bool SplitBlockThread::offerBuffer(PointBuffer& filled)
{
    if (!mutex.tryLock())
        return false;
    bool taken = false;
    if (slot_->free) {
        swapBuffers(filled, *slot_);
        taken = true;
    }
    mutex.unlock();
    return taken;
}

bool SplitBlockThread::failed() const
{
    return !writer || writer->failed();
}

QString SplitBlockThread::errorText() const
{
    if (!writer)
        return QStringLiteral("no output file was opened");
    return writer->errorText();
}

void SplitBlockThread::updatePercent_slot(double value)
{
    emit updatePercent_signal(value);
}

void SplitBlockThread::run()
{
    for (;;) {
        bool taken = false;
        {
            QMutexLocker locker(&mutex);
            if (!slot_->free) {
                working_->free = true;
                swapBuffers(*working_, *slot_);
                taken = true;
            }
        }
        if (taken) {
            if (splitBuffer(*working_) && expectedPoints != 0)
                emit setPrompt(QStringLiteral("已处理:"));
            continue;
        }
        if (inputFinished) {
            // A buffer handed over just before the flag was set is still split.
            QMutexLocker locker(&mutex);
            if (slot_->free)
                break;
            continue;
        }
        msleep(kIdlePauseMs);
    }
    if (writer) {
        writer->inputFinished = true;
        writer->wait();
    }
}

bool SplitBlockThread::splitBuffer(PointBuffer& buffer)
{
    std::int32_t count = std::clamp(buffer.count, 0, buffer.capacity);
    if (!buffer.points)
        count = 0;
    BufferPartition partition = partitionPoints(buffer.points, count);
    dropped_ += partition.droppedPoints;
    if (partition.blocks.empty())
        return false;

    std::vector<BlockRecord*> blocks(partition.blocks.size());
    std::vector<PointRecord*> storage(partition.blocks.size());
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const CellBox& cell = partition.blocks[b];
        auto* block = new (std::nothrow) BlockRecord;
        if (!block)
            reportAllocationFailure();
        block->minX = cell.minX;
        block->minY = cell.minY;
        block->minZ = cell.minZ;
        block->maxX = cell.maxX;
        block->maxY = cell.maxY;
        block->maxZ = cell.maxZ;
        block->points = createPointBuffer(cell.pointCount);
        blocks[b] = block;
        storage[b] = block->points->points;
    }

    // Each point goes to the cell it was counted into, in buffer order. Each
    // thread fills its own run of blocks, scanning the whole buffer; the runs
    // hold about equal numbers of points.
    const PointRecord* points = buffer.points;
    const std::int32_t* blockOfPoint = partition.blockOfPoint.data();
    const int threads = count < kParallelCopyMinimum ? 1 : std::max(1, omp_get_max_threads());
    std::vector<std::int32_t> firstBlock(static_cast<std::size_t>(threads) + 1, 0);
    std::int64_t total = 0;
    for (const CellBox& cell : partition.blocks)
        total += cell.pointCount;
    std::int64_t running = 0;
    int owner = 1;
    for (std::size_t b = 0; b < partition.blocks.size() && owner < threads; ++b) {
        running += partition.blocks[b].pointCount;
        while (owner < threads && running * threads >= total * owner)
            firstBlock[static_cast<std::size_t>(owner++)] = static_cast<std::int32_t>(b + 1);
    }
    while (owner <= threads)
        firstBlock[static_cast<std::size_t>(owner++)] = static_cast<std::int32_t>(partition.blocks.size());
#pragma omp parallel for schedule(static, 1) num_threads(threads)
    for (int t = 0; t < threads; ++t) {
        const auto first = static_cast<std::uint32_t>(firstBlock[static_cast<std::size_t>(t)]);
        const std::uint32_t span = static_cast<std::uint32_t>(firstBlock[static_cast<std::size_t>(t) + 1]) - first;
        for (std::int32_t i = 0; i < count; ++i) {
            // Unsigned arithmetic also rejects the -1 of unstored points.
            const std::uint32_t b = static_cast<std::uint32_t>(blockOfPoint[i]) - first;
            if (b < span)
                *storage[first + b]++ = points[i];
        }
    }
    for (BlockRecord* block : blocks)
        block->pointCount = block->points->capacity;
    partition = BufferPartition{};

    if (!writer) {
        for (BlockRecord* block : blocks)
            releaseBlock(block);
        return true;
    }
    while (!writer->offerBlocks(blocks))
        msleep(kOfferPauseMs);
    return true;
}

} // namespace nimbus
