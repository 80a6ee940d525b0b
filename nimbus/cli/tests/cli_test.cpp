// The headless converter as a user runs it: arguments, exit status and the
// lines it prints.

#include "consolereport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <memory>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/file.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome runTool(const QStringList& arguments, const QString& workingDirectory = QString())
{
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(NIMBUSCONVERT_PATH), arguments);
    Outcome o;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return o;
    o.exitCode = process.exitCode();
    o.out = QString::fromUtf8(process.readAllStandardOutput());
    o.err = QString::fromUtf8(process.readAllStandardError());
#ifdef Q_OS_WIN
    // Text-mode streams end lines with CRLF on Windows.
    o.out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    o.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    return o;
}

void write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// 100 points in one dense cell; the first, (10, 20, 30), is the origin.
QByteArray denseXyz()
{
    QByteArray text;
    for (int i = 0; i < 100; ++i)
        text += QByteArray::number(10 + i % 10 * 0.1) + "," + QByteArray::number(20 + i / 10 * 0.1) + ",30\n";
    return text;
}

// Points spread over 400 m x 400 m, many to a 20 m cell: one block per cell.
QByteArray widespreadXyz(int points)
{
    QByteArray text;
    text.reserve(points * 16);
    for (int i = 0; i < points; ++i)
        text += QByteArray::number(i % 400 + (i / 160000 % 10) * 0.05) + " " + QByteArray::number(i / 400 % 400)
            + " 7\n";
    return text;
}

QStringList progressLines(const QString& err)
{
    QStringList lines;
    for (const QString& line : err.split('\n'))
        if (line.startsWith("  "))
            lines << line;
    return lines;
}

QByteArray readAll(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, static_cast<int>(n));
    return bytes;
}

} // namespace

TEST(ConsoleReport, ProgressIsPrintedOnlyWhenItsTextChangesAndNotTooOften)
{
    for (const bool terminal : {true, false}) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
        ASSERT_TRUE(file);
        nimbus::ConsoleReport report(file.get(), terminal);
        report.task(1, 1, "/data/cloud.xyz");
        report.prompt("converting:");
        QElapsedTimer busy;
        busy.start();
        // A converter reporting once per block, mostly the same value.
        for (int i = 0; i < 20000; ++i)
            report.percent(12.34);
        // Values that change faster than anyone can read.
        for (int i = 0; i < 20000; ++i)
            report.percent(12.4 + i * 0.001);
        const qint64 least = terminal ? nimbus::ConsoleReport::kTerminalRedrawMs
                                      : nimbus::ConsoleReport::kPlainLineMs;
        const int allowed = static_cast<int>(busy.elapsed() / least) + 2;
        QThread::msleep(nimbus::ConsoleReport::kPlainLineMs + 50);
        report.percent(50.0);
        report.percent(50.0);
        report.converted("/data/cloud.xyz", "/data/cloud.ilas", QString());
        const QByteArray bytes = readAll(file.get());
        const QString text = QString::fromUtf8(bytes);
        EXPECT_EQ(text.count("50.0%"), 1) << terminal << "\n" << text.toStdString();
        EXPECT_LE(text.count("%"), allowed) << terminal << "\n" << text.toStdString();
        EXPECT_LT(bytes.size(), 300 + allowed * 100) << terminal;
        EXPECT_TRUE(text.contains("converted: /data/cloud.xyz -> /data/cloud.ilas\n"));
        if (!terminal) {
            // A plain line carries its prompt and number together.
            EXPECT_TRUE(text.startsWith("[1/1] /data/cloud.xyz\n  converting: 12.3%\n")) << text.toStdString();
            EXPECT_FALSE(text.contains("  converting:\n")) << text.toStdString();
            EXPECT_TRUE(text.contains("\n  converting: 50.0%\n")) << text.toStdString();
        } else {
            EXPECT_TRUE(text.contains("[1/1] converting: cloud.xyz 50.0%")) << text.toStdString();
        }
    }
}

