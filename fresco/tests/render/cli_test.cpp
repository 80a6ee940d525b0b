// fresco-render: its command line, its console output, and whole runs of the
// built program on generated tile sets.
#include "render_support.h"
#include "tilesetgenerator.h"

#include "../../cli/progressprinter.h"
#include "../../cli/renderoptions.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#ifdef _WIN32
#include "../../cli/stopsignals.h"

#include <thread>

#define NOMINMAX
#include <windows.h>
#endif

using namespace fresco::cli;
using namespace fresco::testing;

namespace {

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(out()));
    }
    QString out() const { return dir.path() + QStringLiteral("/out"); }
    QString root(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    QTemporaryDir dir;
};

struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ProgramRun runProgram(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(FRESCO_RENDER_PROGRAM), arguments);
    ProgramRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
#ifdef _WIN32
    // The console streams are in text mode there.
    run.out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    run.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    return run;
}

std::string readAll(std::FILE *file)
{
    std::rewind(file);
    std::string text;
    char buffer[256];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, n);
    return text;
}

} // namespace

TEST_F(CliTest, CommandLineIsReadIntoOptionsAndEntries)
{
    ASSERT_TRUE(QDir().mkpath(root("Site_A")));
    const ParsedCommandLine parsed = parseCommandLine(
        {"--resolution", "0.25", "--split=50", "--format", ".img", "--background", "3",
         "--output", out(), root("Site_A"), root("Site_A") + "/"});
    ASSERT_EQ(parsed.outcome, ParsedCommandLine::Outcome::Run) << parsed.error.toStdString();
    EXPECT_DOUBLE_EQ(parsed.options.resolution, 0.25);
    EXPECT_DOUBLE_EQ(parsed.options.splitLen, 50);
    EXPECT_EQ(parsed.options.format, ".img");
    EXPECT_EQ(parsed.options.background, 3);
    EXPECT_EQ(parsed.options.outputFolder, QDir(out()).absolutePath());
    // A folder stands for the root itself, named after it.
    const QString expected = QDir(root("Site_A")).absolutePath() + "/Site_A";
    EXPECT_EQ(parsed.options.entries, QStringList({expected, expected}));

    const ParsedCommandLine defaults = parseCommandLine({"--output", out(), root("Site_A")});
    ASSERT_EQ(defaults.outcome, ParsedCommandLine::Outcome::Run);
    EXPECT_DOUBLE_EQ(defaults.options.resolution, 0.2);
    EXPECT_DOUBLE_EQ(defaults.options.splitLen, 0);
    EXPECT_EQ(defaults.options.format, ".tif");
    EXPECT_EQ(defaults.options.background, 0);

    EXPECT_TRUE(defaults.options.creationOptions.isEmpty());
    EXPECT_FALSE(defaults.options.overviews);
    EXPECT_FALSE(defaults.options.mask);

    const ParsedCommandLine gis = parseCommandLine({"--co", "COMPRESS=DEFLATE", "--co=TILED=YES",
                                                    "--overviews", "--mask", "--output", out(),
                                                    root("Site_A")});
    ASSERT_EQ(gis.outcome, ParsedCommandLine::Outcome::Run) << gis.error.toStdString();
    EXPECT_EQ(gis.options.creationOptions, QStringList({"COMPRESS=DEFLATE", "TILED=YES"}));
    EXPECT_TRUE(gis.options.overviews);
    EXPECT_TRUE(gis.options.mask);

    // GDAL's own spellings, quality options and quiet output.
    const ParsedCommandLine gdal = parseCommandLine(
        {"-co", "COMPRESS=LZW", "-co=PREDICTOR=2", "--format", "img", "--supersample", "3",
         "--tap", "-q", "--output", out(), root("Site_A")});
    ASSERT_EQ(gdal.outcome, ParsedCommandLine::Outcome::Run) << gdal.error.toStdString();
    EXPECT_EQ(gdal.options.creationOptions, QStringList({"COMPRESS=LZW", "PREDICTOR=2"}));
    EXPECT_EQ(gdal.options.format, ".img");
    EXPECT_EQ(gdal.options.supersample, 3);
    EXPECT_TRUE(gdal.options.targetAligned);
    EXPECT_TRUE(gdal.options.quiet);
    EXPECT_EQ(defaults.options.supersample, 1);
    EXPECT_FALSE(defaults.options.targetAligned || defaults.options.quiet);
    EXPECT_EQ(parseCommandLine({"--supersample", "17", "--output", out(), root("Site_A")}).outcome,
              ParsedCommandLine::Outcome::UsageError);
    EXPECT_EQ(parseCommandLine({"-co", "NOEQUALS", "--output", out(), root("Site_A")}).outcome,
              ParsedCommandLine::Outcome::UsageError);

    EXPECT_EQ(parseCommandLine({"--help"}).outcome, ParsedCommandLine::Outcome::Help);
    EXPECT_EQ(parseCommandLine({"--version"}).outcome, ParsedCommandLine::Outcome::Version);
    EXPECT_EQ(parseCommandLine({"--output", out(), "-h"}).outcome, ParsedCommandLine::Outcome::Help);
}

