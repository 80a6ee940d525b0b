// Target detection from recorded registry hives and real folder trees.
#include "host_detector.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace tarn3d;
using namespace tarn3d::test;

namespace {

const QString kR2018 = QStringLiteral("R22.0");
const QString kAcad2018 = QStringLiteral("ACAD-2001:804");

QList<HostProfile> scan(const RegText& reg, HostFamily family = HostFamily::AutoCAD, bool x64 = true,
                        const QString& programFiles = QString())
{
    const auto registry = registryFrom(reg);
    const HostDetector detector(family, *registry, x64, [programFiles] { return programFiles; });
    return detector.scanHosts();
}

QStringList labels(const QList<HostProfile>& profiles, HostFamily family = HostFamily::AutoCAD)
{
    return labelTargets(profiles, oemLabels(family)).keys();
}

class DetectionTest : public ::testing::Test {
protected:
    TempTree tree;
    PluginDirs tarn = makePluginDirs(tree, "Tarn");
};

} // namespace

TEST_F(DetectionTest, OrdinaryProfileBecomesTargetWithItsFolders)
{
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "TARN10.1"), "ACAD", tarn.searchPath());
    const auto profiles = scan(reg);
    ASSERT_EQ(profiles.size(), 1);
    const HostProfile& p = profiles.first();
    EXPECT_EQ(p.productName, "AutoCAD2018");
    EXPECT_EQ(p.profileName, "TARN10.1");
    EXPECT_EQ(p.systemDir, tarn.system);
    EXPECT_EQ(p.binDir, tarn.bin);
    EXPECT_EQ(p.blocksDir, tarn.blocks);
    EXPECT_TRUE(p.extraSystemDir.isEmpty());
    EXPECT_FALSE(p.x86);
    EXPECT_FALSE(p.oem);
    // Capitals are shown with only the first letter upper case.
    EXPECT_EQ(labels(profiles), QStringList{"Tarn10.1 for AutoCAD2018 x64"});
}

TEST_F(DetectionTest, ThirtyTwoBitSystemMarksTargetsX86WithoutMarkerLookup)
{
    // The 64-bit marker would make it x64 on a 64-bit system.
    tree.write("Tarn/BIN/TarnRT64.dll", "x");
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "Tarn"), "ACAD", tarn.searchPath());
    reg.value(profileKey(kAutoCadWowRoot, "R23.0", kAcad2018, "Tarn"), "ACAD", tarn.searchPath());
    const auto profiles = scan(reg, HostFamily::AutoCAD, false);
    // Only the plain root is scanned on a 32-bit system.
    EXPECT_EQ(labels(profiles), QStringList{"Tarn for AutoCAD2018 x86"});
}

TEST_F(DetectionTest, OtherFamiliesFindNothingOnThirtyTwoBitSystem)
{
    PluginDirs zw = makePluginDirs(tree, "Zw", "zwcad.rx");
    PluginDirs gs = makePluginDirs(tree, "Gs", "gcad.rx");
    RegText reg;
    reg.value(profileKey(kZwcadRoot, "2022", "ZWCAD", "Tarn", "Config"), "ZWCADSEARCHPATH", zw.searchPath());
    reg.value(profileKey(kGstarRoot, "R22", "GCAD", "Tarn"), "GCAD", gs.searchPath());
    EXPECT_TRUE(scan(reg, HostFamily::ZWCAD, false).isEmpty());
    EXPECT_TRUE(scan(reg, HostFamily::GstarCAD, false).isEmpty());
    // The same hive on a 64-bit system does hold targets.
    EXPECT_EQ(labels(scan(reg, HostFamily::ZWCAD, true), HostFamily::ZWCAD), QStringList{"Tarn for ZWCAD2022 x64"});
    EXPECT_EQ(labels(scan(reg, HostFamily::GstarCAD, true), HostFamily::GstarCAD),
              QStringList{"Tarn for GCAD2022 x64"});
}