TEST(ConsoleReport, LatestProgressIsShownBeforeTheResult)
{
    for (const bool terminal : {true, false}) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
        ASSERT_TRUE(file);
        nimbus::ConsoleReport report(file.get(), terminal);
        report.task(2, 1, "/data/a.las");
        report.prompt("writing:"); // no number yet: a plain log waits for one
        report.percent(10.0);
        // Within the rate limit: held back until the file ends.
        report.percent(65.0);
        report.percent(100.0);
        report.converted("/data/a.las", "/data/a.ilas", QString());
        report.task(2, 2, "/data/b.las");
        report.prompt("writing:");
        report.percent(5.0);
        report.percent(100.0);
        report.failed("/data/b.las", "stopped by the user");
        report.percent(100.0); // the driver's last: already on show, not repeated
        report.summary("用时 1 秒\n");
        const QString text = QString::fromUtf8(readAll(file.get()));
        const int a = text.indexOf("converted: /data/a.las");
        const int b = text.indexOf("failed: /data/b.las");
        ASSERT_GE(a, 0) << text.toStdString();
        ASSERT_GT(b, a) << text.toStdString();
        EXPECT_EQ(text.count("100.0%"), 2) << terminal << "\n" << text.toStdString();
        EXPECT_GT(text.indexOf("100.0%"), text.indexOf("10.0%")) << text.toStdString();
        EXPECT_LT(text.indexOf("100.0%"), a) << text.toStdString();
        EXPECT_GT(text.lastIndexOf("100.0%"), a) << text.toStdString();
        EXPECT_LT(text.lastIndexOf("100.0%"), b) << text.toStdString();
        EXPECT_FALSE(text.contains("65.0%")) << "a value overtaken while held back is not shown";
        if (!terminal) {
            EXPECT_FALSE(text.contains(QRegularExpression("^  writing:$", QRegularExpression::MultilineOption)))
                << text.toStdString();
            EXPECT_TRUE(text.contains("\n  writing: 100.0%\nconverted: /data/a.las")) << text.toStdString();
        }
        EXPECT_TRUE(text.endsWith("elapsed: 用时 1 秒\n")) << text.toStdString();
    }
}

TEST(ConsoleReport, NoPercentageFollowsTheResultLines)
{
    for (const bool terminal : {true, false}) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
        ASSERT_TRUE(file);
        nimbus::ConsoleReport report(file.get(), terminal);
        report.task(1, 1, "/data/c.las");
        report.prompt("writing:");
        report.percent(90.0);
        report.converted("/data/c.las", "/data/c.ilas", QString());
        report.percent(100.0); // the driver's, after the last file: old news
        report.summary("1s\n");
        const QString text = QString::fromUtf8(readAll(file.get()));
        EXPECT_FALSE(text.contains("100.0%")) << text.toStdString();
        if (!terminal) {
            EXPECT_TRUE(text.endsWith("\n  writing: 90.0%\nconverted: /data/c.las -> /data/c.ilas\nelapsed: 1s\n"))
                << text.toStdString();
        }
    }
}

TEST(NimbusConvert, HelpAndUsageErrors)
{
    const Outcome help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: nimbusconvert")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("Exit status")) << "the help explains the exit codes";
    EXPECT_TRUE(help.out.contains("(partial output kept: OUTPUT)")) << "failures may keep points";
    EXPECT_TRUE(help.out.contains("SIGTERM"));

    const Outcome none = runTool({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.err.contains("no input files"));

    const Outcome unknown = runTool({"--fast", "a.xyz"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains("unknown option --fast"));
}

TEST(NimbusConvert, AllConvertedExitsZero)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.xyz");
    const QString b = dir.filePath("b.b.xyz");
    write(a, denseXyz());
    write(b, denseXyz() + "not a point\n");
    const Outcome o = runTool({a, b});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("converted: " + a + " -> " + QDir::toNativeSeparators(dir.filePath("a.ilas"))))
        << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("converted: " + b + " -> " + QDir::toNativeSeparators(dir.filePath("b.b.ilas"))));
    EXPECT_TRUE(o.err.contains("note: " + b + ": 1 lines")) << o.err.toStdString();
    // Not a terminal: plain progress lines, then the elapsed time last.
    EXPECT_TRUE(o.err.contains("[1/2] " + a));
    EXPECT_TRUE(o.err.contains("[2/2] " + b));
    const QStringList lines = o.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith("elapsed: ")) << lines.last().toStdString();
    EXPECT_TRUE(lines.last().endsWith("s"));

    QFile output(dir.filePath("a.ilas"));
    ASSERT_TRUE(output.open(QIODevice::ReadOnly));
    const QByteArray bytes = output.readAll();
    ASSERT_GE(bytes.size(), 216);
    EXPECT_EQ(bytes.mid(96, 19), QByteArray("Quillfen-ilas-v2.1\0", 19));
}

