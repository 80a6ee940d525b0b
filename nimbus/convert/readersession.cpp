#include "readersession.h"

#include "fastconvertor.h"
#include "splitblockthread.h"
#include "writeilasthread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace nimbus {

namespace {

std::filesystem::path toFilesystemPath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

bool ReaderSession::outputWouldReplaceInput(const QString& inputPath)
{
    const QString a = FastConvertor::outputPathFor(inputPath);
    const QString b = QFileInfo(inputPath).absoluteFilePath();
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    if (QDir::cleanPath(QDir::fromNativeSeparators(a))
            .compare(QDir::cleanPath(QDir::fromNativeSeparators(b)), cs)
        == 0)
        return true;
    // An existing output name may also lead to the input through a symbolic
    // or a hard link; opening it for writing would truncate the input.
    const QString target = QFileInfo(a).canonicalFilePath();
    if (!target.isEmpty() && target == QFileInfo(inputPath).canonicalFilePath())
        return true;
    std::error_code error;
    const std::filesystem::path output = toFilesystemPath(a);
    if (!std::filesystem::exists(output, error) || error)
        return false;
    const bool same = std::filesystem::equivalent(output, toFilesystemPath(inputPath), error);
    return same && !error;
}

ReaderSession::ReaderSession(FastConvertor* convertor, const QString& inputPath,
                             const QString& prompt)
    : convertor_(convertor), inputPath_(inputPath),
      outputPath_(FastConvertor::outputPathFor(inputPath))
{
    emit convertor_->setPrompt(prompt);
    emit convertor_->updatePercent_signal(-1.0);
}

ReaderSession::~ReaderSession()
{
    if (begun_ && !done_)
        fail(QStringLiteral("the reader ended without finishing the file"));
    releaseBuffer();
    convertor_->outcome_.skipped += skipped_;
}

bool ReaderSession::stopRequested() const
{
    return convertor_->stopRequested();
}

bool ReaderSession::begin(double originX, double originY, double originZ,
                          std::uint64_t expectedPoints, bool hasColor)
{
    if (failed_)
        return false;
    if (begun_)
        return fail(QStringLiteral("the output was already begun"));
    begun_ = true;
    if (outputWouldReplaceInput(inputPath_))
        return fail(QStringLiteral("the output file would replace the input file"));
    if (stopRequested())
        return fail(QStringLiteral("stopped by the user"));

    originX_ = originX;
    originY_ = originY;
    originZ_ = originZ;

    splitter_ = std::make_unique<SplitBlockThread>(nullptr, convertor_->bufferCapacity());
    // The driver object lives in the window's thread: these relays are queued.
    QObject::connect(splitter_.get(), &SplitBlockThread::updateTask, convertor_,
                     &FastConvertor::updateTask, Qt::QueuedConnection);
    QObject::connect(splitter_.get(), &SplitBlockThread::updatePercent_signal, convertor_,
                     &FastConvertor::updatePercent_signal, Qt::QueuedConnection);
    QObject::connect(splitter_.get(), &SplitBlockThread::setPrompt, convertor_,
                     &FastConvertor::setPrompt_slot, Qt::QueuedConnection);
    QObject::connect(splitter_.get(), &SplitBlockThread::finish, convertor_,
                     &FastConvertor::finish, Qt::QueuedConnection);

    // The file is written under a name of its own beside the output and
    // renamed over it only once complete, so a failed or stopped conversion,
    // or a second run on the same input, never destroys a good ilas file.
    {
        QTemporaryFile part(outputPath_ + QStringLiteral(".XXXXXX.part"));
        part.setAutoRemove(false);
        if (!part.open())
            return fail(QStringLiteral("cannot create a file beside %1: %2")
                            .arg(outputPath_, part.errorString()));
        partPath_ = part.fileName();
        // A temporary file is private to its owner; the ilas file is not.
        part.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                            | QFileDevice::ReadUser | QFileDevice::WriteUser
                            | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        part.close();
    }
    outputCreated_ = true;
    if (!splitter_->openIlasFile(partPath_)) {
        QString reason = splitter_->errorText();
        if (reason.isEmpty())
            reason = QStringLiteral("cannot create %1").arg(partPath_);
        return fail(reason);
    }

    WriteIlasThread* writer = splitter_->writer;
    writer->header()->originX = originX;
    writer->header()->originY = originY;
    writer->header()->originZ = originZ;
    writer->header()->hasColor = hasColor ? 1 : 0;
    writer->writeColor = hasColor;
    writer->expectedPoints = expectedPoints;
    splitter_->expectedPoints = expectedPoints;
    splitter_->start(QThread::InheritPriority);

    buffer_ = createPointBuffer(convertor_->bufferCapacity());
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
        const QString text = splitter_->errorText();
        return text.isEmpty() ? QStringLiteral("writing the ilas file failed") : text;
    }
    if (splitter_->isFinished())
        return QStringLiteral("the block splitter ended before the input");
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
            return fail(QStringLiteral("stopped by the user"));
        }
    }
}

void ReaderSession::handOverFull()
{
    buffer_->count = fill_;
    const std::int32_t handed = fill_;
    fill_ = 0;
    if (!offer(convertor_->fullBufferPauseMs_))
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

bool ReaderSession::finish()
{
    if (failed_)
        return false;
    if (!begun_ || done_)
        return fail(QStringLiteral("the output was never begun"));
    if (fill_ > 0) {
        buffer_->count = fill_;
        const std::int32_t handed = fill_;
        fill_ = 0;
        if (!offer(convertor_->lastBufferPauseMs_))
            return false;
        handedOver_ += static_cast<std::uint64_t>(handed);
        ++buffersHandedOver_;
        buffer_->free = true;
    }
    shutDownPipeline();
    if (failed_)
        return false;
    // A stop asked for while the last blocks were written still counts: the
    // complete file is not put in place, and an earlier one stays.
    if (stopRequested())
        return fail(QStringLiteral("stopped by the user"));
    convertor_->outcome_.read = pointsAdded();
    std::error_code error;
    std::filesystem::rename(toFilesystemPath(partPath_), toFilesystemPath(outputPath_), error);
    if (error)
        return fail(QStringLiteral("cannot rename %1 to %2: %3")
                        .arg(partPath_, outputPath_, QString::fromLocal8Bit(error.message().c_str())));
    outputCreated_ = false;
    done_ = true;
    releaseBuffer();
    return true;
}

void ReaderSession::addNote(const QString& note)
{
    convertor_->outcome_.notes << note;
}

bool ReaderSession::finishIncomplete(const QString& reason)
{
    if (!finish())
        return false;
    convertor_->outcome_.partialOutput = true;
    if (convertor_->outcome_.failure.isEmpty())
        convertor_->outcome_.failure = reason;
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
    convertor_->outcome_.dropped += splitter_->droppedPoints();
    // The writer has ended: its header holds the points it stored.
    if (error.isEmpty() && splitter_->writer) {
        convertor_->outcome_.stored =
            static_cast<std::uint64_t>(splitter_->writer->header()->pointCount);
        convertor_->outcome_.storedKnown = true;
    }
    splitter_.reset(); // ends and deletes the writer
    if (!error.isEmpty())
        fail(error);
}

bool ReaderSession::fail(const QString& reason)
{
    if (!failed_) {
        failed_ = true;
        if (convertor_->outcome_.failure.isEmpty())
            convertor_->outcome_.failure = reason;
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
    return false;
}

void ReaderSession::releaseBuffer()
{
    points_ = nullptr;
    releasePointBuffer(buffer_);
    buffer_ = nullptr;
}

} // namespace nimbus
