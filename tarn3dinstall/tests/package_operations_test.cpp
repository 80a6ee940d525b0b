// Install, update and uninstall on scratch folder trees.
#include "file_system.h"
#include "loader_list.h"
#include "package_installer.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#endif

using namespace tarn3d;
using namespace tarn3d::test;

namespace {

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.write("app/TARN3D/x64/tarn3d_Dll/b.dll", "b-new");
        tree.write("app/TARN3D/x64/tarn3d_Dll/A.dll", "a-new");
        tree.write("app/TARN3D/x64/tarn3d_Dll/VERDO.sqlite3.DLL", "shared");
        tree.write("app/TARN3D/x64/tarn3d_Dll/plugins/p.dll", "p");
        tree.write("app/TARN3D/x64/tarn3d_Dll/plugins/deep/q.dat", "q");
        tree.write("app/TARN3D/x64/AutoCAD2018/tarn3D.arx", "module-x64");
        tree.write("app/TARN3D/x86/AutoCAD2018/tarn3D.arx", "module-x86");
        tree.write("app/TARN3D/system/tarn3d.cuix", "menu");
        tree.write("app/TARN3D/BLOCKS/one.dwg", "1");
        tree.write("app/TARN3D/BLOCKS/two.dwg", "2");
        dirs = makePluginDirs(tree, "Tarn", "acad.rx", "acetutil.arx\r\nTarnMain.arx");
        target.productName = "AutoCAD2018";
        target.profileName = "TARN10.1";
        target.binDir = dirs.bin;
        target.systemDir = dirs.system;
        target.blocksDir = dirs.blocks;
    }

    bool install() { return installPackage(installer, target); }
    bool uninstall() { return uninstallPackage(installer, target); }

    TempTree tree;
    PluginDirs dirs;
    HostProfile target;
    RecordingObserver observer;
    PackageInstaller installer{tree.path("app"), HostFamily::AutoCAD, observer};
};

} // namespace

TEST_F(PackageTest, InstallCopiesTreesModuleAndRegisters)
{
    tree.write("Tarn/BIN/b.dll", "b-old");
    ASSERT_TRUE(install());
    EXPECT_EQ(tree.read("Tarn/BIN/A.dll"), "a-new");
    EXPECT_EQ(tree.read("Tarn/BIN/b.dll"), "b-new");
    EXPECT_EQ(tree.read("Tarn/BIN/plugins/deep/q.dat"), "q");
    EXPECT_EQ(tree.read("Tarn/BIN/tarn3D.arx"), "module-x64");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/tarn3d.cuix"), "menu");
    EXPECT_EQ(tree.read("Tarn/BLOCKS/two.dwg"), "2");
    // Last line had no line end: it gets one, and so does the new name.
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\ntarn3D\r\n");
    EXPECT_EQ(observer.details,
              (QStringList{"正在复制 A.dll\n", "正在复制 b.dll\n", "正在复制 VERDO.sqlite3.DLL\n", "正在复制 p.dll\n",
                           "正在复制 q.dat\n", "正在复制 tarn3d.cuix\n", "正在复制 one.dwg\n", "正在复制 two.dwg\n",
                           "安装完成..."}));
    // BIN and SYSTEM count from 0, BLOCKS from 1; each folder sets its own range.
    EXPECT_EQ(observer.ranges, (QList<QPair<int, int>>{{0, 2}, {0, 0}, {0, 0}, {0, 0}, {0, 2}}));
    EXPECT_EQ(observer.values, (QList<int>{0, 1, 2, 0, 0, 0, 1, 2}));
    EXPECT_EQ(observer.responsiveCalls, 8);
    // No staged or set-aside files are left anywhere.
    EXPECT_EQ(QDir(dirs.system).entryList(QDir::Files), (QStringList{"acad.rx", "tarn3d.cuix"}));
    EXPECT_EQ(QDir(dirs.bin).entryList(QDir::Files),
              (QStringList{"A.dll", "b.dll", "tarn3D.arx", "VERDO.sqlite3.DLL"}));
}

TEST_F(PackageTest, UpdateRecopiesAndLeavesListedModuleAlone)
{
    ASSERT_TRUE(install());
    const QByteArray list = "acetutil.arx\r\n  tarn3D  \r\n";
    tree.write("Tarn/SYSTEM/acad.rx", list);
    tree.write("Tarn/BIN/A.dll", "changed");
    observer.details.clear();
    ASSERT_TRUE(install());
    EXPECT_EQ(tree.read("Tarn/BIN/A.dll"), "a-new");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), list);
    EXPECT_EQ(observer.details.last(), "安装完成...");
}

