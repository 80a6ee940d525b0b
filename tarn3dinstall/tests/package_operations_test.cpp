// Install, update and uninstall on scratch folder trees.
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
    // Last line had no line end: it gets one, and the new name none.
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\ntarn3D");
    EXPECT_EQ(observer.details,
              (QStringList{"正在复制 A.dll\n", "正在复制 b.dll\n", "正在复制 VERDO.sqlite3.DLL\n", "正在复制 p.dll\n",
                           "正在复制 q.dat\n", "正在复制 tarn3d.cuix\n", "正在复制 one.dwg\n", "正在复制 two.dwg\n",
                           "安装完成..."}));
    // BIN and SYSTEM count from 0, BLOCKS from 1; each folder sets its own range.
    EXPECT_EQ(observer.ranges, (QList<QPair<int, int>>{{0, 2}, {0, 0}, {0, 0}, {0, 0}, {0, 2}}));
    EXPECT_EQ(observer.values, (QList<int>{0, 1, 2, 0, 0, 0, 1, 2}));
    EXPECT_EQ(observer.responsiveCalls, 8);
    // The list was replaced whole: no stray temporary files beside it.
    EXPECT_EQ(QDir(dirs.system).entryList(QDir::Files), (QStringList{"acad.rx", "tarn3d.cuix"}));
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

TEST_F(PackageTest, RegisterAfterFinalLineBreakLeavesBlankLine)
{
    tree.write("Tarn/SYSTEM/acad.rx", "one.arx\r\n");
    ASSERT_TRUE(installer.registerModule(target, "tarn3D", "acad.rx"));
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "one.arx\r\n\r\ntarn3D");
    // The name is compared exactly: another spelling is a different module.
    tree.write("Tarn/SYSTEM/acad.rx", "TARN3D");
    ASSERT_TRUE(installer.registerModule(target, "tarn3D", "acad.rx"));
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "TARN3D\r\ntarn3D");
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
    ASSERT_TRUE(installer.registerModule(target, "tarn3D", "acad.rx"));
    EXPECT_EQ(tree.read("old-acad.rx"), "acetutil.arx\r\nTarnMain.arx");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\ntarn3D");

    ASSERT_EQ(::unlink(oldName.constData()), 0);
    ASSERT_EQ(::link(listPath.constData(), oldName.constData()), 0);
    ASSERT_TRUE(installer.unregisterModule(target, "tarn3D", "acad.rx"));
    EXPECT_EQ(tree.read("old-acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\ntarn3D");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\n");
}
#endif

TEST_F(PackageTest, MissingListFileFailsInstallAfterCopying)
{
    QFile::remove(tree.path("Tarn/SYSTEM/acad.rx"));
    EXPECT_FALSE(install());
    EXPECT_EQ(tree.read("Tarn/BIN/tarn3D.arx"), "module-x64");
    EXPECT_FALSE(tree.exists("Tarn/SYSTEM/acad.rx"));
    ASSERT_GE(observer.details.size(), 2);
    EXPECT_EQ(observer.details.at(observer.details.size() - 2), "安装完成...");
    EXPECT_EQ(observer.details.last(), "安装失败...");
    EXPECT_FALSE(addModuleLine(tree.path("Tarn/SYSTEM/acad.rx"), "tarn3D"));
    EXPECT_FALSE(tree.exists("Tarn/SYSTEM/acad.rx"));
}

TEST_F(PackageTest, MissingModuleFileReportsFailureAfterCompletionLine)
{
    QFile::remove(tree.path("app/TARN3D/x64/AutoCAD2018/tarn3D.arx"));
    EXPECT_FALSE(install());
    ASSERT_GE(observer.details.size(), 2);
    EXPECT_EQ(observer.details.at(observer.details.size() - 2), "安装完成...");
    EXPECT_EQ(observer.details.last(), "安装失败...");
    // Registration is not attempted.
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx");
}

TEST_F(PackageTest, UndeletableDestinationStopsTheCopy)
{
    // A destination that cannot be removed (here a non-empty folder of the
    // file's name, which no permission bits can protect against root).
    tree.write("Tarn/BIN/A.dll/inside", "x");
    EXPECT_FALSE(install());
    EXPECT_EQ(observer.details, (QStringList{"正在复制 A.dll\n", "安装失败..."}));
    EXPECT_FALSE(tree.exists("Tarn/BIN/b.dll"));
    EXPECT_FALSE(tree.exists("Tarn/SYSTEM/tarn3d.cuix"));
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx");
}

// Windows keeps no write permission on folders (their read-only attribute
// does not stop files being created in them), so this is POSIX only.
#ifndef Q_OS_WIN
TEST_F(PackageTest, ReadOnlyDestinationFolderFailsWhenPermissionsApply)
{
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not bind root";
#endif
    tree.write("Tarn/BIN/A.dll", "old");
    QFile::setPermissions(dirs.bin, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_FALSE(install());
    QFile::setPermissions(dirs.bin, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(observer.details.last(), "安装失败...");
    EXPECT_EQ(tree.read("Tarn/BIN/A.dll"), "old");
}
#endif

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
    EXPECT_EQ(tree.read("Fenn/system/acad.rx"), "fenn.arx\r\ntarn3D");
}

TEST_F(PackageTest, MissingFoldersInTargetOrPackage)
{
    target.blocksDir.clear();
    QDir(tree.path("app/TARN3D/system")).removeRecursively();
    ASSERT_TRUE(install());
    EXPECT_EQ(QDir(dirs.blocks).entryList(QDir::Files), QStringList());

    HostProfile noBin = target;
    noBin.binDir.clear();
    observer.details.clear();
    EXPECT_FALSE(installer.installFiles(noBin));
    EXPECT_FALSE(installer.uninstallFiles(noBin));
    EXPECT_TRUE(observer.details.isEmpty());

    HostProfile noSystem = target;
    noSystem.systemDir.clear();
    EXPECT_FALSE(installer.registerModule(noSystem, "tarn3D", "acad.rx"));
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
    EXPECT_EQ(observer.details, (QStringList{"正在卸载 A.dll\n", "正在卸载 b.dll\n", "正在卸载 VERDO.sqlite3.DLL\n",
                                             "卸载完成..."}));
    EXPECT_EQ(observer.ranges, (QList<QPair<int, int>>{{0, 2}}));
    // Only the first copy goes; the rest is trimmed, blank lines dropped.
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nother.arx\r\ntarn3D\r\n");
}

TEST_F(PackageTest, UninstallLeavesListWithoutModuleUntouched)
{
    const QByteArray list = "  a.arx\r\n\r\nb.arx";
    tree.write("Tarn/SYSTEM/acad.rx", list);
    ASSERT_TRUE(uninstall());
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), list);
    // A missing list does not fail the uninstall.
    QFile::remove(tree.path("Tarn/SYSTEM/acad.rx"));
    EXPECT_TRUE(uninstall());
    EXPECT_FALSE(tree.exists("Tarn/SYSTEM/acad.rx"));
}

TEST_F(PackageTest, UninstallFailureStillUnregisters)
{
    ASSERT_TRUE(install());
    QFile::remove(tree.path("Tarn/BIN/b.dll"));
    tree.write("Tarn/BIN/b.dll/blocker", "x"); // cannot be removed as a file
    EXPECT_FALSE(uninstall());
    EXPECT_EQ(observer.details.last(), "卸载失败...");
    EXPECT_EQ(tree.read("Tarn/BIN/tarn3D.arx"), "module-x64");
    EXPECT_EQ(tree.read("Tarn/SYSTEM/acad.rx"), "acetutil.arx\r\nTarnMain.arx\r\n");
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
