// The driver: dispatch by name, task numbering, output naming, the summary
// text, the final signals, failures and stopping.

#include "conversionrun.h"
#include "qtnativepath.h"
#include "fastconvertor.h"
#include "ilasfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

using nimbus::FastConvertor;
using Kind = FastConvertor::InputKind;

namespace {

// 200 points in a 4-unit cube: one dense grid cell, the first of them at
// (100.5, 200.5, 50) and so the origin. `originLine`, when given, comes
// first: a point of its own, alone in its cell unless it lies in the cube.
QByteArray denseXyz(const char* originLine = nullptr)
{
    QByteArray text = originLine ? QByteArray(originLine) + "\n" : QByteArray();
    for (int i = 0; i < 200; ++i)
        text += QByteArray::number(100.5 + (i % 5) * 0.5) + "," + QByteArray::number(200.5 + (i / 5 % 5) * 0.5)
            + "," + QByteArray::number(50.0 + (i / 25) * 0.5) + "\n";
    return text;
}

} // namespace

TEST(Dispatch, LastThreeCharactersChooseTheReader)
{
    EXPECT_EQ(FastConvertor::inputKindOf("/d/SCAN.LAS"), Kind::LasLaz);
    EXPECT_EQ(FastConvertor::inputKindOf("/d/x.blas"), Kind::LasLaz);
    EXPECT_EQ(FastConvertor::inputKindOf("/d/a.LaZ"), Kind::LasLaz);
    EXPECT_EQ(FastConvertor::inputKindOf("/d/a.ilas"), Kind::LasLaz);
    EXPECT_EQ(FastConvertor::inputKindOf("a.xyz"), Kind::Xyz);
    EXPECT_EQ(FastConvertor::inputKindOf("a.DAT"), Kind::Dat);
    EXPECT_EQ(FastConvertor::inputKindOf("a.e57"), Kind::E57);
    EXPECT_EQ(FastConvertor::inputKindOf("a.pcd"), Kind::Pcd);
    EXPECT_EQ(FastConvertor::inputKindOf("a.ply"), Kind::Ply);
    EXPECT_EQ(FastConvertor::inputKindOf("a.pts"), Kind::Pts);
    EXPECT_EQ(FastConvertor::inputKindOf("notes.txt"), Kind::Unsupported);
    EXPECT_EQ(FastConvertor::inputKindOf("xyz"), Kind::Xyz);
    EXPECT_EQ(FastConvertor::inputKindOf("yz"), Kind::Unsupported);
    EXPECT_EQ(FastConvertor::inputKindOf(""), Kind::Unsupported);
}

TEST(OutputPath, BesideTheInputWithTheNativeSeparator)
{
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).absolutePath();
    EXPECT_EQ(FastConvertor::outputPathFor(folder + "/a.b.xyz"),
              QDir::toNativeSeparators(folder + "/a.b.ilas"));
    EXPECT_EQ(FastConvertor::outputPathFor(folder + "/SCAN.LAS"),
              QDir::toNativeSeparators(folder + "/SCAN.ilas"));
#ifndef Q_OS_WIN
    // No backslash: that would name a file outside the input's folder here.
    EXPECT_FALSE(FastConvertor::outputPathFor(folder + "/a.xyz").contains('\\'));
#endif
}

TEST(ElapsedTime, Table)
{
    EXPECT_EQ(FastConvertor::formatElapsed(0), "0s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(999), "0s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(59999), "59s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(60000), "60s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(61000), "1m1s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(3600000), "60m0s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(3601000), "1h1s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(3660000), "1h60s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(3661999), "1h1m1s\n");
    EXPECT_EQ(FastConvertor::formatElapsed(90061000), "25h1m1s\n");
}

