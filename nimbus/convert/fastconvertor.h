#pragma once
// The conversion driver: a worker thread that converts a list of point-cloud
// files into ilas files one after the other, choosing a reader by the last
// three characters of each name. The window (and the headless converter)
// creates one, fills `files` and starts it; it may be started again once it
// has finished.

#include "conversionresult.h"
#include "readerhost.h"
#include "blockpartition.h"
#include "pointrecord.h"

#include <QList>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>

namespace nimbus {

class FastConvertor : public QThread, public ReaderHost {
    Q_OBJECT
public:
    explicit FastConvertor(QObject* parent = nullptr);
    ~FastConvertor() override;

    QStringList files; // set before start()
    // Where the ilas files go: empty (the default) writes each beside its
    // input. Set before start().
    QString outputFolder;
    // When true, an input whose ilas file exists already is not converted
    // and the existing file is left as it is. Set before start().
    bool keepExistingOutputs = false;
    // Cells of the 20-unit grid with fewer points than this are dropped as
    // noise; 1 keeps every point. Set before start().
    std::int32_t minCellPoints = kMinGridCellPoints;

    // Called on the driver's thread after the last file with the summary
    // text (summaryText): the elapsed time, then the files that stored no
    // point, the failed ones and every file's notes.
    // It must block until the user has read it. The window shows the text in
    // its "耗时" message box; when unset nothing is shown (the headless
    // converter prints instead).
    std::function<void(const QString& text)> showSummary;

    // Thread-safe: the running reader stops at its next check and removes its
    // unfinished output; later files are not started; finish(false, ...) is
    // emitted instead of finish(true, "转换完成").
    void requestStop();
    // Opens the run to stop requests before the thread starts, so a request
    // made right after start() is not lost. Hides QThread::start on purpose:
    // callers hold a FastConvertor.
    void start(QThread::Priority priority = QThread::InheritPriority);
    bool stopRequested() const override;

    // "PATH: reason" for every file that failed in the last run.
    QStringList failures() const;

    static QString formatElapsed(qint64 milliseconds);
    // The text of the final "耗时" box for a run that took `milliseconds`;
    // `notStarted` are the files a stop request left unconverted.
    static QString summaryText(qint64 milliseconds, const QList<ConversionResult>& results,
                               const QStringList& notStarted = QStringList());

    // The reader chosen for a path, by its last three characters.
    enum class InputKind { LasLaz, Xyz, Dat, Pcd, Ply, Pts, E57, Unsupported };
    static InputKind inputKindOf(const QString& path);
    // The ilas file written for `inputPath`: beside it, with the native
    // separator, named after the input without its last suffix.
    static QString outputPathFor(const QString& inputPath);
    // The same, in `outputFolder` when one is set.
    QString outputPathOf(const QString& inputPath) const override;
    // Inputs of `files` whose ilas files would have one name (beside them,
    // or in `outputFolder` when that is set): the later would silently
    // replace the earlier's. One line per clash, "A and B would both be
    // written to NAME.ilas"; empty when there are none (one file named twice
    // is no clash). Callers refuse the whole run on a clash.
    static QStringList outputClashes(const QStringList& files, const QString& outputFolder = QString());

    // For tests: room of the readers' and the splitter's hand-off buffers
    // (default 20,000,000 points), and the pauses between hand-off attempts
    // (default 5,000 ms for a full buffer, 10,000 ms for the last one).
    void setBufferCapacity(qint32 points);
    qint32 bufferCapacity() const override { return bufferCapacity_; }
    void setHandOffPauses(int fullBufferMs, int lastBufferMs);

signals:
    void updateTask(int total, int cur);
    void setPrompt(QString prompt);
    void finish(bool complete, QString msg);
    void updatePercent_signal(double value);
    // Once per file that had a reader: `reason` says why it failed, or, for a
    // converted file, notes such as skipped lines (empty when there are none).
    void fileFinished(QString path, QString output, bool converted, QString reason);
    // Just before fileFinished(..., false, ...) for a file whose input broke
    // off partway: the points read so far were written and `output` is kept.
    void partialOutputKept(QString path, QString output);
    // Once per file whose name has no reader; it is not converted.
    void fileSkipped(QString path);
    // Once per file of the list that was reached, with everything known
    // about it; after fileFinished or fileSkipped.
    void fileResult(nimbus::ConversionResult result);

public slots:
    void updatePercent_slot(double value);
    void setPrompt_slot(QString prompt);

protected:
    void run() override;

private:
    // The reader session's side of the driver.
    int fullBufferPauseMs() const override { return fullBufferPauseMs_; }
    int lastBufferPauseMs() const override { return lastBufferPauseMs_; }
    std::int32_t cellPointMinimum() const override { return minCellPoints; }
    void showPrompt(const QString& prompt) override;
    void showPercent(double percent) override;
    void relayProgress(SplitBlockThread* splitter) override;
    void fileEnded(const FileOutcome& outcome) override;

    ConversionResult convertOne(const QString& path);
    QStringList outcomeNotes() const;

    std::atomic<bool> stop_{false};
    // Guards the end of a run against a late stop request, which would
    // otherwise survive into the next run and stop it before its first file.
    QMutex stopMutex_;
    bool acceptingStop_ = false;
    std::atomic<bool> closing_{false}; // the owner is being destroyed: show nothing
    mutable QMutex failuresMutex_;
    QStringList failures_;
    qint32 bufferCapacity_ = kHandOffCapacity;
    int fullBufferPauseMs_ = 5000;
    int lastBufferPauseMs_ = 10000;
    FileOutcome outcome_;
};

} // namespace nimbus
