#include "readersession.h"

#include "outputnames.h"
#include "partfilelock.h"
#include "prjfile.h"
#include "reasontext.h"
#include "splitblockthread.h"
#include "systemerror.h"
#include "writeilasthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace nimbus {

namespace {

// Attempts at creating and locking an unfinished file; a name can only be
// lost to a run that removes it in the instant between its creation and its
// lock.
constexpr int kPartAttempts = 5;

} // namespace

ReaderSession::ReaderSession(ReaderHost* host, const QString& inputPath, const QString& prompt)
    : host_(host), inputPath_(inputPath), input_(InputIdentity::of(inputPath)),
      outputPath_(host->outputPathOf(inputPath))
{
    host_->showPrompt(prompt.isEmpty() ? QCoreApplication::translate("Nimbus", "converting:") : prompt);
    host_->showPercent(-1.0);
    // Every file starts from nothing, not from the previous file's 100 %.
    host_->showPercent(0.0);
    // Also when this run fails: what a killed run left is of no use to anyone.
    removeAbandonedParts();
}

ReaderSession::~ReaderSession()
{
    if (begun_ && !done_)
        fail(QCoreApplication::translate("Nimbus", "the reader ended without finishing the file"));
    releaseBuffer();
    outcome_.skipped += skipped_;
    host_->fileEnded(outcome_);
}

bool ReaderSession::stopRequested() const
{
    return host_->stopRequested();
}

bool ReaderSession::begin(double originX, double originY, double originZ,
                          std::uint64_t expectedPoints, bool hasColor)
{
    if (failed_)
        return false;
    if (begun_)
        return fail(QCoreApplication::translate("Nimbus", "the output was already begun"));
    begun_ = true;
    if (OutputNames::outputsWouldReplaceInput(inputPath_, outputPath_))
        return fail(QCoreApplication::translate("Nimbus", "the output file would replace the input file"));
    if (stopRequested())
        return fail(QCoreApplication::translate("Nimbus", "stopped by the user"));

    originX_ = originX;
    originY_ = originY;
    originZ_ = originZ;

    splitter_ = std::make_unique<SplitBlockThread>(nullptr, host_->bufferCapacity());
    // Without a point count the writer's share of an unknown total means
    // nothing; the reader's share of the input consumed is the progress.
    // With one, the writer's share only moves once the splitter has a full
    // buffer (for most files: at their end), so reading carries most of it.
    byteProgress_ = expectedPoints == kUnknownCount;
    expectedPoints_ = expectedPoints;
    host_->relayProgress(splitter_.get());
    if (!byteProgress_) {
        QObject::connect(
            splitter_.get(), &SplitBlockThread::updatePercent_signal, splitter_.get(),
            [this](double percent) { showProgress(-1.0, percent / 100.0); }, Qt::DirectConnection);
    }

    // The file is written under a name of its own beside the output and
    // renamed over it only once complete, so a failed or stopped conversion,
    // or a second run on the same input, never destroys a good ilas file.
    // The run holds a lock on it until then, which tells later runs that it
    // is not abandoned.
    partLock_ = std::make_unique<PartFileLock>();
    for (int attempt = 0; attempt < kPartAttempts; ++attempt) {
        QTemporaryFile part(OutputNames::partTemplate(outputPath_));
        part.setAutoRemove(false);
        if (!part.open())
            return fail(QCoreApplication::translate("Nimbus", "cannot create a file beside %1: %2")
                            .arg(outputPath_, systemWords(part.errorString())));
        partPath_ = part.fileName();
        // A temporary file is private to its owner; the ilas file is not.
        part.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                            | QFileDevice::ReadUser | QFileDevice::WriteUser
                            | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        part.close();
        if (partLock_->acquire(partPath_))
            break;
        // Still there: the file system cannot lock (the file is then written
        // without), or a run clearing abandoned files holds it this instant
        // (the writer makes it anew). Gone: that run took it; make another.
        if (QFileInfo::exists(partPath_))
            break;
    }
    outputCreated_ = true;
    IlasOutputSettings settings;
    settings.originX = originX;
    settings.originY = originY;
    settings.originZ = originZ;
    settings.hasColor = hasColor;
    settings.expectedPoints = expectedPoints;
    settings.minCellPoints = host_->cellPointMinimum();
    if (!splitter_->openIlasFile(partPath_, settings)) {
        QString reason = reasonText(splitter_->error());
        if (reason.isEmpty())
            reason = QCoreApplication::translate("Nimbus", "cannot create %1").arg(partPath_);
        return fail(reason);
    }

    splitter_->start(QThread::InheritPriority);

    buffer_ = createPointBuffer(host_->bufferCapacity());
    buffer_->count = buffer_->capacity;
    buffer_->free = true;
    points_ = buffer_->points;
    capacity_ = buffer_->capacity;
    fill_ = 0;
    return true;
}