TEST_F(CliTest, BadCommandLinesAreUsageErrors)
{
    ASSERT_TRUE(QDir().mkpath(root("Set")));
    const QString set = root("Set");
    const std::vector<QStringList> bad = {
        {},
        {set},                                              // no output
        {"--output", out()},                                // no tile set
        {"--output", root("nowhere"), set},                 // output missing
        {"--output", out(), root("no_such_set")},           // tile set missing
        {"--output", out(), "--resolution", "0", set},
        {"--output", out(), "--resolution", "-1", set},
        {"--output", out(), "--resolution", "abc", set},
        {"--output", out(), "--resolution", "nan", set},
        {"--output", out(), "--split", "-2", set},
        {"--output", out(), "--format", ".png", set},
        {"--output", out(), "--format", ".TIF", set},
        {"--output", out(), "--background", "x", set},
        {"--output", out(), "--colour", "red", set},
        {"--output", out(), set, "--resolution"},           // value missing
        {"--output", out(), "--co", "COMPRESS", set},       // no value
        {"--output", out(), "--co", "=YES", set},           // no name
    };
    for (const QStringList &arguments : bad) {
        const ParsedCommandLine parsed = parseCommandLine(arguments);
        EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::UsageError)
            << arguments.join(' ').toStdString();
        EXPECT_FALSE(parsed.error.isEmpty());
    }
}

TEST(ProgressPrinter, PlainLinesOffATerminalAndABarOnOne)
{
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    ASSERT_TRUE(out && err);
    {
        ProgressPrinter printer(out, err, false, 2);
        printer.percent(0.0f);
        printer.percent(50.0f);
        printer.error(QStringLiteral("read file failed: x.osgb"));
        printer.percent(0.0f);
        printer.finished();
        EXPECT_EQ(printer.errorCount(), 1);
        EXPECT_TRUE(printer.isFinished());
    }
    EXPECT_EQ(readAll(out), "progress set 1/2 0.0%\nprogress set 1/2 50.0%\n"
                            "progress set 2/2 0.0%\ndone\n");
    EXPECT_EQ(readAll(err), "error: read file failed: x.osgb\n");
    std::fclose(out);
    std::fclose(err);

    std::FILE *tty = std::tmpfile();
    ASSERT_TRUE(tty);
    {
        ProgressPrinter printer(tty, tty, true, 1);
        printer.percent(25.0f);
        printer.error(QStringLiteral("oops"));
        printer.finished();
    }
    EXPECT_EQ(readAll(tty), "\r[##########------------------------------]  25.0%  set 1/1\n"
                            "error: oops\n"
                            "\r[########################################] 100.0%  set 1/1\n"
                            "done\n");
    std::fclose(tty);
}

TEST(ProgressPrinter, BarIsCompleteAtTheFinish)
{
    // The library's last value for a set of two tiles is 50; the finish
    // completes the bar in place before "done".
    std::FILE *tty = std::tmpfile();
    ASSERT_TRUE(tty);
    {
        ProgressPrinter printer(tty, tty, true, 2);
        printer.percent(0.0f);
        printer.percent(50.0f);
        printer.percent(0.0f);
        printer.percent(50.0f);
        printer.finished();
    }
    EXPECT_EQ(readAll(tty), "\r[----------------------------------------]   0.0%  set 1/2"
                            "\r[####################--------------------]  50.0%  set 1/2"
                            "\r[----------------------------------------]   0.0%  set 2/2"
                            "\r[####################--------------------]  50.0%  set 2/2"
                            "\r[########################################] 100.0%  set 2/2\n"
                            "done\n");
    std::fclose(tty);
}