TEST(Driver, ThreeFilesWithNotesTxtInTheMiddle)
{
    QTemporaryDir dir;
    const QString first = dir.filePath("one.xyz");
    const QString notes = dir.filePath("notes.txt");
    const QString third = dir.filePath("three.xyz");
    writeFile(first, denseXyz());
    writeFile(notes, "1,2,3\n4,5,6\n");
    writeFile(third, denseXyz("7,8,9"));

    const ConversionRun run = runConversion({first, notes, third});
    EXPECT_EQ(run.tasks, (std::vector<std::pair<int, int>>{{3, 1}, {3, 2}, {3, 3}}));
    EXPECT_EQ(run.skipped, QStringList{notes});
    ASSERT_EQ(run.results.size(), 2u);
    EXPECT_TRUE(run.results[0].converted);
    EXPECT_TRUE(run.results[1].converted);
    EXPECT_EQ(run.results[0].output, QDir::toNativeSeparators(dir.filePath("one.ilas")));
    EXPECT_TRUE(QFile::exists(dir.filePath("one.ilas")));
    EXPECT_TRUE(QFile::exists(dir.filePath("three.ilas")));
    EXPECT_FALSE(QFile::exists(dir.filePath("notes.ilas")));

    // Each file starts with its prompt, -1 and 0 and ends its reading at
    // 100; the list ends with 100, the summary and finish(true, "conversion complete").
    EXPECT_EQ(run.prompts.count("converting:"), 2);
    EXPECT_EQ(run.driverPercents, (std::vector<double>{-1.0, 0.0, 100.0, -1.0, 0.0, 100.0, 100.0}));
    EXPECT_EQ(run.finishCount, 1);
    EXPECT_TRUE(run.complete);
    EXPECT_EQ(run.finishMessage, "conversion complete");
    // The box ends by saying where both outputs went: one folder.
    EXPECT_TRUE(run.summary.endsWith("s\nOutput folder: " + QDir::toNativeSeparators(dir.path()) + "\n"))
        << run.summary.toStdString();
    EXPECT_TRUE(run.failures.isEmpty());

    const IlasContents ilas = readIlas(dir.filePath("three.ilas"));
    ASSERT_EQ(ilas.problem, "");
    EXPECT_EQ(ilas.header.originX, 7.0);
    EXPECT_EQ(ilas.header.originY, 8.0);
    EXPECT_EQ(ilas.header.originZ, 9.0);
}

TEST(Driver, DottedNameAndLaterFileWins)
{
    QTemporaryDir dir;
    const QString dotted = dir.filePath("a.b.xyz");
    writeFile(dotted, denseXyz());
    const QString first = dir.filePath("c.xyz");
    const QString second = dir.filePath("c.pts");
    writeFile(first, denseXyz("1,1,1"));
    writeFile(second, "2 2 2\n" + denseXyz().replace(',', ' '));
    const ConversionRun run = runConversion({dotted, first, second});
    ASSERT_EQ(run.results.size(), 3u);
    EXPECT_EQ(run.results[0].output, QDir::toNativeSeparators(dir.filePath("a.b.ilas")));
    EXPECT_TRUE(QFile::exists(dir.filePath("a.b.ilas")));
    const IlasContents c = readIlas(dir.filePath("c.ilas"));
    ASSERT_EQ(c.problem, "");
    EXPECT_EQ(c.header.originX, 2.0) << "the later file in the list writes c.ilas last";
}