TEST_F(PackageTest, AddedLineEndsInCrLfAndNeverJoinsAnother)
{
    // list before -> list after install; the name is compared exactly, so
    // another spelling is a different module.
    const QList<QPair<QByteArray, QByteArray>> cases{
        {"one.arx\r\n", "one.arx\r\ntarn3D\r\n"},
        {"one.arx\n", "one.arx\ntarn3D\r\n"},
        {"one.arx", "one.arx\r\ntarn3D\r\n"},
        {"", "tarn3D\r\n"},
        {"TARN3D", "TARN3D\r\ntarn3D\r\n"},
        {"\xEF\xBB\xBFtarn3D\r\n", "\xEF\xBB\xBFtarn3D\r\n"},
    };
    for (const auto& c : cases) {
        tree.write("Tarn/SYSTEM/acad.rx", c.first);
        ASSERT_TRUE(install()) << c.first.toStdString();
        EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), c.second) << c.first.toStdString();
    }
    // The next installer's line then starts a line of its own.
    EXPECT_EQ(withModuleLine("a.arx\r\n\r\ntarn3D\r\n", "other"), "a.arx\r\n\r\ntarn3D\r\nother\r\n");
}

TEST(LoaderList, OtherLinesSurviveByteForByte)
{
    // GBK, UTF-8, Shift-JIS and Latin-1 paths, LF and CR LF ends, blanks.
    const QByteArray others = "D:\\\xB2\xE2\xCA\xD4\\tool.arx\r\n"
                              "E:\\\xE6\xB5\x8B\xE8\xAF\x95\\u8.arx\n"
                              "  F:\\\x83\x65\x83\x58\x83\x67\\sj.arx \r\n"
                              "\r\n"
                              "G:\\caf\xE9\\l1.arx";
    const QByteArray added = withModuleLine(others, "tarn3D");
    EXPECT_EQ(added, others + "\r\ntarn3D\r\n");
    EXPECT_EQ(withoutModuleLines(added, "tarn3D"), others + "\r\n");

    // Every copy goes, each with its own line end, wherever it stands.
    const QByteArray twice = "tarn3D\r\n" + others.left(20) + "\n\t tarn3D \r\nlast.arx\ntarn3D";
    EXPECT_EQ(countModuleLines(twice, "tarn3D"), 3);
    EXPECT_EQ(withoutModuleLines(twice, "tarn3D"), others.left(20) + "\nlast.arx\n");
    EXPECT_EQ(withoutModuleLines("\xEF\xBB\xBFtarn3D\r\nx.arx", "tarn3D"), "\xEF\xBB\xBFx.arx");
    EXPECT_EQ(countModuleLines("tarn3D.arx\r\nmytarn3D\r\n", "tarn3D"), 0);
}