TEST_F(CliTest, PiecesBelowOnePixelAreAUsageError)
{
    ASSERT_TRUE(QDir().mkpath(root("Set")));
    const QString set = root("Set");
    for (const QStringList &arguments :
         {QStringList{"--output", out(), "--resolution", "0.2", "--split", "0.1", set},
          QStringList{"--split=0.1", "--output", out(), "--resolution=0.2", set},
          QStringList{"--output", out(), "--split", "0.000001", set}}) {
        const ParsedCommandLine parsed = parseCommandLine(arguments);
        EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::UsageError)
            << arguments.join(' ').toStdString();
        EXPECT_TRUE(parsed.error.contains("less than one pixel")) << parsed.error.toStdString();
    }
    // One pixel wide pieces, and one raster, are fine.
    EXPECT_EQ(parseCommandLine({"--output", out(), "--resolution", "0.2", "--split", "0.2", set})
                  .outcome,
              ParsedCommandLine::Outcome::Run);
    EXPECT_EQ(parseCommandLine({"--output", out(), "--split", "0", set}).outcome,
              ParsedCommandLine::Outcome::Run);

    const ProgramRun run =
        runProgram({"--resolution", "0.2", "--split", "0.1", "--output", out(), set});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("--split 0.1 is less than one pixel at --resolution 0.2"))
        << run.err.toStdString();
}

TEST_F(CliTest, OutputThatIsAFileIsNotCalledMissing)
{
    ASSERT_TRUE(QDir().mkpath(root("Set")));
    QFile file(root("plain.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const ParsedCommandLine parsed = parseCommandLine({"--output", root("plain.txt"), root("Set")});
    EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::UsageError);
    EXPECT_EQ(parsed.error, "--output is not a folder: " + root("plain.txt"));
    const ParsedCommandLine missing = parseCommandLine({"--output", root("none"), root("Set")});
    EXPECT_EQ(missing.error, "output folder does not exist: " + root("none"));
}

TEST_F(CliTest, TileSetsOfOneNameAreRefused)
{
    // a/Production_5 and b/Production_5 would both write Production_5.tif.
    const osg::Vec3d origin(0, 0, 0);
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_1");
    ASSERT_TRUE(writeTileSet(root("a/Production_5"), {tile}, &origin));
    ASSERT_TRUE(writeTileSet(root("b/Production_5"), {tile}, &origin));

    const ParsedCommandLine parsed =
        parseCommandLine({"--output", out(), root("a/Production_5"), root("b/Production_5")});
    EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::UsageError);
    EXPECT_TRUE(parsed.error.contains("named Production_5")) << parsed.error.toStdString();
    EXPECT_TRUE(parsed.error.contains(root("a/Production_5"))) << parsed.error.toStdString();
    EXPECT_TRUE(parsed.error.contains(root("b/Production_5"))) << parsed.error.toStdString();
    // A file inside the root names its rasters after the file.
    const ParsedCommandLine files = parseCommandLine(
        {"--output", out(), root("a/Production_5/metadata.xml"), root("b/Production_5")});
    EXPECT_EQ(files.outcome, ParsedCommandLine::Outcome::Run) << files.error.toStdString();
    const ParsedCommandLine sameName = parseCommandLine(
        {"--output", out(), root("a/Production_5/metadata.xml"), root("b/Production_5/metadata.xml")});
    EXPECT_EQ(sameName.outcome, ParsedCommandLine::Outcome::UsageError);
    // The same set reached by two spellings is no clash.
    const ParsedCommandLine same = parseCommandLine(
        {"--output", out(), root("a/Production_5"), root("b/../a/Production_5/")});
    EXPECT_EQ(same.outcome, ParsedCommandLine::Outcome::Run) << same.error.toStdString();

    const ProgramRun run =
        runProgram({"--output", out(), root("a/Production_5"), root("b/Production_5")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("Production_5")) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out() + "/Production_5.tif"));
}

