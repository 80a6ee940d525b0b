#pragma once
// The part every format reader shares: it owns the splitter (and through it
// the writer) for one input file, fills the hand-off buffer, hands full
// buffers over, and either finishes the ilas file or, when the reader gives
// up or a stop is requested, removes the unfinished output without leaving a
// thread running. It reaches the driver only through ReaderHost, and hands
// it the file's outcome when it ends.
//
// A reader uses it like this (all on the driver's thread):
//
//   bool convertFooFile(FastConvertor* convertor, QString path) {
//       ReaderSession session(convertor, path);        // shows the prompt, -1 %
//       ... open the input; on trouble: return session.fail("reason");
//       if (!session.begin(x0, y0, z0, expected, hasColor))
//           return false;                               // output not creatable
//       for (each point) {
//           session.addPoint(x, y, z, r, g, b);         // inline, no virtual call
//           ... after each batch: if (!session.carryOn()) return false;
//           ... an unusable line or point: session.countSkipped();
//       }
//       return session.finish();
//   }
//
// The input should be opened and its origin found before begin(), so that an
// unreadable input never creates an output file. Destroying a session that
// was begun but neither finished nor failed fails it.

#include "inputidentity.h"
#include "pointrecord.h"
#include "readerhost.h"

#include <QCoreApplication>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace nimbus {

class PartFileLock;
class SplitBlockThread;

// How every reader stores a point: its world position minus the origin,
// subtracted in double precision and narrowed to float; without a colour of
// its own a point is red.
struct PointPlacement {
    double originX, originY, originZ;

    PointRecord operator()(double x, double y, double z, std::uint8_t red = 255, std::uint8_t green = 0,
                           std::uint8_t blue = 0) const
    {
        PointRecord record;
        record.x = static_cast<float>(x - originX);
        record.y = static_cast<float>(y - originY);
        record.z = static_cast<float>(z - originZ);
        record.red = red;
        record.green = green;
        record.blue = blue;
        record.reserved = 0;
        return record;
    }
};

class ReaderSession {
public:
    // `host` must outlive the session. Shows `prompt` (or "converting:" in
    // the window's language when empty) and -1 %, then 0 %.
    ReaderSession(ReaderHost* host, const QString& inputPath,
                  const QString& prompt = QString());
    ~ReaderSession();
    ReaderSession(const ReaderSession&) = delete;
    ReaderSession& operator=(const ReaderSession&) = delete;

    const QString& inputPath() const { return inputPath_; }
    const QString& outputPath() const { return outputPath_; }
    // The origin given to begin().
    double originX() const { return originX_; }
    double originY() const { return originY_; }
    double originZ() const { return originZ_; }

    // Creates the output (under a temporary name beside it, renamed over
    // any earlier output by finish()) and the splitter and writer threads, stores the
    // origin, the expected point count (kUnknownCount when the input does not
    // state it) and the colour flag, starts the splitter and allocates the
    // buffer. False (and the session failed) when the output cannot be
    // created or would replace the input.
    bool begin(double originX, double originY, double originZ, std::uint64_t expectedPoints,
               bool hasColor);

    // Where points go relative to the origin given to begin().
    PointPlacement placement() const { return PointPlacement{originX_, originY_, originZ_}; }

    // Appends a point given in source coordinates, placed as PointPlacement
    // places it. Only after a successful begin(); after a failure the points
    // are discarded.
    inline void addPoint(double x, double y, double z, std::uint8_t red = 255,
                         std::uint8_t green = 0, std::uint8_t blue = 0)
    {
        addRecord(placement()(x, y, z, red, green, blue));
    }

    // Appends a point already relative to the origin.
    inline void addRecord(const PointRecord& record)
    {
        if (!points_)
            return;
        points_[fill_] = record;
        if (++fill_ == capacity_)
            handOverFull();
    }

    // For readers that convert many points at once (on several threads):
    // room for up to `wanted` points at the end of the buffer, as `room`
    // places starting at the returned pointer (at least one). Fill a prefix
    // of them in file order, then commitPoints(n). Null after a failure.
    PointRecord* reservePoints(std::int32_t wanted, std::int32_t& room)
    {
        room = 0;
        if (!points_ || wanted <= 0)
            return nullptr;
        room = wanted < capacity_ - fill_ ? wanted : capacity_ - fill_;
        return points_ + fill_;
    }
    // Appends the first `n` reserved places; hands the buffer over when full.
    void commitPoints(std::int32_t n)
    {
        if (!points_ || n <= 0)
            return;
        fill_ += n;
        if (fill_ == capacity_)
            handOverFull();
    }

