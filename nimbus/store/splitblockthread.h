#pragma once
// Middle stage of a conversion: takes 20,000,000-point buffers from a reader,
// cuts each into spatial blocks (20-unit grid cells, octree subdivision of
// cells over 500,000 points) and hands each buffer's blocks to its writer.
// Owned by the reader; owns its two hand-off buffers and its writer.

#include "blockpartition.h"
#include "blockstore.h"
#include "pointrecord.h"
#include "writeilasthread.h"

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <vector>

namespace nimbus {

// What the ilas file written through a splitter is told before its first
// point: the origin its float coordinates are relative to, whether it stores
// colours, and the point count the input states (for progress; kUnknown when
// it states none).
struct IlasOutputSettings {
    static constexpr std::uint64_t kUnknown = ~std::uint64_t(0);
    double originX = 0.0, originY = 0.0, originZ = 0.0;
    bool hasColor = false;
    std::uint64_t expectedPoints = 0;
    std::int32_t minCellPoints = kMinGridCellPoints; // 1 keeps every point
};

class SplitBlockThread : public QThread {
    Q_OBJECT
public:
    // `bufferCapacity` is the room of the two hand-off buffers; it must match
    // the reader's buffer. Tests use small values.
    explicit SplitBlockThread(QObject* parent = nullptr,
                              std::int32_t bufferCapacity = kHandOffCapacity);
    ~SplitBlockThread() override;

    // Creates the writer on `path`, gives it (and this splitter) `settings`,
    // and starts it; call before start(). Returns false (and the writer
    // holds the reason) when the file cannot be created; the writer then runs
    // anyway and frees what reaches it, so the usual shutdown still works.
    // A second call returns false and changes nothing.
    bool openIlasFile(const QString& path, const IlasOutputSettings& settings = IlasOutputSettings());

    // Non-blocking: swaps `filled` into the hand-off slot if the slot is free;
    // on true the caller holds the splitter's spent buffer.
    bool offerBuffer(PointBuffer& filled);
    // For a reader whose offer was refused: waits at most `maxMs` until the
    // slot is free again (or the splitter has ended). Returns at once when
    // it already is; true when the slot is free.
    bool waitForRoom(unsigned long maxMs);

    // Sets inputFinished and wakes the splitter if it waits for a buffer.
    void finishInput();
    std::atomic<bool> inputFinished{false};
    std::atomic<std::uint64_t> expectedPoints{0};
    // Grid cells with fewer points are dropped; set before start().
    std::int32_t minCellPoints = kMinGridCellPoints;
    WriteIlasThread* writer = nullptr;

    // Points dropped before binning (a non-finite coordinate, or a grid key
    // beyond int32), summed over all buffers. Read after wait().
    std::uint64_t droppedPoints() const { return dropped_.load(); }
    // True when the writer failed or no file was opened; error() then says
    // why, errorText() in English.
    bool failed() const;
    Reason error() const;
    QString errorText() const;

signals:
    void updateTask(int total, int cur);
    void setPrompt(QString prompt);
    void finish(bool complete, QString msg);
    void updatePercent_signal(double value);

public slots:
    void updatePercent_slot(double value);

protected:
    void run() override;

private:
    bool splitBuffer(PointBuffer& buffer);

    QMutex mutex;
    // Signalled when the slot becomes free, and when the splitter ends.
    QWaitCondition slotFree_;
    // Signalled when a buffer is offered, and when the input is finished.
    QWaitCondition bufferOffered_;
    bool ended_ = false;
    PointBuffer* working_ = nullptr;
    PointBuffer* slot_ = nullptr;
    std::atomic<std::uint64_t> dropped_{0};
    // Kept from buffer to buffer: the blocks' storage and the per-point
    // block numbers.
    BlockStore store_;
    std::vector<std::int32_t> blockOfPoint_;
};

} // namespace nimbus