TEST_F(DetectionTest, BitnessFromReleaseAndMarkers)
{
    PluginDirs none = makePluginDirs(tree, "None");
    PluginDirs both = makePluginDirs(tree, "Both");
    tree.write("Both/BIN/TarnRT32.dll", "x");
    tree.write("Both/BIN/TarnRT64.dll", "x");
    PluginDirs only32 = makePluginDirs(tree, "Only32");
    tree.write("Only32/BIN/tarnrt32.DLL", "x"); // marker names ignore case
    PluginDirs only64 = makePluginDirs(tree, "Only64");
    tree.write("Only64/BIN/TARNRT64.dll", "x");

    EXPECT_EQ(HostDetector::pluginBitness(none.bin), 2);
    EXPECT_EQ(HostDetector::pluginBitness(both.bin), 2);
    EXPECT_EQ(HostDetector::pluginBitness(only32.bin), 1);
    EXPECT_EQ(HostDetector::pluginBitness(only64.bin), 0);
    EXPECT_EQ(HostDetector::pluginBitness(tree.path("missing")), 2);

    RegText reg;
    // AutoCAD 2008 is 32-bit whatever its BIN folder holds.
    reg.value(profileKey(kAutoCadRoot, "R17.1", "ACAD-6001:804", "TarnOld"), "ACAD", only64.searchPath());
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "TarnNone"), "ACAD", none.searchPath());
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "TarnBoth"), "ACAD", both.searchPath());
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "Tarn32"), "ACAD", only32.searchPath());
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "Tarn64"), "ACAD", only64.searchPath());
    // AutoCAD 2010 is the first release that can be 64-bit.
    reg.value(profileKey(kAutoCadRoot, "R18.0", "ACAD-8001:804", "Tarn2010"), "ACAD", none.searchPath());
    EXPECT_EQ(labels(scan(reg)), (QStringList{"Tarn2010 for AutoCAD2010 x64", "Tarn32 for AutoCAD2018 x86",
                                              "Tarn64 for AutoCAD2018 x64", "Tarnboth for AutoCAD2018 x64",
                                              "Tarnnone for AutoCAD2018 x64", "Tarnold for AutoCAD2008 x86"}));
}

TEST_F(DetectionTest, ProgramFilesEntryIsStoredExpandedWithoutX86Suffix)
{
    PluginDirs pf = makePluginDirs(tree, "Program Files/Tarn");
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "Tarn"), "ACAD",
              "%ProgramFiles%/Tarn/SYSTEM;%ProgramFiles%/Tarn/BIN;%programfiles%/Tarn/BLOCKS");
    const auto profiles = scan(reg, HostFamily::AutoCAD, true, tree.path("Program Files (x86)"));
    ASSERT_EQ(profiles.size(), 1);
    EXPECT_EQ(profiles.first().systemDir, pf.system);
    EXPECT_EQ(profiles.first().binDir, pf.bin);
    // The variable is expanded only in its exact spelling.
    EXPECT_EQ(profiles.first().blocksDir, "%programfiles%/Tarn/BLOCKS");
}

TEST_F(DetectionTest, SystemEntryCountsOnlyWithLoaderListAndFirstOneWins)
{
    const QString bare = tree.mkdir("Bare/SYSTEM");
    PluginDirs second = makePluginDirs(tree, "Second");
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "Tarn"), "ACAD",
              bare + ";" + tarn.system + ";" + second.system + ";" + tarn.bin);
    auto profiles = scan(reg);
    ASSERT_EQ(profiles.size(), 1);
    EXPECT_EQ(profiles.first().systemDir, tarn.system);

    RegText noList;
    noList.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "Tarn"), "ACAD", bare + ";" + tarn.bin);
    EXPECT_TRUE(scan(noList).isEmpty());

    RegText noBin;
    noBin.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "Tarn"), "ACAD", tarn.system + ";" + tarn.blocks);
    EXPECT_TRUE(scan(noBin).isEmpty());
}