#ifdef Q_OS_UNIX
TEST_F(PackageTest, ListFileIsReplacedWholeNotRewrittenInPlace)
{
    // A second name for the old file shows whether the bytes were changed in
    // place (a crash mid-write would then leave a cut file) or a complete new
    // file took the name.
    const QByteArray listPath = QFile::encodeName(tree.path("Tarn/SYSTEM/acad.rx"));
    const QByteArray oldName = QFile::encodeName(tree.path("old-acad.rx"));
    ASSERT_EQ(::link(listPath.constData(), oldName.constData()), 0);
    ASSERT_TRUE(install());
    EXPECT_EQ(tree.read("old-acad.rx"), "acetutil.arx\r\nTarnMain.arx");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\ntarn3D\r\n");

    ASSERT_EQ(::unlink(oldName.constData()), 0);
    ASSERT_EQ(::link(listPath.constData(), oldName.constData()), 0);
    ASSERT_TRUE(uninstall());
    EXPECT_EQ(tree.read("old-acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\ntarn3D\r\n");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\n");
}
#endif

TEST_F(PackageTest, RefusalsChangeNothingAndSayWhy)
{
    tree.write("Tarn/BIN/b.dll", "b-old");
    const auto refused = [&](const char* what, const QString& reason) {
        const QMap<QString, QByteArray> before = snapshot(tree.path("Tarn"));
        observer.details.clear();
        EXPECT_FALSE(install()) << what;
        EXPECT_EQ(observer.details, (QStringList{reason, "安装失败..."})) << what;
        EXPECT_EQ(snapshot(tree.path("Tarn")), before) << what;
    };
    const QString native = QDir::toNativeSeparators(tree.path(""));

    QFile::rename(tree.path("Tarn/SYSTEM/acad.rx"), tree.path("Tarn/SYSTEM/gone"));
    refused("no list", "找不到加载列表 " + native + QDir::toNativeSeparators("/Tarn/SYSTEM/acad.rx") + "\n");
    QFile::rename(tree.path("Tarn/SYSTEM/gone"), tree.path("Tarn/SYSTEM/acad.rx"));

    QFile::rename(tree.path("app/TARN3D/x64/AutoCAD2018"), tree.path("app/TARN3D/x64/other"));
    refused("no module", "安装包不完整，缺少 " + native
                             + QDir::toNativeSeparators("/app/TARN3D/x64/AutoCAD2018/tarn3D.arx") + "\n");
    QFile::rename(tree.path("app/TARN3D/x64/other"), tree.path("app/TARN3D/x64/AutoCAD2018"));

    QFile::rename(tree.path("app/TARN3D/system"), tree.path("app/TARN3D/other"));
    refused("no system package", "安装包不完整，缺少 " + native + QDir::toNativeSeparators("/app/TARN3D/system") + "\n");
    QFile::rename(tree.path("app/TARN3D/other"), tree.path("app/TARN3D/system"));

    // A folder where a file should go, which no permission bits protect.
    tree.write("Tarn/BIN/A.dll/inside", "x");
    const QMap<QString, QByteArray> withFolder = snapshot(tree.path("Tarn"));
    observer.details.clear();
    EXPECT_FALSE(install());
    EXPECT_EQ(observer.details.first(), QDir::toNativeSeparators(dirs.bin + "/A.dll") + " 是文件夹，不能替换，未做任何更改\n");
    EXPECT_EQ(snapshot(tree.path("Tarn")), withFolder);
}

#ifdef Q_OS_UNIX
TEST_F(PackageTest, ReadOnlyFilesAreRespectedEvenByRoot)
{
    // Permission bits alone: root could write them, the installer must not.
    ASSERT_TRUE(install());
    const QString list = tree.path("Tarn/SYSTEM/acad.rx");
    ASSERT_EQ(::chmod(QFile::encodeName(list).constData(), 0444), 0);
    const QMap<QString, QByteArray> before = snapshot(tree.path("Tarn"));
    EXPECT_FALSE(uninstall());
    EXPECT_EQ(observer.problems.last(), QDir::toNativeSeparators(list) + " 是只读文件，未做任何更改\n");
    EXPECT_EQ(snapshot(tree.path("Tarn")), before);
    // An update needs no change to the list and goes through.
    EXPECT_TRUE(install());

    ASSERT_EQ(::chmod(QFile::encodeName(tree.path("Tarn/BIN/b.dll")).constData(), 0444), 0);
    tree.write("Tarn/SYSTEM/acad.rx", "x.arx\r\n"); // written as root despite the bits
    ASSERT_EQ(::chmod(QFile::encodeName(list).constData(), 0644), 0);
    const QMap<QString, QByteArray> withReadOnlyDll = snapshot(tree.path("Tarn"));
    EXPECT_FALSE(install());
    EXPECT_EQ(snapshot(tree.path("Tarn")), withReadOnlyDll);
}
#endif

TEST_F(PackageTest, UnwritableDestinationFolderFailsTheInstall)
{
    // The first change is the copy into BIN; it fails as in a folder that
    // denies writing (which root would not feel on a real disk).
    tree.write("Tarn/BIN/A.dll", "old");
    FaultyFileSystem faulty;
    faulty.failing = {1};
    PackageInstaller failing(tree.path("app"), HostFamily::AutoCAD, observer, &faulty);
    const QMap<QString, QByteArray> before = snapshot(tree.path("Tarn"));
    EXPECT_FALSE(failing.install(target));
    EXPECT_EQ(observer.problems,
              QStringList{"无法写入 " + QDir::toNativeSeparators(dirs.bin + "/A.dll") + "：injected fault 1\n"});
    EXPECT_EQ(observer.details.mid(observer.details.size() - 2),
              (QStringList{"已撤销本次的全部更改。\n", "安装失败..."}));
    EXPECT_EQ(snapshot(tree.path("Tarn")), before);
}

TEST_F(PackageTest, FailureAtEveryStepLeavesTreesAndListAsTheyWere)
{
    const QString root = tree.path("Tarn");
    const auto restore = [&](const QMap<QString, QByteArray>& state) {
        QDir(root).removeRecursively();
        for (auto entry = state.cbegin(); entry != state.cend(); ++entry) {
            if (entry.value() == "<dir>")
                tree.mkdir("Tarn" + entry.key());
            else
                tree.write("Tarn" + entry.key(), entry.value());
        }
    };
    using Operation = bool (PackageInstaller::*)(const HostProfile&);
    const auto everyStep = [&](const char* name, Operation operation) {
        const QMap<QString, QByteArray> before = snapshot(root);
        FaultyFileSystem counting;
        ASSERT_TRUE((PackageInstaller(tree.path("app"), HostFamily::AutoCAD, observer, &counting).*operation)(target));
        const QMap<QString, QByteArray> after = snapshot(root);
        ASSERT_NE(after, before) << name;
        int lastFailure = 0;
        for (int step = 1; step <= counting.changes; ++step) {
            restore(before);
            observer.details.clear();
            observer.problems.clear();
            FaultyFileSystem faulty;
            faulty.failing = {step};
            const bool ok = (PackageInstaller(tree.path("app"), HostFamily::AutoCAD, observer, &faulty).*operation)(target);
            const QMap<QString, QByteArray> now = snapshot(root);
            if (!ok) {
                lastFailure = step;
                EXPECT_EQ(now, before) << name << " step " << step;
                EXPECT_TRUE(observer.problems.value(0).contains("injected fault")) << name << " step " << step;
                EXPECT_EQ(observer.problems.size(), 1) << name << " step " << step;
            } else {
                // Past the commit only deleting the set-aside copies is
                // left; one that stays is named, the rest is the new state.
                ASSERT_EQ(observer.problems.size(), 1) << name << " step " << step;
                EXPECT_TRUE(observer.problems[0].startsWith("无法删除 ")) << name << " step " << step;
                const QStringList extra = QSet<QString>(now.keyBegin(), now.keyEnd())
                                              .subtract(QSet<QString>(after.keyBegin(), after.keyEnd()))
                                              .values();
                ASSERT_FALSE(extra.isEmpty()) << name << " step " << step;
                for (const QString& path : extra) // one file, or one folder with its content
                    EXPECT_TRUE(path.contains(".tarn3d-old")) << name << " step " << step;
                for (auto entry = after.cbegin(); entry != after.cend(); ++entry)
                    EXPECT_EQ(now.value(entry.key()), entry.value()) << name << " step " << step;
            }
        }
        EXPECT_GT(lastFailure, 5) << name;

        // Undoing can fail too: from the last commit step on every change
        // fails; each file left changed is named.
        restore(before);
        observer.problems.clear();
        FaultyFileSystem faulty;
        for (int step = lastFailure; step < lastFailure + 50; ++step)
            faulty.failing.insert(step);
        EXPECT_FALSE((PackageInstaller(tree.path("app"), HostFamily::AutoCAD, observer, &faulty).*operation)(target));
        const QString binFile = "无法恢复 " + QDir::toNativeSeparators(dirs.bin + "/tarn3D.arx");
        EXPECT_GE(observer.problems.filter(binFile).size(), 1) << name << observer.problems.join("").toStdString();
        restore(after);
    };
    // A fresh install, an update over a changed install, an uninstall.
    everyStep("install", &PackageInstaller::install);
    tree.write("Tarn/BIN/A.dll", "changed");
    tree.write("Tarn/SYSTEM/acad.rx", "\xB2\xE2\xCA\xD4.arx\n");
    everyStep("update", &PackageInstaller::install);
    everyStep("uninstall", &PackageInstaller::uninstall);
}

TEST_F(PackageTest, ThirtyTwoBitTargetGetsThirtyTwoBitPackage)
{
    tree.write("app/TARN3D/x86/tarn3d_Dll/only86.dll", "86");
    target.x86 = true;
    ASSERT_TRUE(install());
    EXPECT_EQ(tree.read("Tarn/BIN/tarn3D.arx"), "module-x86");
    EXPECT_TRUE(tree.exists("Tarn/BIN/only86.dll"));
    EXPECT_FALSE(tree.exists("Tarn/BIN/A.dll"));
}

TEST_F(PackageTest, FennTargetEditsListInFennSystemFolder)
{
    tree.write("Fenn/system/acad.rx", "fenn.arx");
    target.extraSystemDir = tree.path("Fenn/system");
    ASSERT_TRUE(install());
    EXPECT_EQ(tree.read("Tarn/SYSTEM/tarn3d.cuix"), "menu");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx");
    EXPECT_EQ(tree.read("Fenn/system/acad.rx"), "fenn.arx\r\ntarn3D\r\n");
}

TEST_F(PackageTest, MissingFoldersInTargetOrPackage)
{
    // Without a BLOCKS folder in the target the BLOCKS package is not needed.
    target.blocksDir.clear();
    QDir(tree.path("app/TARN3D/BLOCKS")).removeRecursively();
    ASSERT_TRUE(install());
    EXPECT_EQ(QDir(dirs.blocks).entryList(QDir::Files), QStringList());

    HostProfile noBin = target;
    noBin.binDir.clear();
    observer.details.clear();
    EXPECT_FALSE(installer.install(noBin));
    EXPECT_FALSE(installer.uninstall(noBin));
    EXPECT_TRUE(observer.details.isEmpty());

    HostProfile noSystem = target;
    noSystem.systemDir.clear();
    EXPECT_FALSE(installer.install(noSystem));
    EXPECT_EQ(observer.details, (QStringList{"目标没有 SYSTEM 文件夹\n", "安装失败..."}));
}

TEST_F(PackageTest, UninstallRemovesPackageFilesKeepsSharedAndRewritesList)
{
    ASSERT_TRUE(install());
    tree.write("Tarn/BIN/plugins/user.cfg", "not from the package");
    tree.write("Tarn/BIN/unrelated.dll", "stays");
    tree.write("Tarn/SYSTEM/acad.rx", "  acetutil.arx \r\n\r\ntarn3D\r\n\tother.arx\r\ntarn3D");
    observer.details.clear();
    observer.ranges.clear();
    ASSERT_TRUE(uninstall());
    EXPECT_FALSE(tree.exists("Tarn/BIN/A.dll"));
    EXPECT_FALSE(tree.exists("Tarn/BIN/b.dll"));
    EXPECT_FALSE(tree.exists("Tarn/BIN/tarn3D.arx"));
    EXPECT_FALSE(tree.exists("Tarn/BIN/plugins")); // whole folder, foreign files too
    EXPECT_EQ(tree.read("Tarn/BIN/VERDO.sqlite3.DLL"), "shared");
    EXPECT_EQ(tree.read("Tarn/BIN/unrelated.dll"), "stays");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/tarn3d.cuix"), "menu");
    EXPECT_EQ(tree.read("Tarn/BLOCKS/one.dwg"), "1");
    EXPECT_EQ(observer.details,
              (QStringList{"正在卸载 A.dll\n", "正在卸载 b.dll\n", "保留 VERDO.sqlite3.DLL（其他产品共用的运行库）\n",
                           "正在卸载 plugins\n", "正在卸载 tarn3D.arx\n", "保留 tarn3d.cuix\n", "保留 one.dwg\n",
                           "保留 two.dwg\n", "卸载完成..."}));
    EXPECT_EQ(observer.ranges, (QList<QPair<int, int>>{{0, 2}}));
    // Every copy goes; every other byte stays.
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "  acetutil.arx \r\n\r\n\tother.arx\r\n");
    EXPECT_EQ(QDir(dirs.bin).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{"unrelated.dll", "VERDO.sqlite3.DLL"}));

    // A second uninstall says there is nothing to remove.
    observer.details.clear();
    ASSERT_TRUE(uninstall());
    EXPECT_EQ(observer.details, (QStringList{"TARN3D 模块未安装，没有要卸载的文件。\n", "卸载完成..."}));
}

