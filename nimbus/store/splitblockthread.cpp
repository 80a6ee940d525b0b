#include "splitblockthread.h"

#include "blockpartition.h"
#include "storemessages.h"

#include <QCoreApplication>
#include <QMutexLocker>

#include <omp.h>

#include <algorithm>
#include <new>

namespace nimbus {

namespace {

// Upper bounds of the waits; each wait normally ends as soon as the other
// side signals.
constexpr unsigned long kOfferPauseMs = 20;
constexpr unsigned long kIdlePauseMs = 20;
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
        finishInput();
        wait();
    }
    if (writer) {
        writer->finishInput();
        writer->wait();
        delete writer;
        writer = nullptr;
    }
    releasePointBuffer(working_);
    releasePointBuffer(slot_);
}

bool SplitBlockThread::openIlasFile(const QString& path, const IlasOutputSettings& settings)
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
    // Set after the placeholder header is written (it always says "colour")
    // and before any thread reads them: the writer is not running yet.
    IlasHeader* header = writer->header();
    header->originX = settings.originX;
    header->originY = settings.originY;
    header->originZ = settings.originZ;
    header->hasColor = settings.hasColor ? 1 : 0;
    writer->writeColor = settings.hasColor;
    writer->expectedPoints = settings.expectedPoints;
    expectedPoints = settings.expectedPoints;
    minCellPoints = settings.minCellPoints;
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
        bufferOffered_.wakeAll();
    }
    mutex.unlock();
    return taken;
}

bool SplitBlockThread::waitForRoom(unsigned long maxMs)
{
    QMutexLocker locker(&mutex);
    if (!slot_->free && !ended_)
        slotFree_.wait(&mutex, maxMs);
    return slot_->free;
}

void SplitBlockThread::finishInput()
{
    inputFinished = true;
    QMutexLocker locker(&mutex);
    bufferOffered_.wakeAll();
}

bool SplitBlockThread::failed() const
{
    return !writer || writer->failed();
}

Reason SplitBlockThread::error() const
{
    if (!writer)
        return Reason(store::msg::kNoOutputOpened);
    return writer->error();
}

QString SplitBlockThread::errorText() const
{
    return QString::fromStdString(error().text());
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
                slotFree_.wakeAll();
            } else if (inputFinished) {
                // Read under the lock after the slot was found free: a buffer
                // handed over just before the flag was set is still split.
                break;
            } else {
                bufferOffered_.wait(&mutex, kIdlePauseMs);
            }
        }
        if (taken && splitBuffer(*working_) && expectedPoints != 0)
            emit setPrompt(QCoreApplication::translate("Nimbus", "writing:"));
    }
    {
        QMutexLocker locker(&mutex);
        ended_ = true;
        slotFree_.wakeAll();
    }
    if (writer) {
        writer->finishInput();
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
    BufferPartition partition = partitionPoints(buffer.points, count, kMaxBlockPoints,
                                                std::move(blockOfPoint_), minCellPoints);
    dropped_ += partition.droppedPoints;
    const bool made = !partition.blocks.empty();
    if (made) {
        // The previous batch's storage is reused once the writer is done
        // with it.
        while (!store_.waitUntilIdle(kOfferPauseMs)) {
        }
        const std::vector<BlockRecord*>& blocks = store_.layOut(partition.blocks, working_->capacity);
        std::vector<PointRecord*> storage(blocks.size());
        for (std::size_t b = 0; b < blocks.size(); ++b)
            storage[b] = blocks[b]->points->points;
        copyIntoBlocks(buffer.points, count, partition, storage);
        for (BlockRecord* block : blocks)
            block->pointCount = block->points->capacity;
        store_.handOver();
        while (!writer->offerBlocks(blocks))
            writer->waitForRoom(kOfferPauseMs);
    }
    blockOfPoint_ = std::move(partition.blockOfPoint);
    return made;
}

} // namespace nimbus