TEST_F(DetectionTest, FennProfileMatchesFullPathAndTakesLastSystemEntry)
{
    const QString withList = tree.mkdir("Fenn/public/system");
    tree.write("Fenn/public/system/acad.rx", "x\r\n");
    const QString withoutList = tree.mkdir("Other/public/system");
    const QString bin = tree.mkdir("Fenn/public/bin");
    const QString blocks = tree.mkdir("Fenn/public/blocks");
    const QString fennSystem1 = tree.mkdir("Fenn/fenn/system");
    const QString fennSystem2 = tree.mkdir("Fenn2/Fenn/System");
    // A directory named only "system" does not end with "public/system".
    const QString plainSystem = tarn.system;
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "MyFennProfile"), "ACAD",
              plainSystem + ";" + withList + ";" + fennSystem1 + ";" + withoutList + ";" + bin + ";" + blocks + ";"
                  + fennSystem2 + ";" + tarn.bin);
    const auto profiles = scan(reg);
    ASSERT_EQ(profiles.size(), 1);
    const HostProfile& p = profiles.first();
    EXPECT_EQ(p.systemDir, withoutList); // a Fenn entry without the list still replaces
    EXPECT_EQ(p.binDir, bin);
    EXPECT_EQ(p.blocksDir, blocks);
    EXPECT_EQ(p.extraSystemDir, fennSystem2); // the last one wins
    EXPECT_EQ(labels(profiles), QStringList{"Myfennprofile for AutoCAD2018 x64"});
}

TEST_F(DetectionTest, BraeProfileIsFoundByTheEndOfTheFullPath)
{
    PluginDirs brae = makePluginDirs(tree, "Suite/brae");
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "BRAE2024"), "ACAD",
              tarn.system + ";" + tarn.bin + ";" + brae.searchPath() + ";");
    const auto profiles = scan(reg);
    ASSERT_EQ(profiles.size(), 1);
    EXPECT_EQ(profiles.first().systemDir, brae.system);
    EXPECT_EQ(profiles.first().binDir, brae.bin);
    EXPECT_EQ(profiles.first().blocksDir, brae.blocks);
    EXPECT_TRUE(profiles.first().extraSystemDir.isEmpty());
}

TEST_F(DetectionTest, UnknownReleaseGroupContributesNothing)
{
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, "R25.0", kAcad2018, "Tarn"), "ACAD", tarn.searchPath());
    reg.value(profileKey(kGstarRoot, "R21", "GCAD", "Tarn"), "GCAD", tarn.searchPath());
    EXPECT_TRUE(scan(reg).isEmpty());
    EXPECT_TRUE(scan(reg, HostFamily::GstarCAD).isEmpty());
}

TEST_F(DetectionTest, DuplicateLabelsKeepTheTargetFoundLast)
{
    PluginDirs later = makePluginDirs(tree, "Later");
    RegText reg;
    // Product groups are walked in name order: 2001 before 2002.
    reg.value(profileKey(kAutoCadRoot, kR2018, "ACAD-2002:804", "Tarn"), "ACAD", later.searchPath());
    reg.value(profileKey(kAutoCadRoot, kR2018, "ACAD-2001:804", "Tarn"), "ACAD", tarn.searchPath());
    const auto profiles = scan(reg);
    ASSERT_EQ(profiles.size(), 2);
    const auto entries = labelTargets(profiles, {});
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.first().binDir, later.bin);
}

TEST_F(DetectionTest, GeneralX86AloneIsAcceptedButReadsGeneral)
{
    RegText reg;
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "TarnOnlyX86", "General x86"), "ACAD", tarn.searchPath());
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "TarnBoth", "General x86"), "ACAD", "nothing");
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "TarnBoth", "General"), "acad", tarn.searchPath());
    reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "TarnLower", "general"), "ACAD", tarn.searchPath());
    // Only the profile with a "General" key holding the value is a target; group names are exact.
    EXPECT_EQ(labels(scan(reg)), QStringList{"Tarnboth for AutoCAD2018 x64"});
}