TEST(NimbusConvert, FailedAndSkippedFilesExitOne)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.xyz");
    const QString missing = dir.filePath("missing.pts");
    const QString notes = dir.filePath("notes.txt");
    const QString bad = dir.filePath("bad.pcd");
    write(good, denseXyz());
    write(notes, "hello\n");
    write(bad, "this is no point cloud\n");
    const Outcome o = runTool({good, missing, notes, bad});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.err.contains("converted: " + good + " -> "));
    EXPECT_TRUE(o.err.contains("failed: " + missing + ": cannot open")) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("skipped: " + notes + ": unsupported file type"));
    EXPECT_TRUE(o.err.contains("failed: " + bad + ": not a PCD file")) << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.ilas")));
    EXPECT_FALSE(QFile::exists(dir.filePath("bad.ilas")));
    EXPECT_TRUE(QFile::exists(dir.filePath("good.ilas")));

    // Only skipped files: still not a success.
    EXPECT_EQ(runTool({notes}).exitCode, 1);
}

TEST(NimbusConvert, DoubleDashEndsOptions)
{
    QTemporaryDir dir;
    const QString dashed = dir.filePath("-points.xyz");
    write(dashed, denseXyz());
    const Outcome o = runTool({"--", "-points.xyz"}, dir.path());
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("-points.ilas")));
}

TEST(NimbusConvert, ManyBlocksGiveFewProgressLines)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("wide.xyz");
    write(input, widespreadXyz(160000));
    const Outcome o = runTool({input});
    ASSERT_EQ(o.exitCode, 0) << o.err.toStdString();
    const QStringList lines = progressLines(o.err);
    // A prompt line or two, then at most about one percent line a second.
    EXPECT_LE(lines.size(), 12) << o.err.toStdString();
    for (int i = 1; i < lines.size(); ++i)
        EXPECT_NE(lines[i], lines[i - 1]) << o.err.toStdString();
    EXPECT_LT(o.err.size(), 2000) << o.err.toStdString();
}

TEST(NimbusConvert, BrokenOffLasKeepsItsPointsAndSaysSo)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("clipped.las");
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/las/pdal/1.2-with-color-clipped.las"),
                            input));
    const Outcome o = runTool({input});
    EXPECT_EQ(o.exitCode, 1);
    const QString output = QDir::toNativeSeparators(dir.filePath("clipped.partial.ilas"));
    EXPECT_TRUE(o.err.contains(QRegularExpression(
        "failed: " + QRegularExpression::escape(input) + ": [^\n]+ \\(partial output kept: "
        + QRegularExpression::escape(output) + "\\)\n")))
        << o.err.toStdString();
    EXPECT_TRUE(QFile::exists(output));

    // A failure that leaves nothing behind says nothing of an output.
    const QString bad = dir.filePath("bad.xyz");
    write(bad, "no numbers here\n");
    const Outcome plain = runTool({bad});
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_TRUE(plain.err.contains("failed: " + bad + ": ")) << plain.err.toStdString();
    EXPECT_FALSE(plain.err.contains("partial output")) << plain.err.toStdString();
}

