#include "writeilasthread.h"

#include "nativepath.h"
#include "qtnativepath.h"
#include "storemessages.h"
#include "systemerror.h"

#include <QFile>
#include <QMutexLocker>

#include <omp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace nimbus {

namespace {

// One block's file image: 500,000 points of 16 bytes.
constexpr std::size_t kStagingBytes = static_cast<std::size_t>(kMaxBlockPoints) * 16;
// Upper bound of the wait for blocks; it normally ends as soon as blocks
// arrive.
constexpr unsigned long kIdlePauseMs = 10;
// The file is written through a buffer of this size: blocks are often only
// a few kilobytes.
constexpr std::size_t kFileBufferBytes = std::size_t{1} << 20;
// Percentages are emitted when they pass a step of this size (the finest
// shown), and at the end.
constexpr double kPercentStep = 0.1;
// One ordering pass takes at least one block per thread and goes on taking
// small blocks up to this many points: a parallel loop over two blocks of a
// few hundred points costs more in thread hand-over than in ordering.
constexpr std::int64_t kPassPoints = 2000000;

int hardwareThreads()
{
    return std::max(1, QThread::idealThreadCount());
}

Reason systemReason()
{
    return systemError(errno);
}

// Whether the block's points fit its own storage and one staging area; only
// then may they be ordered in place and written.
bool fitsItsStorage(const BlockRecord& block)
{
    const std::int32_t n = block.pointCount;
    return block.points && n >= 0 && n <= kMaxBlockPoints && n <= block.points->capacity
        && (block.points->points || n == 0);
}

} // namespace

WriteIlasThread::WriteIlasThread(QObject* parent)
    : QThread(parent), staging_(new (std::nothrow) unsigned char[kStagingBytes]),
      header_(makeInitialIlasHeader())
{
    if (!staging_)
        reportAllocationFailure();
}

WriteIlasThread::~WriteIlasThread()
{
    // The splitter waits for the thread before deleting it; this only guards
    // against a writer dropped while still running.
    if (isRunning()) {
        finishInput();
        wait();
    }
    for (BlockRecord* block : queue_)
        releaseBlock(block);
    closeFile();
}

bool WriteIlasThread::openFile(const QString& path)
{
    if (!mutex.tryLock()) {
        fail(Reason(store::msg::kWriterBusy, path.toStdString()));
        return false;
    }
    const bool opened = [&] {
        if (!queue_.empty() || file_) {
            fail(Reason(store::msg::kWriterHasOutput, path.toStdString()));
            return false;
        }
        path_ = path;
        file_ = quillfen::openFile(quillfen::libraryPath(path), "wb");
        if (!file_) {
            fail(Reason(store::msg::kCannotCreate, path.toStdString(), systemReason()));
            return false;
        }
        fileBuffer_.reset(new (std::nothrow) char[kFileBufferBytes]);
        if (fileBuffer_)
            std::setvbuf(file_, fileBuffer_.get(), _IOFBF, kFileBufferBytes);
        if (std::fwrite(&header_, sizeof header_, 1, file_) != 1 || std::fflush(file_) != 0) {
            fail(Reason(store::msg::kCannotWrite, path.toStdString(), systemReason()));
            closeFile();
            return false;
        }
        std::memset(header_.magic, 0, sizeof header_.magic);
        std::memcpy(header_.magic, kIlasMagic, sizeof kIlasMagic);
        header_.directoryOffset = kIlasHeaderSize;
        inputFinished = false;
        return true;
    }();
    mutex.unlock();
    return opened;
}

bool WriteIlasThread::queueHasRoom() const
{
    return queue_.size() < static_cast<std::size_t>(4 * hardwareThreads());
}

bool WriteIlasThread::offerBlocks(const std::vector<BlockRecord*>& blocks)
{
    if (!mutex.tryLock())
        return false;
    bool accepted = false;
    if (queueHasRoom()) {
        for (BlockRecord* block : blocks) {
            if (block)
                queue_.push_back(block);
        }
        accepted = true;
        blocksOffered_.wakeAll();
    }
    mutex.unlock();
    return accepted;
}