TEST_F(DetectionTest, ProfileNamesAcceptedAndRewritten)
{
    RegText reg;
    for (const char* name : {"KOV", "KOVplus", "yam", "Brae", "Somebody", "Mytarn"})
        reg.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, name), "ACAD",
                  QString(name) == "Brae" ? QString() : tarn.searchPath());
    const auto profiles = scan(reg);
    QStringList names;
    for (const HostProfile& p : profiles)
        names.append(p.profileName);
    // KOV becomes Lode; Somebody is not a Tarn profile; Brae has no search path.
    EXPECT_EQ(names, (QStringList{"Lode", "KOVplus", "Mytarn", "yam"}));
    EXPECT_EQ(labels(profiles), (QStringList{"Kovplus for AutoCAD2018 x64", "Lode for AutoCAD2018 x64",
                                             "Mytarn for AutoCAD2018 x64", "Yam for AutoCAD2018 x64"}));

    // The rewrite needs the exact spelling; a lower-case kov keeps its name.
    RegText lower;
    lower.value(profileKey(kAutoCadRoot, kR2018, kAcad2018, "kov"), "ACAD", tarn.searchPath());
    const auto lowerProfiles = scan(lower);
    ASSERT_EQ(lowerProfiles.size(), 1);
    EXPECT_EQ(lowerProfiles.first().profileName, "kov");
    EXPECT_EQ(labels(lowerProfiles), QStringList{"Kov for AutoCAD2018 x64"});
}

TEST_F(DetectionTest, ZwcadOemProfilesAreRenamedAndLabelled)
{
    PluginDirs zw = makePluginDirs(tree, "Zw", "zwcad.rx");
    RegText reg;
    reg.value(profileKey(kZwcadOemRoot, "2021", "ZWCAD", "Anything", "Config"), "ZWCADSEARCHPATH", zw.searchPath());
    reg.value(profileKey(kZwcadOemRoot, "2023", "ZWCAD", "Other", "Config"), "ZWCADSEARCHPATH", zw.searchPath());
    // ZWCAD wants "Config" and the zwcad.rx list; an acad.rx folder is not enough.
    reg.value(profileKey(kZwcadRoot, "2022", "ZWCAD", "Tarn", "Config"), "ZWCADSEARCHPATH", tarn.searchPath());
    const auto profiles = scan(reg, HostFamily::ZWCAD);
    ASSERT_EQ(profiles.size(), 2);
    EXPECT_TRUE(profiles.at(0).oem);
    EXPECT_EQ(profiles.at(0).profileName, "TARN11");
    EXPECT_EQ(labels(profiles, HostFamily::ZWCAD),
              (QStringList{"Tarn11 for  x64", "Tarn11 for ZWOEM x64"}));
}

TEST_F(DetectionTest, EmptyOrBrokenRegistryYieldsNothing)
{
    EXPECT_TRUE(scan(RegText()).isEmpty());
    RegText reg;
    reg.key(kAutoCadRoot + "\\R22.0\\ACAD-2001:804\\Profiles\\Tarn\\General");
    reg.raw("\"ACAD\"=dword:00000001");
    reg.raw("this line is garbage");
    EXPECT_TRUE(scan(reg).isEmpty());
}

TEST(TargetLabel, ModulePresenceNeedsABinFolder)
{
    TempTree tree;
    HostProfile profile;
    EXPECT_FALSE(moduleFilePresent(profile, HostFamily::AutoCAD));
    profile.binDir = tree.mkdir("BIN");
    EXPECT_FALSE(moduleFilePresent(profile, HostFamily::AutoCAD));
    tree.write("BIN/tarn3D.arx", "m");
    EXPECT_TRUE(moduleFilePresent(profile, HostFamily::AutoCAD));
    EXPECT_FALSE(moduleFilePresent(profile, HostFamily::ZWCAD));
}

