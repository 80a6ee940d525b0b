// The step-marker log: where it lives and how lines are appended.
#include "logfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

#ifndef _WIN32
// Points $XDG_STATE_HOME (and $HOME) somewhere harmless for one test and puts
// the old values back afterwards.
class LogFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        savedState = qgetenv("XDG_STATE_HOME");
        hadState = qEnvironmentVariableIsSet("XDG_STATE_HOME");
        savedHome = qgetenv("HOME");
    }

    void TearDown() override
    {
        if (hadState)
            qputenv("XDG_STATE_HOME", savedState);
        else
            qunsetenv("XDG_STATE_HOME");
        qputenv("HOME", savedHome);
    }

    static QStringList linesOf(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    QTemporaryDir dir;
    QByteArray savedState;
    bool hadState = false;
    QByteArray savedHome;
};

TEST_F(LogFileTest, AppendsLinesInTheStateFolderCreatingIt)
{
    const QString state = dir.path() + QStringLiteral("/nested/state");
    qputenv("XDG_STATE_HOME", state.toLocal8Bit());
    const QString path = state + QStringLiteral("/tarn3dLog.txt");
    EXPECT_EQ(QString::fromStdString(fresco::logFilePath()), path);

    // Two successive normal job ends.
    QStringList expected;
    for (int job = 0; job < 2; ++job)
        for (int step = 12; step <= 26; ++step) {
            fresco::writeLog("Debug " + std::to_string(step));
            expected.push_back(QStringLiteral("Debug %1").arg(step));
        }
    EXPECT_EQ(linesOf(path), expected);
    EXPECT_EQ(expected.size(), 30);
}

TEST_F(LogFileTest, NeverTruncatesAnExistingLog)
{
    qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit());
    const QString path = dir.path() + QStringLiteral("/tarn3dLog.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("from another process\n");
    file.close();

    fresco::writeLog("Debug 13");
    EXPECT_EQ(linesOf(path),
              (QStringList{QStringLiteral("from another process"), QStringLiteral("Debug 13")}));
}

TEST_F(LogFileTest, FallsBackToHomeLocalState)
{
    qunsetenv("XDG_STATE_HOME");
    qputenv("HOME", dir.path().toLocal8Bit());
    const QString path = dir.path() + QStringLiteral("/.local/state/tarn3dLog.txt");
    EXPECT_EQ(QString::fromStdString(fresco::logFilePath()), path);
    fresco::writeLog("Debug 12");
    EXPECT_EQ(linesOf(path), QStringList{QStringLiteral("Debug 12")});

    // A relative value does not count.
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(QString::fromStdString(fresco::logFilePath()), path);
}

TEST_F(LogFileTest, UnopenableLogDropsLinesSilently)
{
    // The state folder would have to live below a plain file.
    const QString plain = dir.path() + QStringLiteral("/plain");
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    qputenv("XDG_STATE_HOME", (plain + QStringLiteral("/state")).toLocal8Bit());
    fresco::writeLog("Debug 14");
    EXPECT_EQ(linesOf(plain), QStringList{QStringLiteral("keep")});

    // A folder in place of the log file cannot be opened as a file.
    qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit());
    const QString log = dir.path() + QStringLiteral("/tarn3dLog.txt");
    ASSERT_TRUE(QDir().mkpath(log));
    fresco::writeLog("Debug 15");
    EXPECT_TRUE(QFileInfo(log).isDir());
    EXPECT_TRUE(QDir(log).isEmpty());
}

#else
QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A machine as a test describes it, put in for the lifetime of the object.
class FakeLocation : public fresco::LogLocation
{
public:
    FakeLocation(bool driveUsable, const QString &localFolder)
        : m_driveUsable(driveUsable), m_localFolder(localFolder)
    {
        fresco::setLogLocation(this);
    }
    ~FakeLocation() override { fresco::setLogLocation(nullptr); }
    bool fixedPathUsable() const override { return m_driveUsable; }
    QString localDataFolder() const override { return m_localFolder; }

private:
    bool m_driveUsable;
    QString m_localFolder;
};

TEST(LogFileWindows, WithoutAUsableDriveDLinesGoToTheLocalDataFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString local = dir.path() + QStringLiteral("/AppData/Local");
    {
        // No drive D:, and a local data folder that does not exist yet.
        const FakeLocation noDrive(false, local);
        EXPECT_EQ(QString::fromStdString(fresco::logFilePath()), local + "/tarn3dLog.txt");
        fresco::writeLog("Debug 12");
        fresco::writeLog("Debug 13");
        EXPECT_EQ(linesOf(local + "/tarn3dLog.txt"),
                  (QStringList{QStringLiteral("Debug 12"), QStringLiteral("Debug 13")}));
    }
    {
        const FakeLocation drive(true, local);
        EXPECT_EQ(fresco::logFilePath(), "D:/tarn3dLog.txt");
    }
    {
        // Nowhere to write: the line is dropped, not written to a drive's root.
        const FakeLocation nowhere(false, QString());
        EXPECT_EQ(fresco::logFilePath(), "");
        fresco::writeLog("Debug 14");
    }
    EXPECT_EQ(linesOf(local + "/tarn3dLog.txt").size(), 2);
}

TEST(LogFileWindows, SystemAnswersNameDriveDOnlyWhenItTakesTheLog)
{
    // The system's own answers: the fixed path exactly when drive D: takes
    // the file, otherwise the user's %LOCALAPPDATA%.
    fresco::setLogLocation(nullptr);
    const QString path = QString::fromStdString(fresco::logFilePath());
    QFile fixed(QStringLiteral("D:/tarn3dLog.txt"));
    const bool driveTakesIt = fixed.open(QIODevice::Append);
    fixed.close();
    if (driveTakesIt) {
        EXPECT_EQ(path, QStringLiteral("D:/tarn3dLog.txt"));
    } else {
        const QString local = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
        ASSERT_FALSE(local.isEmpty());
        EXPECT_EQ(path.compare(QDir::cleanPath(local) + "/tarn3dLog.txt", Qt::CaseInsensitive), 0)
            << path.toStdString();
    }
}
#endif

} // namespace