TEST(Driver, FailuresAreListedAfterTheElapsedTime)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.xyz");
    const QString bad = dir.filePath("bad.xyz");
    const QString good = dir.filePath("good.xyz");
    writeFile(bad, "1;2;3\n4;5;6\n");
    writeFile(good, denseXyz());
    const ConversionRun run = runConversion({missing, bad, good});
    ASSERT_EQ(run.results.size(), 3u);
    EXPECT_FALSE(run.results[0].converted);
    EXPECT_FALSE(run.results[1].converted);
    EXPECT_TRUE(run.results[2].converted);
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.ilas")));
    EXPECT_FALSE(QFile::exists(dir.filePath("bad.ilas")));
    ASSERT_EQ(run.failures.size(), 2);
    EXPECT_TRUE(run.failures[0].startsWith(missing + ": cannot open")) << run.failures[0].toStdString();
    EXPECT_TRUE(run.failures[1].startsWith(bad + ": no line holds three numbers")) << run.failures[1].toStdString();
    // The list still ends normally, and the summary names both files after the time.
    EXPECT_TRUE(run.complete);
    const QStringList lines = run.summary.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith('s'));
    EXPECT_EQ(lines[2], run.failures[0]);
    EXPECT_EQ(lines[3], run.failures[1]);
    EXPECT_EQ(lines[4], "Output folder: " + QDir::toNativeSeparators(dir.path()));

    // Outputs in several folders are named one by one, the partial one too.
    QTemporaryDir other;
    const QString elsewhere = other.filePath("far.xyz");
    writeFile(elsewhere, denseXyz());
    QFile clipped(dir.filePath("clipped.las"));
    QFile sample(sharedTestData("las/pdal/1.2-with-color-clipped.las"));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly) && clipped.open(QIODevice::WriteOnly));
    clipped.write(sample.readAll());
    clipped.close();
    const ConversionRun two = runConversion({good, elsewhere, clipped.fileName()});
    EXPECT_TRUE(two.summary.endsWith(
        "Output files:\n" + good + " -> " + QDir::toNativeSeparators(dir.filePath("good.ilas")) + "\n" + elsewhere
        + " -> " + QDir::toNativeSeparators(other.filePath("far.ilas")) + "\n" + clipped.fileName() + " -> "
        + QDir::toNativeSeparators(dir.filePath("clipped.partial.ilas")) + "\n"))
        << two.summary.toStdString();
}

TEST(Driver, IlasInputIsRefusedAndUntouched)
{
    QTemporaryDir dir;
    const QString ilas = dir.filePath("old.ilas");
    const QByteArray content(300, 'q');
    writeFile(ilas, content);
    const ConversionRun run = runConversion({ilas});
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_FALSE(run.results[0].converted);
    EXPECT_EQ(run.results[0].reason, "the output file would replace the input file");
    QFile file(ilas);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), content);

#ifndef Q_OS_WIN
    // The output name is a link to the input: writing it would empty the input.
    const QString linked = dir.filePath("linked.xyz");
    writeFile(linked, denseXyz());
    ASSERT_TRUE(QFile::link(linked, dir.filePath("linked.ilas")));
    const ConversionRun viaLink = runConversion({linked});
    ASSERT_EQ(viaLink.results.size(), 1u);
    EXPECT_FALSE(viaLink.results[0].converted);
    QFile input(linked);
    ASSERT_TRUE(input.open(QIODevice::ReadOnly));
    EXPECT_EQ(input.readAll(), denseXyz());
#endif

    // A hard link has no link target to resolve; it is the same file all the same.
    const QString hard = dir.filePath("hard.xyz");
    writeFile(hard, denseXyz());
    std::error_code error;
    std::filesystem::create_hard_link(quillfen::libraryPath(hard),
                                      QFile::encodeName(dir.filePath("hard.ilas")).toStdString(), error);
    ASSERT_FALSE(error) << error.message();
    const ConversionRun viaHardLink = runConversion({hard});
    ASSERT_EQ(viaHardLink.results.size(), 1u);
    EXPECT_FALSE(viaHardLink.results[0].converted);
    EXPECT_EQ(viaHardLink.results[0].reason, "the output file would replace the input file");
    QFile hardInput(hard);
    ASSERT_TRUE(hardInput.open(QIODevice::ReadOnly));
    EXPECT_EQ(hardInput.readAll(), denseXyz());

    // An ordinary earlier output of the same name is still replaced.
    const QString again = dir.filePath("again.xyz");
    writeFile(again, denseXyz());
    writeFile(dir.filePath("again.ilas"), "stale");
    const ConversionRun replaced = runConversion({again});
    ASSERT_EQ(replaced.results.size(), 1u);
    EXPECT_TRUE(replaced.results[0].converted) << replaced.results[0].reason.toStdString();
    EXPECT_EQ(readIlas(dir.filePath("again.ilas")).header.pointCount, 200);
}

