#pragma once
// Last stage of a conversion: takes batches of blocks from the splitter,
// puts each block's points into kd-tree breadth-first order (several blocks
// in parallel), appends them to the ilas file, then writes the directory and
// the final header. Created and owned by SplitBlockThread; owns every block
// it has accepted.

#include "ilasformat.h"
#include "kdorder.h"
#include "pointrecord.h"
#include "nimbusreason.h"

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

namespace nimbus {

class WriteIlasThread : public QThread {
    Q_OBJECT
public:
    explicit WriteIlasThread(QObject* parent = nullptr);
    ~WriteIlasThread() override;

    // Creates the file and writes the placeholder header. Returns false (with
    // errorText()) when the file cannot be created or written.
    bool openFile(const QString& path);

    // Non-blocking hand-off from the splitter; on true the writer owns the
    // blocks. Refuses while 4 x hardware threads blocks are queued. After a
    // failure blocks are still accepted, and freed unwritten.
    bool offerBlocks(const std::vector<BlockRecord*>& blocks);
    // For a splitter whose offer was refused: waits at most `maxMs` until
    // the queue has room. Returns at once when it has; true when it has.
    bool waitForRoom(unsigned long maxMs);

    // Set by the converter after openFile and before any block arrives.
    IlasHeader* header() { return &header_; }
    std::atomic<bool> writeColor{false};
    std::atomic<std::uint64_t> expectedPoints{0};
    // Threads that order blocks in parallel; 0 means one per hardware thread.
    // The file's bytes do not depend on it.
    std::atomic<int> orderingThreads{0};

    // Set by the splitter after its last accepted batch; finishInput() also
    // wakes the writer if it waits for blocks.
    std::atomic<bool> inputFinished{false};
    void finishInput();

    // True once an open or write failed; the file then keeps its placeholder
    // magic and the conversion counts as failed.
    bool failed() const { return failed_.load(); }
    // Why it failed (empty before), and the same in English.
    Reason error() const;
    QString errorText() const;

signals:
    void updateTask(int total, int cur);
    void updatePercent(double value);
    void setPrompt(QString prompt);
    void finish(bool complete, QString msg);

protected:
    void run() override;

private:
    void fail(const Reason& reason);
    // Writes (unless failed) and frees the blocks, then clears the list.
    void writeBlocks(std::vector<BlockRecord*>& blocks);
    void writeBlock(BlockRecord* block);
    void finishFile();
    void closeFile();
    void reportProgress(bool final);
    bool queueHasRoom() const;

    QMutex mutex;
    // Signalled when blocks leave the queue.
    QWaitCondition room_;
    // Signalled when blocks arrive, and when the input is finished.
    QWaitCondition blocksOffered_;
    std::deque<BlockRecord*> queue_;
    std::unique_ptr<unsigned char[]> staging_;
    IlasHeader header_;
    bool boundsSet_ = false;
    std::vector<IlasBlockEntry> directory_;
    // Working memory of the block ordering, one per thread of the team.
    std::vector<KdOrderScratch> orderingScratch_;
    QString path_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> fileBuffer_;
    std::uint64_t written_ = 0;
    std::int64_t shownStep_ = -1; // last percentage step emitted
    double shownPercent_ = -1.0;  // and its value
    std::atomic<bool> failed_{false};
    mutable QMutex errorMutex_;
    Reason error_;
};

} // namespace nimbus
