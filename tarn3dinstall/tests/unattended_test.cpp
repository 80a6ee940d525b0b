// The built program run without a window, against a recorded hive.
#include "test_support.h"
#include "unattended.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

using namespace tarn3d::test;

namespace {

const QString kTarnLabel = QStringLiteral("Tarn10.1 for AutoCAD2018 x64");
const QString kYamLabel = QStringLiteral("Yam for AutoCAD2019 x64");

struct RunResult {
    int code = -1;
    QString out;
    QString err;
    bool crlf = true; // every line break is the system's own
};

class UnattendedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program looks for its package beside itself, so it runs from a copy.
#ifdef Q_OS_WIN
        program = tree.path("app/Tarn3DInstall.exe");
#else
        program = tree.path("app/Tarn3DInstall");
#endif
        tree.mkdir("app");
        ASSERT_TRUE(QFile::copy(QStringLiteral(TARN3D_INSTALL_BINARY), program));
        QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        tree.write("app/TARN3D/x64/tarn3d_Dll/a.dll", "a");
        tree.write("app/TARN3D/x64/AutoCAD2018/tarn3D.arx", "module");
        tree.write("app/TARN3D/system/menu.cuix", "menu");
        tree.mkdir("app/TARN3D/BLOCKS");
        tarn = makePluginDirs(tree, "Tarn");
        yam = makePluginDirs(tree, "Yam");
        RegText reg;
        reg.value(profileKey(kAutoCadRoot, "R22.0", "ACAD-2001:804", "TARN10.1"), "ACAD", tarn.searchPath());
        reg.value(profileKey(kAutoCadRoot, "R23.0", "ACAD-3001:804", "YAM"), "ACAD", yam.searchPath());
        hive = tree.write("hive.reg", reg.utf16WithBom());
    }

    RunResult run(const QStringList& arguments, const QString& registryFile)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("TARN3D_REGISTRY_FILE");
        if (!registryFile.isNull())
            env.insert("TARN3D_REGISTRY_FILE", registryFile);
#ifdef Q_OS_WIN
        // The copy finds its DLLs beside the built program.
        const QString builtDir = QFileInfo(QStringLiteral(TARN3D_INSTALL_BINARY)).absolutePath();
        env.insert("PATH", QDir::toNativeSeparators(builtDir) + ';' + env.value("PATH"));
#endif
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        RunResult result;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
#ifdef Q_OS_WIN
        // Text-mode streams end lines with CRLF on Windows; every line must.
        result.crlf = result.out.count(QStringLiteral("\r\n")) == result.out.count('\n')
            && result.err.count(QStringLiteral("\r\n")) == result.err.count('\n');
        result.out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        result.err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
        return result;
    }

    TempTree tree;
    QString program;
    QString hive;
    PluginDirs tarn;
    PluginDirs yam;
};

} // namespace

TEST_F(UnattendedTest, ListPrintsOneLabelPerLine)
{
    const RunResult r = run({"--list"}, hive);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, kTarnLabel + "\n" + kYamLabel + "\n");
    EXPECT_TRUE(r.crlf);
}

// Text outside ASCII arrives as UTF-8 through a pipe on every system, the
// echoed argument as well as the program's own messages.
TEST_F(UnattendedTest, PipedTextIsUtf8)
{
    const QString label = QStringLiteral("测试 for AutoCAD2018 x64");
    const RunResult r = run({"--install", label}, hive);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("unknown target: " + label + "\n")) << r.err.toStdString();
    const RunResult none = run({"--list"}, QString());
    EXPECT_TRUE(none.err.contains(QStringLiteral("没有安装tarn"))) << none.err.toStdString();
}

TEST_F(UnattendedTest, InstallThenUninstall)
{
    RunResult r = run({"--install", kTarnLabel}, hive);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "正在复制 a.dll\n正在复制 menu.cuix\n安装完成...\n安装完成\n");
    EXPECT_EQ(tree.read("Tarn/BIN/tarn3D.arx"), "module");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\ntarn3D\r\n");
    EXPECT_FALSE(tree.exists("Yam/BIN/a.dll"));

    r = run({"--uninstall=" + kTarnLabel}, hive);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "正在卸载 a.dll\n正在卸载 tarn3D.arx\n保留 menu.cuix\n卸载完成...\n卸载完成\n");
    EXPECT_FALSE(tree.exists("Tarn/BIN/tarn3D.arx"));
    EXPECT_FALSE(tree.exists("Tarn/BIN/a.dll"));
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\n");

    r = run({"--uninstall", kTarnLabel}, hive);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "TARN3D 模块未安装，没有要卸载的文件。\n卸载完成...\n卸载完成\n");
}