bool ReaderSession::waitForSplitter(int milliseconds) const
{
    // Woken as soon as the splitter frees its slot; the wait is cut into
    // short steps so that a stop request is noticed quickly.
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (stopRequested())
            return false;
        const qint64 left = milliseconds - timer.elapsed();
        if (left <= 0)
            return true;
        if (splitter_->waitForRoom(static_cast<unsigned long>(qMin<qint64>(left, kStopCheckMs))))
            return true;
        if (splitter_->isFinished())
            return true;
    }
}

QString ReaderSession::pipelineError() const
{
    if (!splitter_)
        return QString();
    if (splitter_->failed()) {
        const QString text = reasonText(splitter_->error());
        return text.isEmpty() ? QCoreApplication::translate("Nimbus", "writing the ilas file failed") : text;
    }
    if (splitter_->isFinished())
        return QCoreApplication::translate("Nimbus", "the block splitter ended before the input");
    return QString();
}

bool ReaderSession::offer(int pauseMs)
{
    buffer_->free = false;
    for (;;) {
        if (splitter_->offerBuffer(*buffer_))
            return true;
        const QString error = pipelineError();
        if (!error.isEmpty()) {
            buffer_->free = true;
            return fail(error);
        }
        if (!waitForSplitter(pauseMs)) {
            buffer_->free = true;
            return fail(QCoreApplication::translate("Nimbus", "stopped by the user"));
        }
    }
}

void ReaderSession::handOverFull()
{
    buffer_->count = fill_;
    const std::int32_t handed = fill_;
    fill_ = 0;
    if (!offer(host_->fullBufferPauseMs()))
        return;
    // We now hold the splitter's spent storage.
    handedOver_ += static_cast<std::uint64_t>(handed);
    ++buffersHandedOver_;
    points_ = buffer_->points;
    capacity_ = buffer_->capacity;
    buffer_->count = capacity_;
    buffer_->free = true;
    const QString error = pipelineError();
    if (!error.isEmpty())
        fail(error);
}

void ReaderSession::removeAbandonedParts()
{
    // Left by runs that were killed or lost their power: nobody holds them.
    for (const QString& part : OutputNames::existingPartFiles(outputPath_)) {
        if (removeUnlessLocked(part))
            outcome_.removedParts << QFileInfo(part).fileName();
    }
}

void ReaderSession::reportBytesConsumed(std::uint64_t done, std::uint64_t total)
{
    if (failed_)
        return;
    showProgress(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total), -1.0);
}

void ReaderSession::reportPointsRead(std::uint64_t done)
{
    if (failed_ || byteProgress_)
        return;
    showProgress(expectedPoints_ == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(expectedPoints_), -1.0);
}

void ReaderSession::showProgress(double readShare, double writeShare)
{
    QMutexLocker lock(&progressMutex_);
    if (readShare >= 0.0)
        readShare_ = qBound(0.0, readShare, 1.0);
    if (writeShare >= 0.0)
        writeShare_ = qBound(0.0, writeShare, 1.0);
    const double percent = byteProgress_ ? readShare_ * 100.0
                                         : readShare_ * kReadingShare + writeShare_ * (100.0 - kReadingShare);
    // Tenths of a percent are as fine as anyone reads a bar; the value only
    // rises, and stays a plain decimal.
    const int tenths = static_cast<int>(percent * 10.0);
    if (tenths <= shownTenths_)
        return;
    shownTenths_ = tenths;
    host_->showPercent(tenths / 10.0);
}

bool ReaderSession::finish()
{
    const QString change = input_.changeTo(InputIdentity::of(inputPath_));
    if (!change.isEmpty())
        return finishIncomplete(change);
    return completeInto(outputPath_, false);
}