TEST_F(PackageTest, UninstallLeavesListWithoutModuleUntouched)
{
    const QByteArray list = "  a.arx\r\n\r\nb.arx";
    tree.write("Tarn/SYSTEM/acad.rx", list);
    tree.write("Tarn/BIN/A.dll", "a");
    ASSERT_TRUE(uninstall());
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), list);
    EXPECT_FALSE(tree.exists("Tarn/BIN/A.dll"));
    // A missing list does not fail the uninstall.
    QFile::remove(tree.path("Tarn/SYSTEM/acad.rx"));
    EXPECT_TRUE(uninstall());
    EXPECT_FALSE(tree.exists("Tarn/SYSTEM/acad.rx"));
}

TEST_F(PackageTest, UninstallRefusalKeepsModuleAndList)
{
    ASSERT_TRUE(install());
    QFile::remove(tree.path("Tarn/BIN/b.dll"));
    tree.write("Tarn/BIN/b.dll/blocker", "x"); // a folder, not the package's file
    const QMap<QString, QByteArray> before = snapshot(tree.path("Tarn"));
    EXPECT_FALSE(uninstall());
    EXPECT_EQ(observer.details.last(), "卸载失败...");
    EXPECT_EQ(snapshot(tree.path("Tarn")), before);
}

TEST_F(PackageTest, UninstallRemovesOnlyTheLinkOfALinkedFolder)
{
    tree.write("elsewhere/precious.txt", "keep me");
    ASSERT_TRUE(QFile::link(tree.path("elsewhere"), tree.path("Tarn/BIN/plugins")));
    ASSERT_TRUE(uninstall());
    EXPECT_FALSE(QFileInfo(tree.path("Tarn/BIN/plugins")).isSymLink());
    EXPECT_EQ(tree.read("elsewhere/precious.txt"), "keep me");
}

