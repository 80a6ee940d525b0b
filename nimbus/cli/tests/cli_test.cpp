// The headless converter as a user runs it: arguments, exit status and the
// lines it prints.

#include "consolereport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>

#ifndef Q_OS_WIN
#include <csignal>
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
    o.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    o.err = QString::fromLocal8Bit(process.readAllStandardError());
    return o;
}

void write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray denseXyz()
{
    QByteArray text = "10,20,30\n";
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
        report.prompt("转换中:");
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
        const QString text = QString::fromLocal8Bit(bytes);
        EXPECT_EQ(text.count("50.0%"), 1) << terminal << "\n" << text.toStdString();
        EXPECT_LE(text.count("%"), allowed) << terminal << "\n" << text.toStdString();
        EXPECT_LT(bytes.size(), 300 + allowed * 100) << terminal;
        EXPECT_TRUE(text.contains("converted: /data/cloud.xyz -> /data/cloud.ilas\n"));
        if (!terminal) {
            // A plain line carries its prompt and number together.
            EXPECT_TRUE(text.startsWith("[1/1] /data/cloud.xyz\n  转换中: 12.3%\n")) << text.toStdString();
            EXPECT_FALSE(text.contains("  转换中:\n")) << text.toStdString();
            EXPECT_TRUE(text.contains("\n  转换中: 50.0%\n")) << text.toStdString();
        } else {
            EXPECT_TRUE(text.contains("[1/1] 转换中: cloud.xyz 50.0%")) << text.toStdString();
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
        report.prompt("已处理:"); // no number yet: a plain log waits for one
        report.percent(10.0);
        // Within the rate limit: held back until the file ends.
        report.percent(65.0);
        report.percent(100.0);
        report.converted("/data/a.las", "/data/a.ilas", QString());
        report.task(2, 2, "/data/b.las");
        report.prompt("已处理:");
        report.percent(5.0);
        report.percent(100.0);
        report.failed("/data/b.las", "stopped by the user");
        report.percent(100.0); // the driver's last: already on show, not repeated
        report.summary("用时 1 秒\n");
        const QString text = QString::fromLocal8Bit(readAll(file.get()));
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
            EXPECT_FALSE(text.contains(QRegularExpression("^  已处理:$", QRegularExpression::MultilineOption)))
                << text.toStdString();
            EXPECT_TRUE(text.contains("\n  已处理: 100.0%\nconverted: /data/a.las")) << text.toStdString();
        }
        EXPECT_TRUE(text.endsWith("elapsed: 用时 1 秒\n")) << text.toStdString();
    }
}

TEST(ConsoleReport, DriversLastPercentIsShownBeforeTheElapsedTime)
{
    for (const bool terminal : {true, false}) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
        ASSERT_TRUE(file);
        nimbus::ConsoleReport report(file.get(), terminal);
        report.task(1, 1, "/data/c.xyz");
        report.prompt("已处理:");
        report.percent(0.0); // a file of unknown length
        report.converted("/data/c.xyz", "/data/c.ilas", QString());
        report.percent(100.0); // the driver's, after the last file
        report.summary("用时 1 秒\n");
        const QString text = QString::fromLocal8Bit(readAll(file.get()));
        const int converted = text.indexOf("converted: /data/c.xyz");
        const int hundred = text.indexOf("100.0%");
        ASSERT_GE(converted, 0) << text.toStdString();
        EXPECT_GT(hundred, converted) << text.toStdString();
        EXPECT_LT(hundred, text.indexOf("elapsed: ")) << text.toStdString();
        EXPECT_LT(text.indexOf("0.0%"), converted) << text.toStdString();
        if (!terminal) {
            EXPECT_TRUE(text.endsWith("\n  已处理: 100.0%\nelapsed: 用时 1 秒\n")) << text.toStdString();
        }
    }
    // After a file that was stopped the driver's 100 would be a false claim.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(file);
    nimbus::ConsoleReport report(file.get(), false);
    report.task(1, 1, "/data/d.xyz");
    report.prompt("转换中:");
    report.percent(30.0);
    report.failed("/data/d.xyz", "stopped by the user");
    report.percent(100.0);
    report.summary("用时 1 秒\n");
    const QString text = QString::fromLocal8Bit(readAll(file.get()));
    EXPECT_TRUE(text.endsWith("failed: /data/d.xyz: stopped by the user\nelapsed: 用时 1 秒\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("100.0%")) << text.toStdString();
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
    const QString output = QDir::toNativeSeparators(dir.filePath("clipped.ilas"));
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
        EXPECT_NE(process.exitCode(), 0) << signal;
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        EXPECT_TRUE(err.contains("failed: " + input + ": stopped by the user")) << signal << err.toStdString();
        EXPECT_TRUE(err.endsWith("interrupted\n")) << signal << err.toStdString();
        QFile earlier(output);
        ASSERT_TRUE(earlier.open(QIODevice::ReadOnly));
        EXPECT_EQ(earlier.readAll(), QByteArray("an earlier conversion")) << signal;
        EXPECT_EQ(partFiles(), QStringList()) << signal;
    }
}
#endif
