// The shared reader skeleton: hand-over at the exact buffer capacity, giving
// up without leaving output or threads behind, and stopping mid-file.

#include "conversionrun.h"
#include "fastconvertor.h"
#include "ilasfile.h"
#include "readers.h"
#include "readersession.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

using namespace nimbus;

namespace {

void addDensePoints(ReaderSession& session, int count)
{
    for (int i = 0; i < count; ++i)
        session.addPoint(500.0 + (i % 10) * 0.1, 600.0 + (i / 10 % 10) * 0.1, 70.0 + (i / 100) * 0.1);
}

// Holds a convertor in its running state (blocked in its summary) so that a
// test can drive a session on its own thread and still request a stop.
class RunningConvertor {
public:
    RunningConvertor()
    {
        convertor.showSummary = [this](const QString&) { release.acquire(); };
        convertor.start();
        while (!convertor.isRunning())
            QThread::msleep(1);
    }
    ~RunningConvertor()
    {
        release.release();
        convertor.wait();
    }
    FastConvertor convertor;
    QSemaphore release;
};

// The files a conversion writes before they are complete.
QStringList partFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ReaderSession, ExactCapacityIsOneFullBufferAndNoEmptyOne)
{
    QTemporaryDir dir;
    FastConvertor convertor;
    convertor.setBufferCapacity(50);
    convertor.setHandOffPauses(1, 1);
    {
        ReaderSession session(&convertor, dir.filePath("exact.xyz"));
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        addDensePoints(session, 50);
        EXPECT_EQ(session.buffersHandedOver(), 1) << "a full buffer is handed over at once";
        ASSERT_TRUE(session.finish());
        EXPECT_EQ(session.buffersHandedOver(), 1);
        EXPECT_EQ(session.pointsAdded(), 50u);
    }
    IlasContents ilas = readIlas(dir.filePath("exact.ilas"));
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.pointCount, 50);

    {
        ReaderSession session(&convertor, dir.filePath("more.xyz"));
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        addDensePoints(session, 150 + 30);
        ASSERT_TRUE(session.finish());
        EXPECT_EQ(session.buffersHandedOver(), 4);
    }
    ilas = readIlas(dir.filePath("more.ilas"));
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.pointCount, 180);

    {
        ReaderSession session(&convertor, dir.filePath("none.xyz"));
        ASSERT_TRUE(session.begin(1.0, 2.0, 3.0, 0, true));
        ASSERT_TRUE(session.finish());
        EXPECT_EQ(session.buffersHandedOver(), 0);
    }
    ilas = readIlas(dir.filePath("none.ilas"));
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.blockCount, 0);
    EXPECT_EQ(ilas.header.hasColor, 1);
    EXPECT_EQ(ilas.header.originY, 2.0);
}

TEST(ReaderSession, FailingRemovesTheOutputAndEndsTheThreads)
{
    QTemporaryDir dir;
    FastConvertor convertor;
    convertor.setBufferCapacity(40);
    convertor.setHandOffPauses(1, 1);
    const QString output = dir.filePath("gone.ilas");
    {
        ReaderSession session(&convertor, dir.filePath("gone.xyz"));
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        // Until it is complete the file is written under a name of its own.
        EXPECT_FALSE(QFile::exists(output));
        const QStringList parts = partFiles(dir.path());
        ASSERT_EQ(parts.size(), 1);
        EXPECT_TRUE(parts[0].startsWith("gone.ilas.")) << parts[0].toStdString();
        addDensePoints(session, 130);
        EXPECT_FALSE(session.fail("the input broke off"));
        EXPECT_FALSE(session.healthy());
        EXPECT_FALSE(QFile::exists(output));
        EXPECT_EQ(partFiles(dir.path()), QStringList());
        addDensePoints(session, 100); // ignored after the failure
        EXPECT_FALSE(session.finish());
        EXPECT_FALSE(QFile::exists(output));
    }
    // A session dropped without finish() cleans up the same way.
    {
        ReaderSession session(&convertor, dir.filePath("dropped.xyz"));
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        addDensePoints(session, 100);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("dropped.ilas")));
    EXPECT_EQ(partFiles(dir.path()), QStringList());
}