#ifndef Q_OS_WIN
TEST(NimbusConvert, TerminateAndHangUpStopLikeCtrlC)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("big.xyz");
    // About 50 MB: the conversion is still running when the signal arrives.
    write(input, widespreadXyz(400000).repeated(8));
    const QString output = dir.filePath("big.ilas");
    // An earlier result of the same name outlives a stopped rewrite.
    write(output, "an earlier conversion");
    const auto partFiles = [&] {
        return QDir(dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden);
    };
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        QProcess process;
        process.start(QStringLiteral(NIMBUSCONVERT_PATH), {input});
        ASSERT_TRUE(process.waitForStarted(10000));
        QElapsedTimer timer;
        timer.start();
        // The new file is written under a name of its own until complete.
        while (partFiles().isEmpty() && process.state() == QProcess::Running && timer.elapsed() < 30000)
            QThread::usleep(200);
        ASSERT_EQ(partFiles().size(), 1) << "the conversion began";
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), signal), 0);
        ASSERT_TRUE(process.waitForFinished(30000)) << signal;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(process.exitCode(), 128 + signal);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_TRUE(err.contains("failed: " + input + ": stopped by the user")) << signal << err.toStdString();
        EXPECT_TRUE(err.endsWith("interrupted\n")) << signal << err.toStdString();
        QFile earlier(output);
        ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
        EXPECT_EQ(earlier.readAll(), QByteArray("an earlier conversion")) << signal;
        EXPECT_EQ(partFiles(), QStringList()) << signal;
    }
}
#endif

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString testData(const char* relative)
{
    return QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/") + QLatin1String(relative);
}

} // namespace

TEST(NimbusConvert, EarlierOutputSurvivesEveryFailure)
{
    QTemporaryDir dir;
    const QByteArray simple = fileBytes(testData("las/laspy/simple.las"));
    const QByteArray laz = fileBytes(testData("las/laz-perf/autzen_trim.laz"));
    QByteArray pastEnd = simple;
    const quint32 beyond = static_cast<quint32>(simple.size() + 1000);
    std::memcpy(pastEnd.data() + 96, &beyond, 4); // offset to point data
    quint32 lazData;
    std::memcpy(&lazData, laz.constData() + 96, 4);
    // Inputs that give no point at all, and one that breaks off after 1,064.
    const QList<QPair<QString, QByteArray>> inputs = {
        {"headeronly.las", simple.left(227)},
        {"nopoints.las", fileBytes(testData("las/pdal/permutations/1.2-no-points.las"))},
        {"pastend.las", pastEnd},
        {"firstchunk.laz", laz.left(static_cast<int>(lazData) + 8)}, // its chunk is missing
        {"clipped.las", fileBytes(testData("las/pdal/1.2-with-color-clipped.las"))},
    };
    QStringList paths;
    for (const auto& input : inputs) {
        paths << dir.filePath(input.first);
        write(paths.last(), input.second);
        write(dir.filePath(QFileInfo(input.first).completeBaseName() + ".ilas"), "earlier " + input.first.toUtf8());
    }
    const Outcome o = runTool(paths);
    EXPECT_EQ(o.exitCode, 1);
    for (const auto& input : inputs) {
        const QString base = dir.filePath(QFileInfo(input.first).completeBaseName());
        EXPECT_EQ(fileBytes(base + ".ilas"), "earlier " + input.first.toUtf8());
        EXPECT_TRUE(o.err.contains("failed: " + dir.filePath(input.first) + ": ")) << o.err.toStdString();
        EXPECT_EQ(QFile::exists(base + ".partial.ilas"), input.first == "clipped.las") << input.first.toStdString();
    }
    const QString partial = QDir::toNativeSeparators(dir.filePath("clipped.partial.ilas"));
    EXPECT_TRUE(o.err.contains("(partial output kept: " + partial + ")\n")) << o.err.toStdString();
    EXPECT_EQ(fileBytes(partial).mid(96, 19), QByteArray("Quillfen-ilas-v2.1\0", 19));
    EXPECT_EQ(QDir(dir.path()).entryList({"*.part"}, QDir::Files | QDir::Hidden), QStringList());
}