bool WriteIlasThread::waitForRoom(unsigned long maxMs)
{
    QMutexLocker locker(&mutex);
    if (!queueHasRoom())
        room_.wait(&mutex, maxMs);
    return queueHasRoom();
}

void WriteIlasThread::finishInput()
{
    inputFinished = true;
    QMutexLocker locker(&mutex);
    blocksOffered_.wakeAll();
}

Reason WriteIlasThread::error() const
{
    QMutexLocker locker(&errorMutex_);
    return error_;
}

QString WriteIlasThread::errorText() const
{
    return QString::fromStdString(error().text());
}

void WriteIlasThread::fail(const Reason& reason)
{
    QMutexLocker locker(&errorMutex_);
    if (error_.empty())
        error_ = reason;
    failed_ = true;
}

void WriteIlasThread::run()
{
    if (!file_ && !failed_)
        fail(Reason(store::msg::kNoOutputOpened));
    // Blocks are ordered in passes; a pass's blocks are written while the
    // next pass is being ordered, so the disk and the cores work at once.
    // Writing stays sequential and in queue order.
    std::vector<BlockRecord*> batch;
    std::vector<BlockRecord*> ordered;
    for (;;) {
        const int threads = hardwareThreads();
        batch.clear();
        {
            QMutexLocker locker(&mutex);
            std::int64_t points = 0;
            while (!queue_.empty()
                   && (batch.size() < static_cast<std::size_t>(threads)
                       || points + queue_.front()->pointCount <= kPassPoints)) {
                points += queue_.front()->pointCount;
                batch.push_back(queue_.front());
                queue_.pop_front();
            }
            if (!batch.empty())
                room_.wakeAll();
        }

        if (batch.empty()) {
            if (!ordered.empty()) {
                writeBlocks(ordered);
                continue;
            }
            QMutexLocker locker(&mutex);
            if (!queue_.empty())
                continue;
            // Read under the lock after the queue was found empty, so no
            // accepted block is left behind.
            if (inputFinished)
                break;
            blocksOffered_.wait(&mutex, kIdlePauseMs);
            continue;
        }

        // After a failure the blocks are only freed, so the splitter can finish.
        if (failed_) {
            writeBlocks(ordered);
            writeBlocks(batch);
            continue;
        }
        const int requested = orderingThreads.load();
        const int ordering = requested > 0 ? requested : threads;
        const auto count = static_cast<std::int64_t>(batch.size());
        if (orderingScratch_.size() < static_cast<std::size_t>(ordering))
            orderingScratch_.resize(static_cast<std::size_t>(ordering));
#pragma omp parallel num_threads(ordering)
        {
            // The team's master is this thread: the file, the header and
            // the directory stay with it, and receivers connected directly
            // to updatePercent run on the writer thread, never on a pool
            // thread.
#pragma omp master
            writeBlocks(ordered);
#pragma omp for schedule(dynamic, 1) nowait
            for (std::int64_t i = 0; i < count; ++i) {
                BlockRecord* block = batch[static_cast<std::size_t>(i)];
                if (fitsItsStorage(*block))
                    orderBlockPoints(block->points->points, block->pointCount,
                                     orderingScratch_[static_cast<std::size_t>(omp_get_thread_num())]);
            }
        }
        ordered.swap(batch);
    }
    finishFile();
}

void WriteIlasThread::writeBlocks(std::vector<BlockRecord*>& blocks)
{
    for (BlockRecord* block : blocks) {
        if (!failed_ && file_)
            writeBlock(block);
        releaseBlock(block);
    }
    blocks.clear();
}

