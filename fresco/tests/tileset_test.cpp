// Tile-set discovery: the origin from metadata.xml, the tile listing, the
// tile root path and the reader's data path list.
#include "test_access.h"

#include "errorguard.h"
#include "tileset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <osgDB/FileUtils>
#include <osgDB/Registry>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QString kProduction =
    QStringLiteral(QUILLFEN_SOURCE_DIR "/../shared/testdata/osgb/Production_5");

class OriginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        fresco.setErrorLog([this](QString text) { messages.push_back(text); });
    }

    QString writeXml(const QByteArray &content)
    {
        const QString path = dir.path() + QStringLiteral("/metadata.xml");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        return path;
    }

    osg::Vec3d originOf(const QByteArray &srsOrigin)
    {
        return FrescoTestAccess::getOffsetFromXML(
            fresco, writeXml("<?xml version=\"1.0\"?>\n<ModelMetadata version=\"1\">"
                             + srsOrigin + "</ModelMetadata>\n"));
    }

    static QString guardText()
    {
        return fresco::ErrorGuard::reportText(QStringLiteral("Fresco::getOffsetFromXML"));
    }

    QTemporaryDir dir;
    Fresco fresco;
    QStringList messages;
};

TEST_F(OriginTest, ReadsTheRealTileSetOrigin)
{
    const osg::Vec3d origin =
        FrescoTestAccess::getOffsetFromXML(fresco, kProduction + QStringLiteral("/metadata.xml"));
    EXPECT_DOUBLE_EQ(origin.x(), 501027.524);
    EXPECT_DOUBLE_EQ(origin.y(), 2488718.808);
    EXPECT_DOUBLE_EQ(origin.z(), 0.0);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(OriginTest, TrimsPartsAndTakesTheFirstElementAnywhere)
{
    EXPECT_EQ(originOf("<SRSOrigin> 10.5, 20 ,0 </SRSOrigin>"), osg::Vec3d(10.5, 20, 0));
    EXPECT_EQ(originOf("<A><B><SRSOrigin>-1.25,2e3,7</SRSOrigin></B></A>"
                       "<SRSOrigin>9,9,9</SRSOrigin>"),
              osg::Vec3d(-1.25, 2000, 7));
    EXPECT_EQ(originOf("<SRSOrigin>1,2,3,4</SRSOrigin>"), osg::Vec3d(1, 2, 3));
    EXPECT_EQ(originOf("<SRSOrigin>a,2,3</SRSOrigin>"), osg::Vec3d(0, 2, 3));
    EXPECT_EQ(originOf("<SRSOrigin>1,,3</SRSOrigin>"), osg::Vec3d(1, 0, 3));
    EXPECT_EQ(originOf("<SRSOrigin>1;5,2,nan</SRSOrigin>"), osg::Vec3d(0, 2, 0));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(OriginTest, MissingOrMalformedFileReportsParseFailureThenGuard)
{
    const QString missing = dir.path() + QStringLiteral("/nowhere/metadata.xml");
    EXPECT_EQ(FrescoTestAccess::getOffsetFromXML(fresco, missing), osg::Vec3d(0, 0, 0));
    EXPECT_EQ(messages, (QStringList{QStringLiteral("parse xml file failed:") + missing,
                                     guardText()}));

    messages.clear();
    const QString broken = writeXml("<ModelMetadata><SRSOrigin>1,2,3</SRSOrigin>");
    EXPECT_EQ(FrescoTestAccess::getOffsetFromXML(fresco, broken), osg::Vec3d(0, 0, 0));
    EXPECT_EQ(messages, (QStringList{QStringLiteral("parse xml file failed:") + broken,
                                     guardText()}));

    messages.clear();
    EXPECT_EQ(FrescoTestAccess::getOffsetFromXML(fresco, dir.path()), osg::Vec3d(0, 0, 0));
    EXPECT_EQ(messages.size(), 2);
}

TEST_F(OriginTest, AbsentShortOrEmptyOriginGivesZeroWithGuardOnly)
{
    const QByteArray cases[] = {
        "<SRS>none</SRS>",
        "<SRSOrigin>1,2</SRSOrigin>",
        "<SRSOrigin>7</SRSOrigin>",
        "<SRSOrigin></SRSOrigin>",
        "<SRSOrigin/>",
        "<SRSOrigin><X>1,2,3</X></SRSOrigin>",
    };
    for (const QByteArray &c : cases) {
        messages.clear();
        EXPECT_EQ(originOf(c), osg::Vec3d(0, 0, 0)) << c.constData();
        EXPECT_EQ(messages, QStringList{guardText()}) << c.constData();
    }

    // The document element itself does not count as "below" it.
    messages.clear();
    EXPECT_EQ(FrescoTestAccess::getOffsetFromXML(fresco, writeXml("<SRSOrigin>1,2,3</SRSOrigin>")),
              osg::Vec3d(0, 0, 0));
    EXPECT_EQ(messages, QStringList{guardText()});
}

TEST_F(OriginTest, SilentWithoutErrorCallback)
{
    Fresco quiet;
    EXPECT_EQ(FrescoTestAccess::getOffsetFromXML(quiet, dir.path() + QStringLiteral("/none")),
              osg::Vec3d(0, 0, 0));
    EXPECT_TRUE(messages.isEmpty());
}

TEST(TileSetLocation, EntryFileOrRootFolder)
{
    // "/data" is absolute on Windows too, on the current drive.
    const QString sets = QFileInfo(QStringLiteral("/data/sets")).absoluteFilePath();
    const fresco::TileSetLocation fromFile =
        fresco::locateTileSet(QStringLiteral("/data/sets/Production_5/scene.v2.osgb"));
    EXPECT_EQ(fromFile.root, sets + QStringLiteral("/Production_5"));
    EXPECT_EQ(fromFile.baseName, QStringLiteral("scene"));
    EXPECT_EQ(fromFile.dataFolder, sets + QStringLiteral("/Production_5/Data"));
    EXPECT_EQ(fromFile.metadataFile, sets + QStringLiteral("/Production_5/metadata.xml"));

    const fresco::TileSetLocation fromFolder = fresco::locateTileSet(kProduction);
    EXPECT_EQ(fromFolder.root, QDir(kProduction + QStringLiteral("/..")).absolutePath());
    EXPECT_EQ(fromFolder.baseName, QStringLiteral("Production_5"));

    const fresco::TileSetLocation relative = fresco::locateTileSet(QStringLiteral("a/b.txt"));
    EXPECT_EQ(relative.root, QDir::current().absoluteFilePath(QStringLiteral("a")));
}

TEST(TileListing, RealFoldersOnlyByBaseName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString data = dir.path() + QStringLiteral("/Data");
    ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("/Tile_+000_+001")));
    ASSERT_TRUE(QDir().mkpath(data + QStringLiteral("/Tile_01.part")));
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/elsewhere")));
    QFile file(data + QStringLiteral("/Tile_02"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/elsewhere"),
                            data + QStringLiteral("/Tile_03")));

    QStringList names = fresco::listTileNames(data);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (QStringList{QStringLiteral("Tile_+000_+001"), QStringLiteral("Tile_01")}));

    EXPECT_EQ(fresco::tileRootFile(dir.path(), QStringLiteral("Tile_01")),
              dir.path() + QStringLiteral("/Data/Tile_01/Tile_01.osgb"));
    EXPECT_FALSE(QFile::exists(fresco::tileRootFile(dir.path(), QStringLiteral("Tile_01"))));

    EXPECT_TRUE(fresco::listTileNames(dir.path() + QStringLiteral("/missing")).isEmpty());
    EXPECT_TRUE(fresco::listTileNames(dir.path() + QStringLiteral("/elsewhere")).isEmpty());
}