TEST(NimbusConvert, FileWithoutStoredPointsSaysSoOnItsResultLine)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("simple.las");
    write(input, fileBytes(testData("las/laspy/simple.las")));
    const Outcome o = runTool({input});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    const QString output = QDir::toNativeSeparators(dir.filePath("simple.ilas"));
    EXPECT_TRUE(o.err.contains("converted: " + input + " -> " + output
                               + " \u2014 no point stored: every cell held fewer than 10 points\n"))
        << o.err.toStdString();
    EXPECT_EQ(QFileInfo(output).size(), 216);
}

#ifndef Q_OS_WIN
TEST(NimbusConvert, AbandonedPartFilesAreRemovedLiveOnesKept)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("a.xyz");
    write(input, denseXyz());
    const QString dead1 = dir.filePath("a.ilas.Ab12Cd.part");
    const QString dead2 = dir.filePath("a.ilas.Xy34Zw.part");
    const QString live = dir.filePath("a.ilas.Li5eRn.part");
    const QString other = dir.filePath("b.ilas.Ot6Her.part");
    for (const QString& path : {dead1, dead2, live, other})
        write(path, "unfinished");
    // A run still writing holds its file's lock.
    QFile held(live);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    ASSERT_EQ(::flock(held.handle(), LOCK_EX | LOCK_NB), 0);

    const Outcome o = runTool({input, input});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(dead1));
    EXPECT_FALSE(QFile::exists(dead2));
    EXPECT_TRUE(QFile::exists(live));
    EXPECT_TRUE(QFile::exists(other)) << "another output's files are not ours to remove";
    EXPECT_EQ(o.err.count("removed 2 unfinished file(s) left by runs that had ended: "
                          "a.ilas.Ab12Cd.part, a.ilas.Xy34Zw.part"), 1)
        << o.err.toStdString();
    EXPECT_EQ(o.err.count("unfinished"), 1) << o.err.toStdString();
}
#endif

TEST(NimbusConvert, OptionsForScriptsAndFolders)
{
    const Outcome version = runTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(QRegularExpression("^nimbusconvert \\d+\\.\\d+").match(version.out).hasMatch()) << version.out.toStdString();

    QTemporaryDir in, out;
    const QString a = in.filePath("b.xyz"), b = in.filePath("a.pts"), c = in.filePath("c.xyz");
    write(a, denseXyz());
    // A PTS file without a count line gives its origin in a line of its own.
    write(b, "10 20 30\n" + denseXyz().replace(',', ' '));
    write(c, "no numbers\n");
    write(in.filePath("notes.txt"), "hello\n");
    write(in.filePath("old.ilas"), "an ilas file is no input");
    QDir(in.path()).mkdir("sub");
    write(in.filePath("sub/d.xyz"), denseXyz());

    // Two inputs that would share a name in the output folder: nothing is done.
    write(in.filePath("sub/b.xyz"), denseXyz());
    const Outcome clash = runTool({"-o", out.path(), a, in.filePath("sub/b.xyz")});
    EXPECT_EQ(clash.exitCode, 2);
    EXPECT_TRUE(clash.err.contains("would both be written to")) << clash.err.toStdString();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList());
    EXPECT_EQ(runTool({"--output-dir", in.filePath("none"), a}).exitCode, 2);

    // A folder converts its supported files in name order, into the output
    // folder; one JSON object per file on standard output.
    const Outcome json = runTool({"--json", "--output-dir=" + out.path(), in.path()});
    EXPECT_EQ(json.exitCode, 1) << json.err.toStdString();
    const QStringList lines = json.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << json.out.toStdString();
    const QStringList inputs = {b, a, c};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject object = QJsonDocument::fromJson(lines[i].toUtf8()).object();
        EXPECT_EQ(object.value("input").toString(), QDir(in.path()).filePath(QFileInfo(inputs[i]).fileName()));
        EXPECT_TRUE(object.value("seconds").isDouble());
        EXPECT_TRUE(object.value("notes").isArray());
        if (i < 2) {
            EXPECT_EQ(object.value("status").toString(), "converted");
            EXPECT_EQ(object.value("output").toString(),
                      QDir::toNativeSeparators(out.filePath(QFileInfo(inputs[i]).completeBaseName() + ".ilas")));
            EXPECT_EQ(object.value("points_read").toInt(), 100);
            EXPECT_EQ(object.value("points_stored").toInt(), 100);
        } else {
            EXPECT_EQ(object.value("status").toString(), "failed");
            EXPECT_TRUE(object.value("output").isNull());
            EXPECT_FALSE(object.value("reason").toString().isEmpty());
        }
    }
    EXPECT_FALSE(QFile::exists(in.filePath("b.ilas")));
    EXPECT_FALSE(QFile::exists(out.filePath("d.ilas")));

    // Quiet: failures only. No overwrite: an existing output is kept.
    write(out.filePath("b.ilas"), "kept as it was");
    const Outcome quiet = runTool({"-q", "--no-overwrite", "-o", out.path(), a, b, c});
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_EQ(quiet.err, "failed: " + c + ": no line holds three numbers\n");
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(fileBytes(out.filePath("b.ilas")), "kept as it was");
    const Outcome kept = runTool({"--no-overwrite", "-o", out.path(), a});
    EXPECT_EQ(kept.exitCode, 0);
    EXPECT_TRUE(kept.err.contains("kept: " + a + ": ")) << kept.err.toStdString();
}

