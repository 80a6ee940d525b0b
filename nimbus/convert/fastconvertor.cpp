#include "fastconvertor.h"

#include "readers.h"
#include "readersession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QFileInfo>
#include <QMutexLocker>

namespace nimbus {

FastConvertor::FastConvertor(QObject* parent) : QThread(parent) {}

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
    const QFileInfo info(inputPath);
    return QDir::toNativeSeparators(info.absolutePath() + QLatin1Char('/')
                                    + info.completeBaseName() + QLatin1String(".ilas"));
}

void FastConvertor::updatePercent_slot(double value)
{
    emit updatePercent_signal(value);
}

void FastConvertor::setPrompt_slot(QString prompt)
{
    emit setPrompt(prompt);
}

bool FastConvertor::convertOne(const QString& path, QString& output, QString& note,
                               QString& failure)
{
    outcome_ = FileOutcome();
    output = outputPathFor(path);
    if (ReaderSession::outputWouldReplaceInput(path)) {
        failure = QStringLiteral("the output file would replace the input file");
        return false;
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
    case InputKind::E57:
        converted = convertDatFile(this, path);
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
        return false;
    }
    if (!outcome_.failure.isEmpty())
        converted = false;
    if (!converted) {
        failure = outcome_.failure.isEmpty() ? QStringLiteral("the file could not be read")
                                             : outcome_.failure;
        return false;
    }
    QStringList notes;
    if (outcome_.skipped > 0)
        notes << QStringLiteral("%1 lines or points without a usable position were skipped")
                     .arg(outcome_.skipped);
    if (outcome_.dropped > 0)
        notes << QStringLiteral("%1 points with unusable coordinates were dropped")
                     .arg(outcome_.dropped);
    // Grid cells and sub-cells holding too few points are left out of the
    // file by design; say how many points that cost.
    if (outcome_.storedKnown && outcome_.stored < outcome_.read) {
        const QLocale english(QLocale::English);
        // Points dropped for their coordinates are among the missing ones.
        const std::uint64_t missing = outcome_.read - outcome_.stored;
        const std::uint64_t sparse = missing - qMin(outcome_.dropped, missing);
        QString text = QStringLiteral("%1 of %2 points stored")
                           .arg(english.toString(static_cast<qulonglong>(outcome_.stored)),
                                english.toString(static_cast<qulonglong>(outcome_.read)));
        if (sparse == missing)
            text += QStringLiteral("; the rest lay in sparse cells");
        else if (sparse > 0)
            text += QStringLiteral("; %1 lay in sparse cells")
                        .arg(english.toString(static_cast<qulonglong>(sparse)));
        notes << text;
    }
    notes << outcome_.notes;
    note = notes.join(QStringLiteral("; "));
    return true;
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
    for (int i = 0; i < files.size(); ++i) {
        if (stopRequested())
            break;
        emit updateTask(files.size(), i + 1);
        const QString path = files.at(i);
        if (inputKindOf(path) == InputKind::Unsupported) {
            emit fileSkipped(path);
            continue;
        }
        QString output, note, failure;
        if (convertOne(path, output, note, failure)) {
            emit fileFinished(path, output, true, note);
        } else {
            {
                QMutexLocker lock(&failuresMutex_);
                failures_ << QStringLiteral("%1: %2").arg(path, failure);
            }
            if (outcome_.partialOutput)
                emit partialOutputKept(path, output);
            emit fileFinished(path, output, false, failure);
        }
    }

    QString summary = formatElapsed(timer.elapsed());
    const QStringList failed = failures();
    if (!failed.isEmpty())
        summary += QStringLiteral("以下文件转换失败:\n") + failed.join(QLatin1Char('\n'))
            + QLatin1Char('\n');
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
        emit finish(false, QStringLiteral("转换已停止"));
    else
        emit finish(true, QStringLiteral("转换完成"));
}

} // namespace nimbus