TEST(Driver, FailedReconversionKeepsTheEarlierOutput)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("survey.xyz");
    const QString output = dir.filePath("survey.ilas");
    writeFile(input, denseXyz());
    const ConversionRun first = runConversion({input});
    ASSERT_EQ(first.results.size(), 1u);
    ASSERT_TRUE(first.results[0].converted);
    QFile good(output);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray goodBytes = good.readAll();
    good.close();
    ASSERT_EQ(readIlas(output).header.pointCount, 200);

    // A damaged new version of the input fails without touching the result
    // of the good one, and leaves no file of its own.
    writeFile(input, "not a point\n" + denseXyz().replace(',', ';'));
    const ConversionRun second = runConversion({input});
    ASSERT_EQ(second.results.size(), 1u);
    EXPECT_FALSE(second.results[0].converted);
    QFile kept(output);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), goodBytes);
    EXPECT_EQ(QDir(dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden), QStringList());
}

TEST(Driver, PointsLeftOutInSparseCellsAreCounted)
{
    QTemporaryDir dir;
    // 1,500 points in one dense cell and three alone in cells far apart.
    QByteArray text;
    for (int i = 0; i < 1500; ++i)
        text += QByteArray::number(100.5 + (i % 10) * 0.25) + "," + QByteArray::number(200.5 + (i / 10 % 10) * 0.25)
            + "," + QByteArray::number(50.0 + (i / 100) * 0.25) + "\n";
    text += "500,500,50\n900,900,50\n-300,-300,50\n";
    const QString input = dir.filePath("sparse.xyz");
    writeFile(input, text);
    const ConversionRun run = runConversion({input});
    ASSERT_EQ(run.results.size(), 1u);
    ASSERT_TRUE(run.results[0].converted) << run.results[0].reason.toStdString();
    EXPECT_EQ(readIlas(run.results[0].output).header.pointCount, 1500);
    EXPECT_EQ(run.results[0].reason, "1,500 of 1,503 points stored; the rest lay in sparse cells");
    EXPECT_EQ(QDir(dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden), QStringList());
}

TEST(Driver, LasNamesGoToTheLasReader)
{
    QTemporaryDir dir;
    const QString upper = dir.filePath("SCAN.LAS");
    const QString blas = dir.filePath("x.blas");
    writeFile(upper, "not a LAS file at all");
    writeFile(blas, "not a LAS file either");
    const ConversionRun run = runConversion({upper, blas});
    ASSERT_EQ(run.results.size(), 2u);
    EXPECT_TRUE(run.skipped.isEmpty());
    for (const FileResult& r : run.results) {
        EXPECT_FALSE(r.converted);
        EXPECT_FALSE(r.reason.isEmpty());
    }
    // The LAS reader announces itself with its own prompt.
    EXPECT_EQ(run.prompts.count("reading:"), 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("SCAN.ilas")));
    EXPECT_FALSE(QFile::exists(dir.filePath("x.ilas")));
}

TEST(Driver, StopLeavesNoOutputAndReportsIncomplete)
{
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 3; ++i) {
        files << dir.filePath(QString("f%1.xyz").arg(i));
        writeFile(files.back(), denseXyz());
    }
    RunOptions options;
    options.stopRightAfterStart = true;
    const ConversionRun run = runConversion(files, options);
    EXPECT_EQ(run.finishCount, 1);
    EXPECT_FALSE(run.complete);
    EXPECT_LT(run.results.size(), 3u) << "later files are not started";
    for (const FileResult& r : run.results) {
        if (!r.converted) {
            EXPECT_EQ(outputsLeftFor(r.path), QStringList()) << r.path.toStdString();
        }
    }

}

