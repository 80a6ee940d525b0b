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

// Copies each point into the block it was counted into, in buffer order.
// Consecutive chunks of the buffer are copied at once: each chunk first
// counts its points per block, so it knows where in each block its share
// starts. `storage` holds each block's first place.
void copyIntoBlocks(const PointRecord* points, std::int32_t count, const BufferPartition& partition,
                    const std::vector<PointRecord*>& storage)
{
    const int chunks = count < kParallelCopyMinimum ? 1 : std::max(1, omp_get_max_threads());
    const std::size_t blockCount = partition.blocks.size();
    const std::int32_t* blockOfPoint = partition.blockOfPoint.data();
    auto chunkStart = [count, chunks](int t) {
        return static_cast<std::int32_t>(std::int64_t{count} * t / chunks);
    };
    std::vector<std::vector<std::int32_t>> cursor(static_cast<std::size_t>(chunks),
                                                  std::vector<std::int32_t>(blockCount, 0));
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
    for (int t = 0; t < chunks; ++t) {
        std::int32_t* own = cursor[static_cast<std::size_t>(t)].data();
        for (std::int32_t i = chunkStart(t); i < chunkStart(t + 1); ++i) {
            if (blockOfPoint[i] >= 0)
                ++own[blockOfPoint[i]];
        }
    }
    for (std::size_t b = 0; b < blockCount; ++b) {
        std::int32_t offset = 0;
        for (std::vector<std::int32_t>& own : cursor) {
            const std::int32_t counted = own[b];
            own[b] = offset;
            offset += counted;
        }
    }
#pragma omp parallel for schedule(static, 1) num_threads(chunks)
    for (int t = 0; t < chunks; ++t) {
        std::int32_t* own = cursor[static_cast<std::size_t>(t)].data();
        for (std::int32_t i = chunkStart(t); i < chunkStart(t + 1); ++i) {
            const std::int32_t b = blockOfPoint[i];
            if (b >= 0)
                storage[static_cast<std::size_t>(b)][own[b]++] = points[i];
        }
    }
}

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
                // The spent storage goes back to the reader as an empty buffer.
                working_->free = true;
                working_->count = working_->capacity;
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
    // Once the file has failed, later buffers are only taken and let go.
    if (failed())
        return false;
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

    copyIntoBlocks(buffer.points, count, partition, storage);
    for (BlockRecord* block : blocks)
        block->pointCount = block->points->capacity;
    partition = BufferPartition{};

    while (!writer->offerBlocks(blocks))
        msleep(kOfferPauseMs);
    return true;
}

} // namespace nimbus