TEST_F(UnattendedTest, FailedInstallExitsOne)
{
    // There is no AutoCAD2019 module in the package.
    const RunResult r = run({"--install", kYamLabel}, hive);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "安装失败...\n安装失败\n");
    EXPECT_EQ(r.err, "安装包不完整，缺少 " + QDir::toNativeSeparators(tree.path("app/TARN3D/x64/AutoCAD2019/tarn3D.arx"))
                         + "\n");
    EXPECT_EQ(tree.read("Yam/SYSTEM/acad.rx"), "acetutil.arx\r\n");
    EXPECT_FALSE(tree.exists("Yam/BIN/a.dll"));
}

TEST_F(UnattendedTest, UnknownLabelOrNoTargetExitsTwo)
{
    RunResult r = run({"--install", "Tarn10.1 for AutoCAD2018 x86"}, hive);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("unknown target")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(kTarnLabel));
    EXPECT_FALSE(tree.exists("Tarn/BIN/a.dll"));

    r = run({"--list"}, QString());
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("没有安装tarn,无法安装3d模块"));
    EXPECT_TRUE(r.out.isEmpty());

    const QString empty = tree.write("empty.reg", "Windows Registry Editor Version 5.00\r\n");
    r = run({"--uninstall", kTarnLabel}, empty);
    EXPECT_EQ(r.code, 2);
}

TEST_F(UnattendedTest, BadInputIsReportedNotFollowed)
{
    const QString broken = tree.write("broken.reg", QByteArray("\x00\x01garbage\xFF", 10));
    RunResult r = run({"--list"}, broken);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("broken.reg")) << r.err.toStdString();

    r = run({"--list"}, tree.path("no-such.reg"));
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("no-such.reg"));

    const QList<QPair<QStringList, QString>> usageErrors{
        {{"--install"}, "--install needs a target label"},
        {{"--list", "--install", kTarnLabel}, "give only one of --list, --install and --uninstall"},
        {{"--frobnicate"}, "unknown argument --frobnicate"},
    };
    for (const auto& usage : usageErrors) {
        r = run(usage.first, hive);
        EXPECT_EQ(r.code, 2) << usage.first.join(' ').toStdString();
        EXPECT_EQ(r.err, "Tarn3DInstall: " + usage.second + "; see --help\n");
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(tree.exists("Tarn/BIN/a.dll"));

    r = run({"--help"}, hive);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("--uninstall LABEL"));
#ifdef Q_OS_WIN
    // The Windows program reads the real registry and names no stand-in.
    EXPECT_FALSE(r.out.contains("TARN3D_REGISTRY_FILE"));
#else
    EXPECT_TRUE(r.out.contains("TARN3D_REGISTRY_FILE"));
#endif
    EXPECT_TRUE(r.out.contains("\n  2  unknown label"));
    r = run({"--version"}, QString());
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith("Tarn3DInstall 1.")) << r.out.toStdString();
}

#ifdef Q_OS_LINUX
TEST_F(UnattendedTest, RunningHostBlocksTheOperation)
{
    // A process whose executable is named acad.exe.
    const QString fakeHost = tree.path("acad.exe");
    ASSERT_TRUE(QFile::copy("/bin/sleep", fakeHost));
    QFile::setPermissions(fakeHost, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QProcess host;
    host.start(fakeHost, {"30"});
    ASSERT_TRUE(host.waitForStarted());

    const RunResult r = run({"--install", kTarnLabel}, hive);
    host.kill();
    host.waitForFinished();
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("安装前请关闭当前打开的CAD。")) << r.err.toStdString();
    EXPECT_FALSE(tree.exists("Tarn/BIN/a.dll"));

    // With the host gone the same command goes through.
    EXPECT_EQ(run({"--install", kTarnLabel}, hive).code, 0);
}
#endif

TEST(UnattendedInProcess, LabelAfterEqualsSignKeepsFurtherEqualsSigns)
{
    // Registry profile names may contain '='; the whole rest of the argument is the label.
    TempTree tree;
    tree.write("app/TARN3D/x64/AutoCAD2018/tarn3D.arx", "module");
    for (const char* folder : {"app/TARN3D/x64/tarn3d_Dll", "app/TARN3D/system", "app/TARN3D/BLOCKS"})
        tree.mkdir(folder);
    const PluginDirs dirs = makePluginDirs(tree, "Tarn");
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, "R22.0", "ACAD-2001:804", "TARN=A"), "ACAD", dirs.searchPath());
    tarn3d::Platform platform;
    platform.registry = registryFrom(reg);
    platform.processes = std::make_shared<FakeProcessProbe>();
    platform.nativeX64 = [] { return true; };
    platform.programFiles = [] { return QString(); };
    platform.appDir = tree.path("app");
    QString outText;
    QString errText;
    QTextStream out(&outText);
    QTextStream err(&errText);
    EXPECT_EQ(tarn3d::runUnattended({"--install=Tarn=a for AutoCAD2018 x64"}, platform, out, err), 0)
        << errText.toStdString();
    out.flush();
    EXPECT_TRUE(outText.endsWith(QStringLiteral("安装完成\n"))) << outText.toStdString();
    EXPECT_EQ(tree.read("Tarn/BIN/tarn3D.arx"), "module");
}
