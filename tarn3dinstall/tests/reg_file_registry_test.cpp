// The .reg export reader standing in for the registry on other systems.
#include "reg_file_registry.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace tarn3d;
using namespace tarn3d::test;

TEST(RegFileRegistry, ReadsUtf16ExportWithEscapesAndValueKinds)
{
    RegText reg;
    const QString key = "HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R22.0\\ACAD-2001:804\\Profiles\\天地\\General";
    reg.value(key, "ACAD", "C:\\Tarn\\SYSTEM;D:\\\"quoted\"\\BIN");
    reg.raw("\"Number\"=dword:0000001f");
    // "C:\A" as an expandable string, split over two lines.
    reg.raw("\"Expand\"=hex(2):43,00,3a,00,5c,00,\\");
    reg.raw("  41,00,00,00");
    reg.raw("\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00");
    reg.raw("\"Blob\"=hex:01,02");
    reg.raw("@=\"default\"");

    RegFileRegistry registry;
    ASSERT_TRUE(registry.parse(reg.utf16WithBom())) << registry.errorString().toStdString();
    EXPECT_EQ(registry.skippedLines(), 0);
    EXPECT_EQ(registry.readString(key, "ACAD"), "C:\\Tarn\\SYSTEM;D:\\\"quoted\"\\BIN");
    EXPECT_EQ(registry.readString(key, "number"), "31");
    EXPECT_EQ(registry.readString(key, "Expand"), "C:\\A");
    EXPECT_EQ(registry.readString(key, "Multi"), "a\nb");
    EXPECT_EQ(registry.readString(key, "Blob"), "");
    EXPECT_EQ(registry.readString(key, ""), "default");
    EXPECT_EQ(registry.valueNames(key), (QStringList{"", "ACAD", "Blob", "Expand", "Multi", "Number"}));
    // Parent keys exist implicitly; names match ignoring case, HKCU included.
    EXPECT_EQ(registry.subkeys("hkcu\\software\\AUTODESK\\AutoCAD\\R22.0\\ACAD-2001:804\\Profiles"),
              QStringList{"天地"});
    EXPECT_EQ(registry.readString(key.toUpper(), "acad"), registry.readString(key, "ACAD"));
}

TEST(RegFileRegistry, SubkeysSortedAndDeletionsApplied)
{
    RegText reg;
    reg.key("HKEY_CURRENT_USER\\Software\\b");
    reg.key("HKEY_CURRENT_USER\\Software\\B2");
    reg.key("HKEY_CURRENT_USER\\Software\\A");
    reg.value("HKEY_CURRENT_USER\\Software\\Gone\\Child", "x", "1");
    reg.value("HKEY_CURRENT_USER\\Software\\A", "keep", "1");
    reg.raw("\"drop\"=\"2\"");
    reg.raw("\"drop\"=-");
    reg.raw("[-HKEY_CURRENT_USER\\Software\\Gone]");
    const auto registry = registryFrom(reg);
    EXPECT_EQ(registry->subkeys("HKEY_CURRENT_USER\\Software"), (QStringList{"A", "B2", "b"}));
    EXPECT_EQ(registry->valueNames("HKEY_CURRENT_USER\\Software\\A"), QStringList{"keep"});
    EXPECT_TRUE(registry->subkeys("HKEY_CURRENT_USER\\Software\\Gone").isEmpty());
    EXPECT_TRUE(registry->readString("HKEY_CURRENT_USER\\Software\\Missing", "x").isEmpty());
}

TEST(RegFileRegistry, RejectsFilesWithoutHeaderAndSkipsGarbage)
{
    RegFileRegistry registry;
    EXPECT_FALSE(registry.parse("[HKEY_CURRENT_USER\\Software]\n\"a\"=\"b\"\n"));
    EXPECT_FALSE(registry.errorString().isEmpty());
    EXPECT_TRUE(registry.subkeys("HKEY_CURRENT_USER").isEmpty());
    EXPECT_FALSE(registry.parse(QByteArray()));
    EXPECT_FALSE(registry.parse(QByteArray("\xFF\xFE\x00", 3)));

    const QByteArray messy = "REGEDIT4\n"
                             "\"orphan\"=\"value before any key\"\n"
                             "[HKEY_CURRENT_USER\\K]\n"
                             "\"ok\"=\"yes\"\n"
                             "\"unterminated=\"x\n"
                             "\"bad\"=dword:zz\n"
                             "\"hex\"=hex(2):4g\n"
                             "[broken\n"
                             "\"after\"=\"lost\"\n";
    ASSERT_TRUE(registry.parse(messy));
    EXPECT_EQ(registry.skippedLines(), 6);
    EXPECT_EQ(registry.valueNames("HKEY_CURRENT_USER\\K"), QStringList{"ok"});
}

TEST(RegFileRegistry, LoadReportsMissingFile)
{
    TempTree tree;
    RegFileRegistry registry;
    EXPECT_FALSE(registry.load(tree.path("none.reg")));
    EXPECT_TRUE(registry.errorString().contains("none.reg"));
    RegText reg;
    reg.value("HKEY_CURRENT_USER\\X", "v", "w");
    const QString file = tree.write("ok.reg", reg.utf8());
    EXPECT_TRUE(registry.load(file));
    EXPECT_EQ(registry.readString("HKEY_CURRENT_USER\\X", "v"), "w");
}

TEST(RegFileRegistry, OverDeepKeyIsSkippedNotFollowed)
{
    // Hundreds of thousands of nested levels once exhausted the stack.
    QStringList parts{"HKEY_CURRENT_USER"};
    for (int i = 0; i < 200000; ++i)
        parts.append("k");
    QStringList allowed{"HKEY_CURRENT_USER"};
    for (int i = 1; i < 512; ++i)
        allowed.append("k");
    RegText reg;
    reg.value(parts.join('\\'), "deep", "1");
    reg.value(allowed.join('\\'), "ok", "2");
    RegFileRegistry registry;
    ASSERT_TRUE(registry.parse(reg.utf8()));
    EXPECT_EQ(registry.skippedLines(), 2); // the key line and its value
    EXPECT_EQ(registry.readString(allowed.join('\\'), "ok"), "2");
    EXPECT_TRUE(registry.readString(parts.join('\\'), "deep").isEmpty());
}