TEST_F(CliTest, ProgramRendersASetAndReportsByExitStatus)
{
    const osg::Vec3d origin(300, 400, 0);
    GeneratedTile tile;
    tile.name = QStringLiteral("Tile_1");
    tile.xmin = 0, tile.xmax = 10, tile.ymin = 0, tile.ymax = 10;
    ASSERT_TRUE(writeTileSet(root("Farm"), {tile}, &origin));

    ProgramRun run = runProgram({"--resolution", "0.5", "--output", out(), root("Farm")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("progress set 1/1 0.0%"));
    EXPECT_TRUE(run.out.endsWith("written: " + out() + "/Farm.tif\ndone\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    const Raster raster = readRaster(out() + "/Farm.tif");
    ASSERT_TRUE(raster.opened);
    EXPECT_EQ(raster.width, 20);
    EXPECT_DOUBLE_EQ(raster.geoTransform[0], 300);
    EXPECT_DOUBLE_EQ(raster.geoTransform[3], 410);
    EXPECT_EQ(raster.colourAt(302.5, 402.5), tile.quadrants[0]);

    // A tile without its root file: an error text, still "done", exit 1.
    GeneratedTile gone = tile;
    gone.name = QStringLiteral("Tile_2");
    gone.writeRoot = false;
    ASSERT_TRUE(writeTileSet(root("Farm"), {gone}, &origin));
    run = runProgram({"--resolution", "0.5", "--output", out(), root("Farm")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("error: read file failed: ")) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("done"));
    // The partial raster is named; the guard's text adds nothing after the
    // specific error.
    EXPECT_TRUE(run.out.contains("written: " + out() + "/Farm.partial.tif")) << run.out.toStdString();
    EXPECT_FALSE(run.err.contains("unknowed error")) << run.err.toStdString();

    // Quiet: the error alone.
    run = runProgram({"-q", "--resolution", "0.5", "--output", out(), root("Farm")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("error: read file failed: ")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("warning")) << run.err.toStdString();

    // Usage errors name the problem in one line; help and version.
    run = runProgram({"--format", ".png", "--output", out(), root("Farm")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "fresco-render: --format must be .tif or .img: .png; see --help\n");
    run = runProgram({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("fresco-render 1.")) << run.out.toStdString();
    run = runProgram({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains("--resolution R"));
    // The help names the limit of one tile's picture.
    EXPECT_TRUE(run.out.contains("268435456")) << run.out.toStdString();
}

#ifndef _WIN32
TEST_F(CliTest, SignalStopsTheRunAndRemovesUnfinishedFiles)
{
    // Enough tiles that the run is still going when the signal comes.
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Long"), tileGrid(4, 4, 20.0), &origin));
    QProcess process;
    process.start(QStringLiteral(FRESCO_RENDER_PROGRAM),
                  {"--resolution", "0.02", "--output", out(), root("Long")});
    ASSERT_TRUE(process.waitForStarted());
    // The first progress line: the first tile is being rendered.
    while (!process.readAllStandardOutput().contains("progress"))
        ASSERT_TRUE(process.waitForReadyRead(60000));
    process.terminate();  // SIGTERM
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 128 + 15);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_TRUE(err.contains("stopped by signal 15; unfinished rasters removed")) << err.toStdString();
    EXPECT_FALSE(err.contains("error:")) << err.toStdString();
    EXPECT_TRUE(QDir(out()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

#endif

#ifndef _WIN32
TEST_F(CliTest, WithoutADisplayOneLineSaysWhatToDo)
{
    ASSERT_TRUE(writeTileSet(root("Dark"), {GeneratedTile()}, nullptr));
    const QString line = "fresco-render: no OpenGL display: run under a desktop session or xvfb-run\n";
    for (const QString &display : {QString(), QStringLiteral(":9876")}) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (display.isEmpty())
            environment.remove("DISPLAY");
        else
            environment.insert("DISPLAY", display);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(FRESCO_RENDER_PROGRAM), {"--output", out(), root("Dark")});
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_EQ(QString::fromLocal8Bit(process.readAllStandardError()), line)
            << display.toStdString();
    }
}
#else
// The Windows counterpart: a console control event instead of a signal.

// Ctrl+Break as the console delivers it: the registered handler called on a
// thread of its own while a tile is being rendered. (Wine's consoles cannot
// carry an event from a test to the program it started.)
TEST_F(CliTest, CtrlBreakStopsTheJobAfterTheCurrentTileAndLeavesNoFile)
{
    const osg::Vec3d origin(0, 0, 0);
    ASSERT_TRUE(writeTileSet(root("Long"), tileGrid(3, 1, 10.0), &origin));
    Fresco job;
    job.setResolution(0.5);
    installStopSignals(job);
    ASSERT_EQ(stopSignal(), 0);
    JobRecord record;
    job.setPercentCallback([&](float value) {
        record.percents.push_back(value);
        if (record.percents.size() == 2)
            std::thread([] { EXPECT_TRUE(handleConsoleControl(CTRL_BREAK_EVENT)); }).join();
    });
    job.setErrorLog([&](QString text) { record.errors.append(text); });
    job.setFinishCallback([&] { ++record.finishes; });
    job.start({root("Long") + "/Long.osgb"}, out());
    EXPECT_EQ(stopSignal(), 2);
    EXPECT_EQ(record.errors, QStringList{QStringLiteral("stopped")});
    EXPECT_EQ(record.percents.size(), 2u);
    EXPECT_EQ(record.finishes, 0);
    EXPECT_TRUE(QDir(out()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // Events that ask nothing of the program are left to the next handler.
    EXPECT_FALSE(handleConsoleControl(7));
}

#endif