TEST(Driver, SameObjectRunsAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("again.xyz");
    writeFile(path, denseXyz());
    FastConvertor convertor;
    convertor.setHandOffPauses(2, 5);
    int finished = 0;
    QObject::connect(&convertor, &FastConvertor::finish, &convertor,
                     [&](bool complete, const QString&) { finished += complete ? 1 : 0; },
                     Qt::DirectConnection);
    convertor.files = QStringList{path};
    convertor.start();
    convertor.wait();
    convertor.files = QStringList{path, dir.filePath("missing.xyz")};
    convertor.start();
    convertor.wait();
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(convertor.failures().size(), 1) << "failures are those of the last run";
    EXPECT_EQ(readIlas(dir.filePath("again.ilas")).problem, "");
}

TEST(Driver, StopRequestAtTheEndOfARunDoesNotStopTheNext)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("late.xyz");
    writeFile(path, denseXyz());
    FastConvertor convertor;
    convertor.setHandOffPauses(2, 5);
    std::vector<bool> completes;
    // finish is emitted by the driver thread itself, while the thread still
    // counts as running: the latest moment a stop request can arrive.
    QObject::connect(&convertor, &FastConvertor::finish, &convertor,
                     [&](bool complete, const QString&) {
                         completes.push_back(complete);
                         convertor.requestStop();
                     },
                     Qt::DirectConnection);
    convertor.files = QStringList{path};
    convertor.start();
    convertor.wait();
    QFile::remove(path.left(path.size() - 3) + "ilas");
    convertor.start();
    convertor.wait();
    EXPECT_EQ(completes, (std::vector<bool>{true, true}));
    EXPECT_EQ(readIlas(dir.filePath("late.ilas")).problem, "");
}

TEST(Driver, EmptyListStillEndsWithSummaryAndFinish)
{
    const ConversionRun run = runConversion({});
    EXPECT_TRUE(run.tasks.empty());
    EXPECT_EQ(run.driverPercents, std::vector<double>{100.0});
    EXPECT_EQ(run.summary, "0s\n");
    EXPECT_EQ(run.finishCount, 1);
    EXPECT_TRUE(run.complete);
}

TEST(Driver, LaterFilesOfARunReuseBuffersWithoutCarryingPointsOver)
{
    // Buffers of a million points are kept from one file of a run for the
    // next, still holding the earlier file's points. A smaller second file
    // must come out exactly as it does in a run of its own.
    QTemporaryDir dir;
    QByteArray large = "0,0,0\n";
    for (int i = 0; i < 30000; ++i)
        large += QByteArray::number(i % 97) + "," + QByteArray::number(i % 89) + "," + QByteArray::number(i % 7) + "\n";
    writeFile(dir.filePath("large.xyz"), large);
    writeFile(dir.filePath("small.xyz"), denseXyz());
    RunOptions options;
    options.bufferCapacity = 1 << 20;
    ASSERT_TRUE(runConversion({dir.filePath("small.xyz")}, options).results.at(0).converted);
    QFile alone(dir.filePath("small.ilas"));
    ASSERT_TRUE(alone.open(QIODevice::ReadOnly));
    QByteArray expected = alone.readAll();
    alone.close();

    const ConversionRun run =
        runConversion({dir.filePath("large.xyz"), dir.filePath("small.xyz"), dir.filePath("large.xyz")}, options);
    ASSERT_EQ(run.results.size(), 3u);
    for (const FileResult& result : run.results)
        EXPECT_TRUE(result.converted) << result.reason.toStdString();
    QFile second(dir.filePath("small.ilas"));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    QByteArray actual = second.readAll();
    ASSERT_EQ(actual.size(), expected.size());
    // The creation time is the only difference allowed.
    actual.replace(146, 63, QByteArray(63, '\0'));
    expected.replace(146, 63, QByteArray(63, '\0'));
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(readIlas(dir.filePath("large.ilas")).problem, "");
}