    // Hands over the last partial buffer, lets the splitter and writer finish
    // and deletes them. True when the ilas file is complete; otherwise the
    // session has failed (output removed) and the reason is recorded. An
    // input that shrank, vanished or was replaced since the session began is
    // finished as by finishIncomplete: the reader may have met its cut as an
    // ordinary end.
    bool finish();

    // For an input that breaks off after some points: finishes an ilas file
    // with the points added so far under the partial output name (an earlier
    // complete output stays as it was), but reports the file as failed with
    // `reason`. Without any point added no file is kept. Always returns
    // false.
    bool finishIncomplete(const QString& reason);

    // Gives up on this file: records `reason` (the first one wins), stops and
    // deletes the splitter and writer if they were started, and removes the
    // unfinished file; an earlier output of the same name is left as it was. Always returns false, so a reader can `return fail(...)`.
    bool fail(const QString& reason);

    // How far reading has come, as `done` of `total` input bytes consumed.
    // Without a point count this share is the file's progress; with one,
    // reading carries the file's progress to kReadingShare percent and the
    // writer's share of the count the rest. The shown value only rises and
    // goes from 0 to 100 for each file. Cheap enough to call once per read
    // chunk.
    void reportBytesConsumed(std::uint64_t done, std::uint64_t total);
    // The same for inputs with a point count: `done` of the count given to
    // begin() have been read.
    void reportPointsRead(std::uint64_t done);
    static constexpr double kReadingShare = 90.0;

    // True once the user asked the driver to stop.
    bool stopRequested() const;
    // The poll after each batch of points: false when the reader should
    // return false now, because a stop was asked for (the session is then
    // failed with "stopped by the user") or the session has failed.
    bool carryOn()
    {
        if (stopRequested())
            return fail(QCoreApplication::translate("Nimbus", "stopped by the user"));
        return healthy();
    }
    // False once the session has failed (for example a hand-off abandoned
    // because of a stop request or a writer error).
    bool healthy() const { return !failed_; }

    // The input's coordinate system as OGC WKT, empty when it declares none.
    // A finished output gets it in the coordinate-system file beside it
    // (OutputNames::coordinateSystemPath); without one an earlier such file
    // of that name is removed, since it described another input.
    void setCoordinateSystem(const std::string& wkt) { coordinateSystem_ = wkt; }

    // Lines or points of the input that were left out because they could not
    // give a point; reported with the file's result.
    void countSkipped(std::uint64_t count = 1) { skipped_ += count; }
    std::uint64_t skipped() const { return skipped_; }

    // A remark reported with a converted file's result (for example a count
    // the input states that does not match what it holds).
    void addNote(const QString& note);

    std::uint64_t pointsAdded() const { return handedOver_ + static_cast<std::uint64_t>(fill_); }
    // Buffers handed to the splitter so far (full ones and the last one).
    int buffersHandedOver() const { return buffersHandedOver_; }

    static constexpr std::uint64_t kUnknownCount = ~std::uint64_t(0);

private:
    void removeAbandonedParts();
    // finish() into `target`; an `incomplete` input did not reach its end.
    bool completeInto(const QString& target, bool incomplete);
    void handOverFull();
    bool offer(int pauseMs);
    // Waits at most `milliseconds` for room in the splitter's slot; false
    // when a stop was requested meanwhile.
    bool waitForSplitter(int milliseconds) const;
    static constexpr int kStopCheckMs = 50;
    QString pipelineError() const;
    void shutDownPipeline();
    void releaseBuffer();
    void placeCoordinateSystem(const QString& ilasPath);
    // Called on the driver's thread for reading and on the writer's for
    // writing; shows the combined share when it reached a new tenth.
    void showProgress(double readShare, double writeShare);

    ReaderHost* host_;
    FileOutcome outcome_;
    QString inputPath_;
    InputIdentity input_; // the input as the session began
    QString outputPath_;
    std::string coordinateSystem_;
    QString partPath_; // where the file is written until it is complete
    std::unique_ptr<SplitBlockThread> splitter_;
    std::unique_ptr<PartFileLock> partLock_;
    PointBuffer* buffer_ = nullptr;
    PointRecord* points_ = nullptr;
    std::int32_t fill_ = 0;
    std::int32_t capacity_ = 0;
    double originX_ = 0.0, originY_ = 0.0, originZ_ = 0.0;
    std::uint64_t handedOver_ = 0;
    std::uint64_t skipped_ = 0;
    int buffersHandedOver_ = 0;
    bool begun_ = false;
    bool done_ = false;
    bool failed_ = false;
    bool outputCreated_ = false;
    bool byteProgress_ = false;
    std::uint64_t expectedPoints_ = 0;
    // Guards the shares and the shown value across the two threads, so the
    // values go out in rising order.
    QMutex progressMutex_;
    double readShare_ = 0.0;
    double writeShare_ = 0.0;
    int shownTenths_ = 0;
};

} // namespace nimbus