TEST(FamilyConstants, EachFamilyHasItsOwnNamesRootsAndReleases)
{
    EXPECT_EQ(registryRoots(HostFamily::AutoCAD, true), (QStringList{kAutoCadRoot, kAutoCadWowRoot}));
    EXPECT_EQ(registryRoots(HostFamily::ZWCAD, true), (QStringList{kZwcadRoot, kZwcadOemRoot}));
    EXPECT_EQ(registryRoots(HostFamily::GstarCAD, true), QStringList{kGstarRoot});
    EXPECT_EQ(registryRoots(HostFamily::AutoCAD, false), QStringList{kAutoCadRoot});

    const QList<QStringList> rows = {
        // family word, search-path value, loader list, module file
        {"AutoCAD", "ACAD", "acad.rx", "tarn3D.arx"},
        {"ZWCAD", "ZWCADSEARCHPATH", "zwcad.rx", "tarn3D.zrx"},
        {"GCAD", "GCAD", "gcad.rx", "tarn3D.grx"},
    };
    const HostFamily families[] = {HostFamily::AutoCAD, HostFamily::ZWCAD, HostFamily::GstarCAD};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(familyWord(families[i]), rows[i][0]);
        EXPECT_EQ(searchPathKey(families[i]), rows[i][1]);
        EXPECT_EQ(loaderListName(families[i]), rows[i][2]);
        EXPECT_EQ(pluginFileName(families[i]), rows[i][3]);
    }
    EXPECT_EQ(profileSettingsPath(HostFamily::ZWCAD, "R", "2022", "P", "Tarn"), "R\\2022\\P\\Profiles\\Tarn\\Config");
    EXPECT_EQ(profileSettingsPath(HostFamily::GstarCAD, "R", "R22", "P", "Tarn"), "R\\R22\\P\\Profiles\\Tarn\\General");

    const auto acad = versionCatalogue(HostFamily::AutoCAD);
    EXPECT_EQ(acad.size(), 19);
    EXPECT_EQ(acad.value("R16.0"), "AutoCAD2004");
    EXPECT_EQ(acad.value("R17.2"), "AutoCAD2009");
    EXPECT_EQ(acad.value("R18.0"), "AutoCAD2010");
    EXPECT_EQ(acad.value("R20.1"), "AutoCAD2016");
    EXPECT_EQ(acad.value("R21.0"), "AutoCAD2017");
    EXPECT_EQ(acad.value("R23.1"), "AutoCAD2020");
    EXPECT_EQ(acad.value("R24.1"), "AutoCAD2022");
    const auto zw = versionCatalogue(HostFamily::ZWCAD);
    EXPECT_EQ(zw.keys(), (QStringList{"2020", "2021", "2022", "2023", "2024", "2025", "2026"}));
    EXPECT_EQ(zw.value("2026"), "ZWCAD2026");
    const auto gs = versionCatalogue(HostFamily::GstarCAD);
    EXPECT_EQ(gs.keys(), (QStringList{"R20", "R22", "R23", "R24", "R25"}));
    EXPECT_EQ(gs.value("R25"), "GCAD2025");

    EXPECT_TRUE(isOldRelease(HostFamily::AutoCAD, "2009"));
    EXPECT_FALSE(isOldRelease(HostFamily::AutoCAD, "2010"));
    EXPECT_FALSE(isOldRelease(HostFamily::ZWCAD, "2004"));
    EXPECT_EQ(oemLabels(HostFamily::ZWCAD).size(), 2);
    EXPECT_TRUE(oemLabels(HostFamily::AutoCAD).isEmpty());
    EXPECT_EQ(hostProcessName(), "acad.exe");
}