TEST(TileListing, RealTileSetRootFilesExist)
{
    QStringList names = fresco::listTileNames(kProduction + QStringLiteral("/Data"));
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names, (QStringList{QStringLiteral("Tile_+000_+012"),
                                  QStringLiteral("Tile_+000_+013")}));
    for (const QString &name : names)
        EXPECT_TRUE(QFile::exists(fresco::tileRootFile(kProduction, name))) << name.toStdString();
}

TEST(ReaderPathScope, ReplacesAndRestoresTheDataPathList)
{
    osgDB::FilePathList &paths = osgDB::Registry::instance()->getDataFilePathList();
    const osgDB::FilePathList before = {"/host/one", "/host/two", "/host/three"};
    paths = before;
    {
        fresco::ReaderPathScope scope(kProduction);
        const std::string root = kProduction.toLocal8Bit().toStdString();
        EXPECT_EQ(paths, (osgDB::FilePathList{root, root + "/Data"}));
        // Level files are named relative to their tile folder; the list lets
        // them resolve inside the set.
        const std::string found = osgDB::findDataFile("Tile_+000_+013/Tile_+000_+013_L15_0u.osgb");
        EXPECT_EQ(QFileInfo(QString::fromStdString(found)).canonicalFilePath(),
                  QFileInfo(kProduction
                            + QStringLiteral("/Data/Tile_+000_+013/Tile_+000_+013_L15_0u.osgb"))
                      .canonicalFilePath());
        EXPECT_FALSE(found.empty());
        scope.restore();
        EXPECT_EQ(paths, before);
        paths.push_back("/added/by/someone");
    }
    // Restoring is done once; the destructor leaves a later list alone.
    EXPECT_EQ(paths.size(), before.size() + 1);

    paths = before;
    {
        fresco::ReaderPathScope scope(QStringLiteral("/tmp/set"));
        EXPECT_EQ(paths.size(), 2u);
    }
    EXPECT_EQ(paths, before);
    paths.clear();
}

} // namespace
