// The seams between the installer and the machine, as every system sees them.
#include "process_probe.h"
#include "registry_reader.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace tarn3d;
using namespace tarn3d::test;

TEST(ProcessName, WholeNameIgnoringCase)
{
    EXPECT_TRUE(isSameExecutableName("ACAD.EXE", "acad.exe"));
    EXPECT_TRUE(isSameExecutableName("acad.exe", "acad.exe"));
    EXPECT_TRUE(isSameExecutableName("Zwcad.Exe", "ZWCAD.exe"));
    EXPECT_FALSE(isSameExecutableName("acad.exe.bak", "acad.exe"));
    EXPECT_FALSE(isSameExecutableName("myacad.exe", "acad.exe"));
    EXPECT_FALSE(isSameExecutableName("", ""));
}

// The recorded hive is read from the file the variable names, on every
// system; without the variable it is empty, never the machine's own.
TEST(RecordedRegistry, ReadsTheNamedExportOnly)
{
    TempTree tree;
    RegText reg;
    reg.value("HKEY_CURRENT_USER\\Software\\Tarn", "Probe", "recorded");
    const QString file = tree.write("hive.reg", reg.utf16WithBom());
    const QByteArray saved = qgetenv("TARN3D_REGISTRY_FILE");

    qputenv("TARN3D_REGISTRY_FILE", file.toUtf8());
    QString error;
    auto registry = createRecordedRegistry(&error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(registry->readString("HKEY_CURRENT_USER\\Software\\Tarn", "Probe"), "recorded");

    qputenv("TARN3D_REGISTRY_FILE", tree.path("missing.reg").toUtf8());
    registry = createRecordedRegistry(&error);
    EXPECT_TRUE(error.contains("missing.reg")) << error.toStdString();
    EXPECT_TRUE(registry->subkeys("HKEY_CURRENT_USER\\Software").isEmpty());

    qunsetenv("TARN3D_REGISTRY_FILE");
    registry = createRecordedRegistry();
    EXPECT_TRUE(registry->subkeys("HKEY_CURRENT_USER\\Software").isEmpty());
    EXPECT_TRUE(registry->subkeys("HKEY_CURRENT_USER").isEmpty());
    if (!saved.isNull())
        qputenv("TARN3D_REGISTRY_FILE", saved);
}