TEST(Driver, TextProgressIsTheShareOfBytesReadFromZeroToHundred)
{
    // Two text files of several read chunks each: their point count is not
    // known, so each shows how much of it has been read.
    QTemporaryDir dir;
    const QString a = dir.filePath("a.xyz");
    const QString b = dir.filePath("b.pts");
    QByteArray lines;
    for (int i = 0; i < 10000; ++i)
        lines += QByteArray::number(i % 500 * 0.04) + " " + QByteArray::number(i / 500 * 0.04) + " 1.25\n";
    const QByteArray text = "0 0 0\n" + lines.repeated(300); // about 45 MB
    writeFile(a, text);
    writeFile(b, text);
    const ConversionRun run = runConversion({a, b});
    ASSERT_EQ(run.results.size(), 2u);
    ASSERT_TRUE(run.results[0].converted && run.results[1].converted);

    // Per file: -1, then 0, rising values, 100; then the driver's final 100.
    std::vector<std::vector<double>> files;
    for (const double value : run.percents) {
        if (value < 0)
            files.emplace_back();
        else if (!files.empty())
            files.back().push_back(value);
    }
    ASSERT_EQ(files.size(), 2u);
    files.back().pop_back(); // the driver's own 100 after the list
    for (const std::vector<double>& values : files) {
        ASSERT_GE(values.size(), 5u) << "steady, not a jump from 0 to 100";
        EXPECT_EQ(values.front(), 0.0);
        EXPECT_EQ(values.back(), 100.0);
        for (std::size_t i = 1; i < values.size(); ++i)
            EXPECT_GT(values[i], values[i - 1]);
        for (const double value : values) {
            const QString shown = QStringLiteral("%1%").arg(value); // as the window shows it
            EXPECT_FALSE(shown.contains('e')) << shown.toStdString();
        }
    }
}

#ifndef _WIN32
TEST(Driver, PipesUnderPointCloudNamesAreRefusedWithoutBlocking)
{
    // Opening a pipe for reading waits for a writer that never comes.
    QTemporaryDir dir;
    QStringList files;
    for (const char* name : {"pipe.las", "pipe.laz", "pipe.e57", "pipe.xyz", "pipe.pcd", "pipe.ply"}) {
        files << dir.filePath(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(files.back()).constData(), 0600), 0);
    }
    const ConversionRun run = runConversion(files);
    ASSERT_EQ(run.results.size(), static_cast<std::size_t>(files.size()));
    for (const FileResult& r : run.results) {
        EXPECT_FALSE(r.converted) << r.path.toStdString();
        EXPECT_TRUE(r.reason.contains("not a regular file")) << r.path.toStdString() << ": " << r.reason.toStdString();
        EXPECT_EQ(outputsLeftFor(r.path), QStringList()) << r.path.toStdString();
    }
}
#endif

TEST(Driver, CompleteConversionRemovesTheStalePartialFile)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("site.xyz");
    writeFile(dir.filePath("site.partial.ilas"), "points of a run that broke off");
    // A failed run keeps it: it may be all the user has.
    writeFile(input, "no numbers\n");
    runConversion({input});
    EXPECT_TRUE(QFile::exists(dir.filePath("site.partial.ilas")));

    writeFile(input, denseXyz());
    const ConversionRun run = runConversion({input});
    ASSERT_EQ(run.results.size(), 1u);
    EXPECT_TRUE(run.results[0].converted);
    EXPECT_EQ(readIlas(dir.filePath("site.ilas")).problem, "");
    EXPECT_FALSE(QFile::exists(dir.filePath("site.partial.ilas")));
    EXPECT_TRUE(run.results[0].reason.contains("removed site.partial.ilas")) << run.results[0].reason.toStdString();
}