TEST(PackageKeepList, HoldsTheSharedRuntimeLibraries)
{
    EXPECT_EQ(PackageInstaller::keepList(),
              (QStringList{"Verdo.Sqlite3.dll", "msvcp140.dll", "vcruntime140.dll"}));
}

#ifdef Q_OS_LINUX
// A real full disk: the target's folders on a tmpfs of a few pages.
class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        small = tree.mkdir("small");
        if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
        mounted = true;
        tree.mkdir("app/TARN3D/system");
        tree.mkdir("app/TARN3D/BLOCKS");
        tree.mkdir("app/TARN3D/x64/tarn3d_Dll");
        tree.write("app/TARN3D/x64/AutoCAD2018/tarn3D.arx", "m");
        dirs = makePluginDirs(tree, "small/Tarn", "acad.rx", "acetutil.arx\r\n");
        target.productName = "AutoCAD2018";
        target.binDir = dirs.bin;
        target.systemDir = dirs.system;
        target.blocksDir = dirs.blocks;
    }
    void TearDown() override
    {
        if (mounted)
            ::umount2(QFile::encodeName(small).constData(), MNT_DETACH);
    }

    TempTree tree;
    QString small;
    bool mounted = false;
    PluginDirs dirs;
    HostProfile target;
    RecordingObserver observer;
};