bool ReaderSession::completeInto(const QString& target, bool incomplete)
{
    if (failed_)
        return false;
    if (!begun_ || done_)
        return fail(QCoreApplication::translate("Nimbus", "the output was never begun"));
    // The reader has consumed its whole input.
    if (!incomplete)
        reportBytesConsumed(1, 1);
    if (fill_ > 0) {
        buffer_->count = fill_;
        const std::int32_t handed = fill_;
        fill_ = 0;
        if (!offer(host_->lastBufferPauseMs()))
            return false;
        handedOver_ += static_cast<std::uint64_t>(handed);
        ++buffersHandedOver_;
        buffer_->free = true;
    }
    shutDownPipeline();
    if (failed_)
        return false;
    // Every block is written: points dropped in sparse cells or a count the
    // input overstated kept the writer's own share short of the end.
    if (!incomplete)
        showProgress(1.0, 1.0);
    // A stop asked for while the last blocks were written still counts: the
    // complete file is not put in place, and an earlier one stays.
    if (stopRequested())
        return fail(QCoreApplication::translate("Nimbus", "stopped by the user"));
    outcome_.read = pointsAdded();
    std::error_code error;
    std::filesystem::rename(OutputNames::fileSystemPath(partPath_), OutputNames::fileSystemPath(target), error);
    if (error)
        return fail(QCoreApplication::translate("Nimbus", "cannot rename %1 to %2: %3")
                        .arg(partPath_, target, reasonText(systemError(error))));
    outputCreated_ = false;
    partLock_.reset();
    done_ = true;
    releaseBuffer();
    // The points an earlier broken-off run kept are superseded now; left
    // beside the complete file they would be taken for a second result.
    if (!incomplete) {
        const QString stale = OutputNames::partialPath(outputPath_);
        if (QFileInfo::exists(stale) && QFile::remove(stale))
            addNote(QCoreApplication::translate("Nimbus", "removed %1 left by an earlier run that broke off").arg(QFileInfo(stale).fileName()));
    }
    placeCoordinateSystem(target);
    return true;
}

void ReaderSession::placeCoordinateSystem(const QString& ilasPath)
{
    // The points are in place; a coordinate-system file that cannot follow
    // them is worth a remark, not the conversion.
    const QString prjPath = OutputNames::coordinateSystemPath(ilasPath);
    const std::filesystem::path prj = OutputNames::fileSystemPath(prjPath);
    Reason why;
    if (coordinateSystem_.empty()) {
        if (!crs::removePrj(prj, why))
            addNote(QCoreApplication::translate("Nimbus", "%1 of an earlier conversion describes another input and could not be removed: %2")
                        .arg(prjPath, reasonText(why)));
    } else if (!crs::writePrj(prj, coordinateSystem_, why)) {
        addNote(QCoreApplication::translate("Nimbus", "the coordinate system was not written: %1").arg(reasonText(why)));
    }
}

void ReaderSession::addNote(const QString& note)
{
    outcome_.notes << note;
}

bool ReaderSession::finishIncomplete(const QString& reason)
{
    // Nothing delivered: nothing to keep, and an earlier output stays.
    if (pointsAdded() == 0)
        return fail(reason);
    // The points read before the break go to a name of their own, so a
    // complete earlier output is never replaced by a fragment.
    const QString partial = OutputNames::partialPath(outputPath_);
    if (!completeInto(partial, true))
        return false;
    outcome_.partialOutput = true;
    outcome_.partialPath = partial;
    if (outcome_.failure.isEmpty())
        outcome_.failure = reason;
    return false;
}

void ReaderSession::shutDownPipeline()
{
    if (!splitter_)
        return;
    splitter_->finishInput();
    // A splitter that never started still has to tell its writer to end.
    if (!splitter_->isRunning() && !splitter_->isFinished())
        splitter_->start(QThread::InheritPriority);
    splitter_->wait();
    const QString error = splitter_->failed() ? pipelineError() : QString();
    outcome_.dropped += splitter_->droppedPoints();
    // The writer has ended: its header holds the points it stored.
    if (error.isEmpty() && splitter_->writer) {
        outcome_.stored = static_cast<std::uint64_t>(splitter_->writer->header()->pointCount);
        outcome_.storedKnown = true;
    }
    splitter_.reset(); // ends and deletes the writer
    if (!error.isEmpty())
        fail(error);
}

bool ReaderSession::fail(const QString& reason)
{
    if (!failed_) {
        failed_ = true;
        if (outcome_.failure.isEmpty())
            outcome_.failure = reason;
    }
    done_ = true;
    points_ = nullptr;
    fill_ = 0;
    shutDownPipeline();
    releaseBuffer();
    if (outputCreated_) {
        QFile::remove(partPath_);
        outputCreated_ = false;
    }
    partLock_.reset();
    return false;
}

void ReaderSession::releaseBuffer()
{
    points_ = nullptr;
    releasePointBuffer(buffer_);
    buffer_ = nullptr;
}

} // namespace nimbus
