// The headless converter as a user runs it: arguments, exit status and the
// lines it prints.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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

} // namespace

TEST(NimbusConvert, HelpAndUsageErrors)
{
    const Outcome help = runTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: nimbusconvert")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("Exit status")) << "the help explains the exit codes";

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