TEST(ReaderSession, FailedOrStoppedRewriteKeepsTheEarlierOutput)
{
    QTemporaryDir dir;
    FastConvertor convertor;
    convertor.setBufferCapacity(40);
    convertor.setHandOffPauses(1, 1);
    const QString output = dir.filePath("keep.ilas");
    {
        ReaderSession session(&convertor, dir.filePath("keep.xyz"));
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        addDensePoints(session, 100);
        ASSERT_TRUE(session.finish());
    }
    const QByteArray good = contentsOf(output);
    ASSERT_EQ(readIlas(output).problem, "");
    EXPECT_EQ(partFiles(dir.path()), QStringList());

    // A second conversion of the same name that gives up, and one dropped
    // unfinished, leave the first result byte for byte.
    {
        ReaderSession session(&convertor, dir.filePath("keep.xyz"));
        ASSERT_TRUE(session.begin(1.0, 2.0, 3.0, ReaderSession::kUnknownCount, false));
        addDensePoints(session, 130);
        EXPECT_FALSE(session.fail("stopped by the user"));
    }
    EXPECT_EQ(contentsOf(output), good);
    {
        ReaderSession session(&convertor, dir.filePath("keep.xyz"));
        ASSERT_TRUE(session.begin(1.0, 2.0, 3.0, ReaderSession::kUnknownCount, false));
        addDensePoints(session, 30);
    }
    EXPECT_EQ(contentsOf(output), good);
    EXPECT_EQ(partFiles(dir.path()), QStringList());

    // Two sessions on one name at once write separate files; the one that
    // gives up does not take the other's with it.
    {
        ReaderSession first(&convertor, dir.filePath("keep.xyz"));
        ReaderSession second(&convertor, dir.filePath("keep.xyz"));
        ASSERT_TRUE(first.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        ASSERT_TRUE(second.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        EXPECT_EQ(partFiles(dir.path()).size(), 2);
        addDensePoints(first, 150);
        addDensePoints(second, 10);
        EXPECT_FALSE(second.fail("stopped by the user"));
        ASSERT_TRUE(first.finish());
    }
    const IlasContents replaced = readIlas(output);
    ASSERT_EQ(replaced.problem, "");
    EXPECT_EQ(replaced.header.pointCount, 150);
    EXPECT_EQ(partFiles(dir.path()), QStringList());
}

TEST(ReaderSession, UncreatableOutputFailsAndKeepsWhatIsThere)
{
    QTemporaryDir dir;
    // A folder stands where the output file would go.
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked.ilas"));
    const QString input = dir.filePath("blocked.xyz");
    writeFile(input, "1,2,3\n4,5,6\n");
    const ConversionRun run = runConversion({input});
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_FALSE(run.results[0].converted);
    EXPECT_FALSE(run.results[0].reason.isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath("blocked.ilas")).isDir());
}

TEST(ReaderSession, StopDuringAHandOffPauseRemovesTheOutput)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("long.xyz");
    QByteArray text = "500,600,70\n";
    for (int i = 0; i < 100000; ++i)
        text += "500." + QByteArray::number(i % 10) + ",600." + QByteArray::number(i / 10 % 10) + ",70\n";
    writeFile(input, text);

    RunningConvertor running;
    // Tiny buffers and very long pauses: the reader soon waits for the
    // splitter, and only the stop request can end that wait in time.
    running.convertor.setBufferCapacity(10);
    running.convertor.setHandOffPauses(600000, 600000);
    const QString output = FastConvertor::outputPathFor(input);
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        while (partFiles(dir.path()).isEmpty())
            QThread::msleep(1);
        QThread::msleep(20);
        running.convertor.requestStop();
        stopped = true;
    });
    QElapsedTimer timer;
    timer.start();
    const bool converted = convertXyzFile(&running.convertor, input);
    stopper.join();
    EXPECT_TRUE(stopped);
    EXPECT_FALSE(converted);
    EXPECT_FALSE(QFile::exists(output));
    EXPECT_EQ(partFiles(dir.path()), QStringList());
    EXPECT_LT(timer.elapsed(), 60000);
}