TEST(NimbusConvert, TwoInputsForOneOutputAreRefusedBeforeAnyConversion)
{
    QTemporaryDir dir;
    const QString pts = dir.filePath("a.pts"), xyz = dir.filePath("a.xyz");
    write(pts, denseXyz().replace(',', ' '));
    write(xyz, denseXyz());
    write(dir.filePath("a.ilas"), "an earlier output");
    // Named one by one, and as the folder holding them.
    for (const QStringList& arguments : {QStringList{pts, xyz}, QStringList{dir.path()}}) {
        const Outcome o = runTool(arguments);
        EXPECT_EQ(o.exitCode, 2) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains(pts) && o.err.contains(xyz)) << o.err.toStdString();
        EXPECT_TRUE(o.err.contains("nothing was converted")) << o.err.toStdString();
        EXPECT_EQ(fileBytes(dir.filePath("a.ilas")), "an earlier output");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
                  QStringList({"a.ilas", "a.pts", "a.xyz"}));
    }
}

TEST(NimbusConvert, MinCellPointsOneKeepsEveryPointOfASparseFile)
{
    // simple.las spreads its 1,065 points so thinly that no 20-unit cell
    // holds ten of them.
    QTemporaryDir dir;
    const QString input = dir.filePath("simple.las");
    write(input, fileBytes(testData("las/laspy/simple.las")));
    Outcome o = runTool({"--json", "--min-cell-points", "1", input});
    EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains("\"points_read\":1065,\"points_stored\":1065")) << o.out.toStdString();
    EXPECT_EQ(fileBytes(dir.filePath("simple.ilas")).mid(96, 19), QByteArray("Quillfen-ilas-v2.1\0", 19));
    // The console speaks English only, its progress labels included, and
    // its last lines are the result and the time.
    EXPECT_FALSE(o.err.contains(QRegularExpression("[\\x{3000}-\\x{9fff}]"))) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains("  reading: ")) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains(QRegularExpression("\nconverted: [^\n]*\nelapsed: [^\n]*\n$"))) << o.err.toStdString();

    // Another minimum is named where the points went missing.
    o = runTool({"--min-cell-points=400", input});
    EXPECT_TRUE(o.err.contains("no point stored: every cell held fewer than 400 points")) << o.err.toStdString();

    for (const char* bad : {"0", "-3", "ten", "500001"}) {
        o = runTool({"--min-cell-points", bad, input});
        EXPECT_EQ(o.exitCode, 2) << bad;
        EXPECT_TRUE(o.err.contains("--min-cell-points needs a whole number")) << o.err.toStdString();
    }
    EXPECT_EQ(runTool({input, "--min-cell-points"}).exitCode, 2);
}
