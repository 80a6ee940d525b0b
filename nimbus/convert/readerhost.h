#pragma once
// The driver as a reader session sees it: the one seam between the two. The
// session asks it for the run's settings and its stop flag, shows progress
// through it, and hands it what became of the file when it ends.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace nimbus {

class SplitBlockThread;

// What a reader session reports back about its file.
struct FileOutcome {
    QString failure;            // empty unless the file failed
    std::uint64_t skipped = 0;  // lines or points without a usable position
    std::uint64_t dropped = 0;  // points the splitter dropped for their coordinates
    bool partialOutput = false; // failed, but the points so far were written
    QString partialPath;        // where they were written
    QStringList removedParts;   // unfinished files of dead runs removed
    std::uint64_t read = 0;     // points the reader handed over
    std::uint64_t stored = 0;   // points the finished ilas file holds
    bool storedKnown = false;
    QStringList notes;          // the reader's own remarks
};

class ReaderHost {
public:
    virtual bool stopRequested() const = 0;
    // Room of the hand-off buffers, in points.
    virtual std::int32_t bufferCapacity() const = 0;
    // Pauses between hand-off attempts of a full and of the last buffer.
    virtual int fullBufferPauseMs() const = 0;
    virtual int lastBufferPauseMs() const = 0;
    // Grid cells with fewer points are dropped as noise; 1 keeps every point.
    virtual std::int32_t cellPointMinimum() const = 0;
    // NAME.ilas for an input.
    virtual QString outputPathOf(const QString& inputPath) const = 0;

    virtual void showPrompt(const QString& prompt) = 0;
    virtual void showPercent(double percent) = 0;
    // Passes the splitter's (and its writer's) tasks and prompts on to
    // whoever shows the driver's; the session folds the writer's percentages
    // into the file's own and shows them through showPercent.
    virtual void relayProgress(SplitBlockThread* splitter) = 0;

    // Once per session, when it ends.
    virtual void fileEnded(const FileOutcome& outcome) = 0;

protected:
    ~ReaderHost() = default;
};

} // namespace nimbus