TEST_F(FullDiskTest, UpdateOfABigFileKeepsTheWorkingInstall)
{
    tree.write("app/TARN3D/x64/tarn3d_Dll/big.dll", QByteArray(40 * 1024, 'n'));
    tree.write("small/Tarn/BIN/big.dll", QByteArray(20 * 1024, 'o'));
    tree.write("small/Tarn/BIN/tarn3D.arx", "old module");
    tree.write("small/Tarn/SYSTEM/acad.rx", "acetutil.arx\r\ntarn3D\r\n");
    const QMap<QString, QByteArray> before = snapshot(small);
    PackageInstaller installer(tree.path("app"), HostFamily::AutoCAD, observer);
    EXPECT_FALSE(installer.install(target));
    EXPECT_EQ(snapshot(small), before);
    EXPECT_EQ(observer.problems.join("").toStdString(),
              ("无法写入 " + dirs.bin + "/big.dll：" + std::strerror(ENOSPC) + "\n").toStdString());
}

TEST_F(FullDiskTest, ListThatCannotBeWrittenStaysAsItWas)
{
    // Fill the disk, then free one page: the module file fits, the new list not.
    QStringList fillers;
    for (int i = 0;; ++i) {
        QFile filler(tree.path(QStringLiteral("small/filler%1").arg(i)));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        fillers.append(filler.fileName());
        if (filler.write(QByteArray(4096, 'f')) != 4096 || !filler.flush())
            break;
        ASSERT_LT(i, 100);
    }
    QFile::remove(fillers.takeLast());
    QFile::remove(fillers.takeLast());
    const QMap<QString, QByteArray> before = snapshot(small);
    PackageInstaller installer(tree.path("app"), HostFamily::AutoCAD, observer);
    EXPECT_FALSE(installer.install(target));
    EXPECT_EQ(snapshot(small), before);
    EXPECT_EQ(observer.problems.join("").toStdString(),
              ("无法写入 " + dirs.system + "/acad.rx：" + std::strerror(ENOSPC) + "\n").toStdString());
}
#endif