void WriteIlasThread::writeBlock(BlockRecord* block)
{
    const std::int32_t n = block->pointCount;
    if (!fitsItsStorage(*block)) {
        fail(Reason(store::msg::kBlockTooLarge, n));
        return;
    }
    if (header_.blockCount == INT32_MAX) {
        fail(Reason(store::msg::kTooManyBlocks));
        return;
    }

    // File image: all coordinate triples, then all colour records.
    const bool colour = writeColor;
    const PointRecord* points = block->points->points;
    unsigned char* coordinates = staging_.get();
    for (std::int32_t i = 0; i < n; ++i)
        std::memcpy(coordinates + 12 * static_cast<std::size_t>(i), &points[i].x, 12);
    if (colour) {
        unsigned char* colours = coordinates + 12 * static_cast<std::size_t>(n);
        for (std::int32_t i = 0; i < n; ++i)
            std::memcpy(colours + 4 * static_cast<std::size_t>(i), &points[i].red, 4);
    }

    if (!boundsSet_) {
        header_.minX = block->minX;
        header_.minY = block->minY;
        header_.minZ = block->minZ;
        header_.maxX = block->maxX;
        header_.maxY = block->maxY;
        header_.maxZ = block->maxZ;
        boundsSet_ = true;
    } else {
        header_.minX = std::min<double>(header_.minX, block->minX);
        header_.minY = std::min<double>(header_.minY, block->minY);
        header_.minZ = std::min<double>(header_.minZ, block->minZ);
        header_.maxX = std::max<double>(header_.maxX, block->maxX);
        header_.maxY = std::max<double>(header_.maxY, block->maxY);
        header_.maxZ = std::max<double>(header_.maxZ, block->maxZ);
    }

    block->index = header_.blockCount;
    block->dataOffset = header_.directoryOffset;
    ++header_.blockCount;
    IlasBlockEntry entry;
    static_assert(sizeof entry == offsetof(BlockRecord, points), "entry is the block's head");
    std::memcpy(&entry, block, sizeof entry);
    directory_.push_back(entry);

    const std::size_t bytes = (colour ? 16 : 12) * static_cast<std::size_t>(n);
    if (bytes > 0 && std::fwrite(staging_.get(), 1, bytes, file_) != bytes) {
        fail(Reason(store::msg::kCannotWrite, path_.toStdString(), systemReason()));
        return;
    }
    header_.directoryOffset += static_cast<std::int64_t>(bytes);

    written_ += static_cast<std::uint64_t>(n);
    reportProgress(false);
}

void WriteIlasThread::reportProgress(bool final)
{
    // One queued signal per block would flood the receiver (tens of
    // thousands per file); the value is emitted when it reaches a new step,
    // and the last value once more at the end if it was not.
    const std::uint64_t expected = expectedPoints;
    if (expected == 0 || written_ == 0)
        return;
    const double percent = static_cast<double>(written_) / static_cast<double>(expected) * 100.0;
    const auto step = static_cast<std::int64_t>(percent / kPercentStep);
    if (final ? percent == shownPercent_ : step == shownStep_)
        return;
    shownStep_ = step;
    shownPercent_ = percent;
    emit updatePercent(percent);
}

void WriteIlasThread::finishFile()
{
    if (!file_)
        return;
    if (!failed_)
        reportProgress(true);
    if (!failed_) {
        const std::size_t entries = directory_.size();
        bool ok = entries == 0
            || std::fwrite(directory_.data(), sizeof(IlasBlockEntry), entries, file_) == entries;
        // Everything before the header must be on disk before the full magic.
        ok = ok && std::fflush(file_) == 0;
        if (ok) {
            header_.minX += header_.originX;
            header_.maxX += header_.originX;
            header_.minY += header_.originY;
            header_.maxY += header_.originY;
            header_.minZ += header_.originZ;
            header_.maxZ += header_.originZ;
            header_.pointCount = static_cast<std::int64_t>(written_);
            ok = std::fseek(file_, 0, SEEK_SET) == 0
                && std::fwrite(&header_, sizeof header_, 1, file_) == 1
                && std::fflush(file_) == 0;
        }
        if (!ok)
            fail(Reason(store::msg::kCannotWrite, path_.toStdString(), systemReason()));
    }
    closeFile();
    std::vector<IlasBlockEntry>().swap(directory_);
}

void WriteIlasThread::closeFile()
{
    if (!file_)
        return;
    if (std::fclose(file_) != 0 && !failed_)
        fail(Reason(store::msg::kCannotClose, path_.toStdString(), systemReason()));
    file_ = nullptr;
    fileBuffer_.reset();
}

} // namespace nimbus