// Converts `input` alone and calls `change` once, on the driver's thread, at
// the first progress report between 0 and 100 %: while the reader is between
// two batches.
nimbus::ConversionResult convertChangingOnce(const QString& input, const std::function<void()>& change)
{
    FastConvertor convertor;
    convertor.files = QStringList{input};
    convertor.setHandOffPauses(2, 5);
    bool changed = false;
    QObject::connect(&convertor, &FastConvertor::updatePercent_signal, &convertor, [&](double percent) {
        if (changed || percent <= 0.0 || percent >= 100.0)
            return;
        changed = true;
        change();
    }, Qt::DirectConnection);
    nimbus::ConversionResult result;
    QObject::connect(&convertor, &FastConvertor::fileResult, &convertor,
                     [&](const nimbus::ConversionResult& r) { result = r; }, Qt::DirectConnection);
    convertor.start();
    EXPECT_TRUE(convertor.wait(120000));
    EXPECT_TRUE(changed) << "the input was never changed";
    return result;
}

TEST(Driver, InputCutOrReplacedWhileReadFailsAndKeepsItsPointsApart)
{
    // 12 MB of lines: the text reader takes them in two chunks; between them
    // the file is cut to 30 % or replaced by another one.
    QByteArray text = "1000,2000,30\n";
    for (int i = 0; text.size() < 12 << 20; ++i)
        text += QByteArray::number(1000 + i % 97 * 0.25) + "," + QByteArray::number(2000 + i / 97 % 89 * 0.25) + ","
            + QByteArray::number(30 + i % 7 * 0.5) + "\n";
    // 1,500,000 binary PCD points: the reader reports after its first
    // 1,048,576.
    QByteArray pcd = "VERSION .7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 1500000\nHEIGHT 1\n"
                     "VIEWPOINT 0 0 0 1 0 0 0\nPOINTS 1500000\nDATA binary\n";
    for (int i = 0; i < 1500000; ++i) {
        const float xyz[3] = {float(i % 97) * 0.25f, float(i / 97 % 89) * 0.25f, float(i % 7) * 0.5f};
        pcd.append(reinterpret_cast<const char*>(xyz), sizeof xyz);
    }
    struct Case {
        const char* name;
        const QByteArray* bytes;
        bool replace;
        const char* reason;
    } cases[] = {{"cloud.xyz", &text, false, "shrank"},
                 {"cloud.xyz", &text, true, "replaced"},
                 {"cloud.pcd", &pcd, false, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.replace ? " replaced" : " cut"));
        QTemporaryDir dir;
        const QString input = dir.filePath(c.name);
        writeFile(input, *c.bytes);
        writeFile(dir.filePath("other"), *c.bytes);
        writeFile(dir.filePath("cloud.ilas"), "an earlier good output");
        std::error_code renameError;
        const nimbus::ConversionResult r = convertChangingOnce(input, [&] {
            if (c.replace)
                std::filesystem::rename(QFile::encodeName(dir.filePath("other")).constData(),
                                        QFile::encodeName(input).constData(), renameError);
            else
                QFile::resize(input, c.bytes->size() * 3 / 10);
        });
#ifdef _WIN32
        // Windows refuses to replace a file another program holds open, so
        // the input stays whole and converts.
        if (c.replace) {
            EXPECT_TRUE(renameError);
            EXPECT_EQ(r.status, nimbus::ConversionResult::Status::Converted) << r.reason.toStdString();
            continue;
        }
#endif
        ASSERT_FALSE(renameError) << renameError.message();
        EXPECT_EQ(r.status, nimbus::ConversionResult::Status::Failed);
        EXPECT_TRUE(r.reason.contains(c.reason)) << r.reason.toStdString();
        EXPECT_TRUE(r.partial);
        EXPECT_EQ(readIlas(dir.filePath("cloud.partial.ilas")).problem, "");
        QFile earlier(dir.filePath("cloud.ilas"));
        ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
        EXPECT_EQ(earlier.readAll(), "an earlier good output");
    }
}
