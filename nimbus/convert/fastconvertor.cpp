#include "fastconvertor.h"

#include "outputnames.h"
#include "readers.h"
#include "readersession.h"
#include "splitblockthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QFileInfo>
#include <QHash>
#include <QMutexLocker>

namespace nimbus {

FastConvertor::FastConvertor(QObject* parent) : QThread(parent)
{
    qRegisterMetaType<ConversionResult>();
}

FastConvertor::~FastConvertor()
{
    // A window closed during a conversion: let the reader clean up first,
    // and do not ask the window to show the summary any more.
    closing_.store(true);
    requestStop();
    wait();
}

void FastConvertor::requestStop()
{
    // Only a running conversion can be stopped; run() closes the window for
    // requests before it clears the flag, so a late request cannot stop the
    // next run before its first file.
    QMutexLocker lock(&stopMutex_);
    if (acceptingStop_)
        stop_.store(true);
}

void FastConvertor::start(QThread::Priority priority)
{
    {
        QMutexLocker lock(&stopMutex_);
        if (!isRunning()) {
            stop_.store(false);
            acceptingStop_ = true;
        }
    }
    QThread::start(priority);
}

bool FastConvertor::stopRequested() const
{
    return stop_.load(std::memory_order_relaxed);
}

QStringList FastConvertor::failures() const
{
    QMutexLocker lock(&failuresMutex_);
    return failures_;
}

void FastConvertor::setBufferCapacity(qint32 points)
{
    bufferCapacity_ = qMax<qint32>(points, 1);
}

void FastConvertor::setHandOffPauses(int fullBufferMs, int lastBufferMs)
{
    fullBufferPauseMs_ = qMax(fullBufferMs, 0);
    lastBufferPauseMs_ = qMax(lastBufferMs, 0);
}

QString FastConvertor::formatElapsed(qint64 milliseconds)
{
    qint64 s = milliseconds / 1000;
    QString text;
    if (s > 3600) {
        text += QString::number(s / 3600) + QLatin1Char('h');
        s %= 3600;
    }
    if (s > 60) {
        text += QString::number(s / 60) + QLatin1Char('m');
        s %= 60;
    }
    if (s >= 0)
        text += QString::number(s) + QLatin1Char('s');
    text += QLatin1Char('\n');
    return text;
}

FastConvertor::InputKind FastConvertor::inputKindOf(const QString& path)
{
    // The last three characters, not the suffix: "x.blas" is read as LAS.
    const QString end = path.right(3).toLower();
    if (end == QLatin1String("las") || end == QLatin1String("laz"))
        return InputKind::LasLaz;
    if (end == QLatin1String("xyz"))
        return InputKind::Xyz;
    if (end == QLatin1String("dat"))
        return InputKind::Dat;
    if (end == QLatin1String("pcd"))
        return InputKind::Pcd;
    if (end == QLatin1String("ply"))
        return InputKind::Ply;
    if (end == QLatin1String("pts"))
        return InputKind::Pts;
    if (end == QLatin1String("e57"))
        return InputKind::E57;
    return InputKind::Unsupported;
}

QString FastConvertor::outputPathFor(const QString& inputPath)
{
    return OutputNames::finalPath(inputPath);
}

QString FastConvertor::outputPathOf(const QString& inputPath) const
{
    return OutputNames::finalPath(inputPath, outputFolder);
}

QStringList FastConvertor::outputClashes(const QStringList& files, const QString& outputFolder)
{
    // Names compare as the file system compares them; "dir/a" and "./dir/a"
    // are one file.
    const auto key = [](const QString& path) {
        const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
#ifdef Q_OS_WIN
        return clean.toLower();
#else
        return clean;
#endif
    };
    QHash<QString, QString> firstInput;
    QStringList clashes;
    for (const QString& file : files) {
        if (inputKindOf(file) == InputKind::Unsupported)
            continue;
        const QString output = OutputNames::finalPath(file, outputFolder);
        const auto earlier = firstInput.constFind(key(output));
        if (earlier == firstInput.constEnd()) {
            firstInput.insert(key(output), file);
            continue;
        }
        // The same file named twice converts to the same result twice.
        if (key(earlier.value()) == key(file))
            continue;
        clashes << QCoreApplication::translate("Nimbus", "%1 and %2 would both be written to %3")
                       .arg(earlier.value(), file, output);
    }
    return clashes;
}

void FastConvertor::showPrompt(const QString& prompt)
{
    emit setPrompt(prompt);
}

void FastConvertor::showPercent(double percent)
{
    emit updatePercent_signal(percent);
}

void FastConvertor::relayProgress(SplitBlockThread* splitter)
{
    // This object lives in the window's thread: the relays are queued. The
    // splitter's finish is not relayed: the window takes the driver's finish
    // for the end of the whole run.
    connect(splitter, &SplitBlockThread::updateTask, this, &FastConvertor::updateTask, Qt::QueuedConnection);
    connect(splitter, &SplitBlockThread::setPrompt, this, &FastConvertor::setPrompt_slot, Qt::QueuedConnection);
}

void FastConvertor::fileEnded(const FileOutcome& outcome)
{
    outcome_ = outcome;
}

void FastConvertor::updatePercent_slot(double value)
{
    emit updatePercent_signal(value);
}

void FastConvertor::setPrompt_slot(QString prompt)
{
    emit setPrompt(prompt);
}

QStringList FastConvertor::outcomeNotes() const
{
    const QLocale english(QLocale::English);
    const auto number = [&](std::uint64_t n) {
        return english.toString(static_cast<qulonglong>(n));
    };
    QStringList notes;
    if (!outcome_.removedParts.isEmpty())
        notes << QCoreApplication::translate("Nimbus", "removed %1 unfinished file(s) left by runs that had ended: %2")
                     .arg(outcome_.removedParts.size())
                     .arg(outcome_.removedParts.join(QStringLiteral(", ")));
    if (outcome_.skipped > 0)
        notes << QCoreApplication::translate("Nimbus", "%1 lines or points without a usable position were skipped")
                     .arg(outcome_.skipped);
    if (outcome_.dropped > 0)
        notes << QCoreApplication::translate("Nimbus", "%1 points with unusable coordinates were dropped")
                     .arg(outcome_.dropped);
    // Grid cells and sub-cells holding too few points are left out of the
    // file by design; say how many points that cost (a file without any
    // point says so on its own).
    if (outcome_.storedKnown && outcome_.stored < outcome_.read && outcome_.stored > 0) {
        // Points dropped for their coordinates are among the missing ones.
        const std::uint64_t missing = outcome_.read - outcome_.stored;
        const std::uint64_t sparse = missing - qMin(outcome_.dropped, missing);
        QString text = QCoreApplication::translate("Nimbus", "%1 of %2 points stored")
                           .arg(number(outcome_.stored), number(outcome_.read));
        if (sparse == missing)
            text += QCoreApplication::translate("Nimbus", "; the rest lay in sparse cells");
        else if (sparse > 0)
            text += QCoreApplication::translate("Nimbus", "; %1 lay in sparse cells").arg(number(sparse));
        notes << text;
    }
    notes << outcome_.notes;
    return notes;
}

ConversionResult FastConvertor::convertOne(const QString& path)
{
    outcome_ = FileOutcome();
    ConversionResult result;
    result.input = path;
    const QString output = outputPathOf(path);
    if (OutputNames::outputsWouldReplaceInput(path, output)) {
        result.reason = QCoreApplication::translate("Nimbus", "the output file would replace the input file");
        return result;
    }
    bool converted = false;
    switch (inputKindOf(path)) {
    case InputKind::LasLaz:
        converted = convertLasFile(this, path);
        break;
    case InputKind::Xyz:
        converted = convertXyzFile(this, path);
        break;
    case InputKind::Dat:
        converted = convertDatFile(this, path);
        break;
    case InputKind::E57:
        // Scanner files carry their signature; DAT text saved under an .e57
        // name is still read as text.
        converted = isE57Scan(path) ? convertE57File(this, path) : convertDatFile(this, path);
        break;
    case InputKind::Pcd:
        converted = convertPcdFile(this, path);
        break;
    case InputKind::Ply:
        converted = convertPlyFile(this, path);
        break;
    case InputKind::Pts:
        converted = convertPtsFile(this, path);
        break;
    case InputKind::Unsupported:
        result.status = ConversionResult::Status::Unsupported;
        return result;
    }
    if (!outcome_.failure.isEmpty())
        converted = false;
    result.pointsRead = outcome_.read;
    result.pointsStored = outcome_.storedKnown ? outcome_.stored : 0;
    result.notes = outcomeNotes();
    if (!converted) {
        result.reason = outcome_.failure.isEmpty() ? QCoreApplication::translate("Nimbus", "the file could not be read")
                                                   : outcome_.failure;
        if (outcome_.partialOutput) {
            result.partial = true;
            result.output = outcome_.partialPath;
        }
        return result;
    }
    result.status = ConversionResult::Status::Converted;
    result.output = output;
    if (outcome_.storedKnown && outcome_.stored == 0) {
        if (outcome_.read == 0)
            result.noPointReason = QCoreApplication::translate("Nimbus", "the input holds no point");
        else if (outcome_.dropped >= outcome_.read)
            result.noPointReason = QCoreApplication::translate("Nimbus", "no point had usable coordinates");
        else
            result.noPointReason = QCoreApplication::translate("Nimbus", "every cell held fewer than %1 points").arg(minCellPoints);
    }
    return result;
}

QString FastConvertor::summaryText(qint64 milliseconds, const QList<ConversionResult>& results,
                                   const QStringList& notStarted)
{
    QString empty, failed, notes, written;
    QStringList folders;
    for (const ConversionResult& r : results) {
        // Kept outputs were there before; what this run wrote is listed.
        if (!r.output.isEmpty() && r.status != ConversionResult::Status::Kept) {
            written += QStringLiteral("%1 -> %2\n").arg(r.input, QDir::toNativeSeparators(r.output));
            const QString folder = QDir::toNativeSeparators(QFileInfo(r.output).absolutePath());
            if (!folders.contains(folder))
                folders << folder;
        }
        if (r.status == ConversionResult::Status::Converted && !r.noPointReason.isEmpty())
            empty += QStringLiteral("%1 -> %2: %3\n").arg(r.input, r.output, r.noPointReason);
        if (r.status == ConversionResult::Status::Failed) {
            failed += QStringLiteral("%1: %2\n").arg(r.input, r.reason);
            if (r.partial)
                failed += QCoreApplication::translate("Nimbus", "  the points read were kept in: %1\n").arg(r.output);
        }
        for (const QString& note : r.notes)
            notes += QStringLiteral("%1: %2\n").arg(r.input, note);
    }
    QString text = formatElapsed(milliseconds);
    // Files without points come first: they look converted but hold nothing.
    if (!empty.isEmpty())
        text += QCoreApplication::translate("Nimbus", "These files stored no point:\n") + empty;
    if (!failed.isEmpty())
        text += QCoreApplication::translate("Nimbus", "These files failed:\n") + failed;
    if (!notStarted.isEmpty())
        text += QCoreApplication::translate("Nimbus", "Stopped before these files:\n")
            + notStarted.join(QLatin1Char('\n')) + QLatin1Char('\n');
    if (!notes.isEmpty())
        text += QCoreApplication::translate("Nimbus", "Notes:\n") + notes;
    // Last, where to look for the results: their folder, or each file when
    // they went to several.
    if (folders.size() == 1)
        text += QCoreApplication::translate("Nimbus", "Output folder: %1\n").arg(folders.front());
    else if (!written.isEmpty())
        text += QCoreApplication::translate("Nimbus", "Output files:\n") + written;
    return text;
}

void FastConvertor::run()
{
    QElapsedTimer timer;
    timer.start();
    // The files of one run reuse the large point buffers of the previous one.
    const StorageReuseScope reuse;
    {
        QMutexLocker lock(&failuresMutex_);
        failures_.clear();
    }
    QList<ConversionResult> results;
    QStringList notStarted;
    for (int i = 0; i < files.size(); ++i) {
        if (stopRequested()) {
            notStarted = files.mid(i);
            break;
        }
        emit updateTask(files.size(), i + 1);
        const QString path = files.at(i);
        QElapsedTimer fileTimer;
        fileTimer.start();
        ConversionResult result;
        if (inputKindOf(path) == InputKind::Unsupported) {
            result.input = path;
            result.status = ConversionResult::Status::Unsupported;
            emit fileSkipped(path);
        } else if (keepExistingOutputs && QFileInfo::exists(outputPathOf(path))) {
            result.input = path;
            result.output = outputPathOf(path);
            result.status = ConversionResult::Status::Kept;
        } else {
            result = convertOne(path);
            if (result.status == ConversionResult::Status::Converted) {
                QStringList notes = result.notes;
                if (!result.noPointReason.isEmpty())
                    notes.prepend(QCoreApplication::translate("Nimbus", "no point stored: ") + result.noPointReason);
                emit fileFinished(path, result.output, true, notes.join(QStringLiteral("; ")));
            } else {
                {
                    QMutexLocker lock(&failuresMutex_);
                    failures_ << QStringLiteral("%1: %2").arg(path, result.reason);
                }
                if (result.partial)
                    emit partialOutputKept(path, result.output);
                emit fileFinished(path, result.output, false, result.reason);
            }
        }
        result.seconds = fileTimer.nsecsElapsed() / 1e9;
        results << result;
        emit fileResult(result);
    }

    const QString summary = summaryText(timer.elapsed(), results, notStarted);
    emit updatePercent_signal(100.0);
    if (showSummary && !closing_.load())
        showSummary(summary);
    bool stopped;
    {
        QMutexLocker lock(&stopMutex_);
        acceptingStop_ = false;
        stopped = stop_.exchange(false);
    }
    if (stopped)
        emit finish(false, QCoreApplication::translate("Nimbus", "conversion stopped"));
    else
        emit finish(true, QCoreApplication::translate("Nimbus", "conversion complete"));
}

} // namespace nimbus