TEST(ReaderSession, IncompleteInputKeepsItsPointsButFails)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("cut.xyz");
    FastConvertor convertor;
    // A complete earlier output is never replaced by a fragment.
    {
        QFile earlier(dir.filePath("cut.ilas"));
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("complete earlier output");
    }
    {
        ReaderSession session(&convertor, input);
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, 1000, false));
        addDensePoints(session, 100);
        EXPECT_FALSE(session.finishIncomplete("the file breaks off after 100 points"));
    }
    const IlasContents ilas = readIlas(dir.filePath("cut.partial.ilas"));
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.pointCount, 100);
    EXPECT_EQ(partFiles(dir.path()), QStringList());
    QFile earlier(dir.filePath("cut.ilas"));
    ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
    EXPECT_EQ(earlier.readAll(), QByteArray("complete earlier output"));

    // Nothing delivered before the break: nothing is kept.
    const QString none = dir.filePath("none.xyz");
    {
        ReaderSession session(&convertor, none);
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, 1000, false));
        EXPECT_FALSE(session.finishIncomplete("the file breaks off before its first point"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("none.ilas")));
    EXPECT_FALSE(QFile::exists(dir.filePath("none.partial.ilas")));
    EXPECT_EQ(partFiles(dir.path()), QStringList());
}

TEST(ReaderSession, TinyLastBufferIsTakenAsSoonAsTheSplitterIsFree)
{
    // The last buffer is offered while the first still waits in the
    // splitter's slot. The reader must be let in the moment the slot frees,
    // not after its pause (ten minutes here).
    QTemporaryDir dir;
    FastConvertor convertor;
    convertor.setBufferCapacity(200000);
    convertor.setHandOffPauses(600000, 600000);
    QElapsedTimer timer;
    timer.start();
    {
        ReaderSession session(&convertor, dir.filePath("tail.xyz"));
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        addDensePoints(session, 200000 + 7);
        ASSERT_TRUE(session.finish());
        EXPECT_EQ(session.buffersHandedOver(), 2);
    }
    EXPECT_LT(timer.elapsed(), 10000);
    const IlasContents ilas = readIlas(dir.filePath("tail.ilas"));
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.pointCount, 200000);
    EXPECT_EQ(partFiles(dir.path()), QStringList());
}

TEST(ReaderSession, StopWhileWaitingForTheSplitterEndsPromptly)
{
    // Dense buffers of a million points: the reader fills them faster than
    // the splitter and writer take them, so it spends most of its time
    // waiting for room. A stop must end such a wait at once.
    QTemporaryDir dir;
    RunningConvertor running;
    running.convertor.setBufferCapacity(1000000);
    running.convertor.setHandOffPauses(600000, 600000);
    std::atomic<qint64> stopAt{-1};
    QElapsedTimer timer;
    timer.start();
    std::thread stopper([&] {
        QThread::msleep(400);
        stopAt = timer.elapsed();
        running.convertor.requestStop();
    });
    {
        ReaderSession session(&running.convertor, dir.filePath("busy.xyz"));
        ASSERT_TRUE(session.begin(500.0, 600.0, 70.0, ReaderSession::kUnknownCount, false));
        for (int round = 0; round < 2000 && session.healthy(); ++round) {
            addDensePoints(session, 65536);
            if (session.stopRequested()) {
                EXPECT_FALSE(session.fail(QStringLiteral("stopped by the user")));
                break;
            }
        }
        EXPECT_FALSE(session.healthy());
    }
    const qint64 ended = timer.elapsed();
    stopper.join();
    ASSERT_GE(stopAt, 0);
    // The stop is noticed within one wait step; what remains is letting the
    // splitter and writer finish the buffers they hold.
    EXPECT_LT(ended - stopAt, 5000);
    EXPECT_FALSE(QFile::exists(dir.filePath("busy.ilas")));
    EXPECT_EQ(partFiles(dir.path()), QStringList());
}
