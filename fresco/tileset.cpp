#include "tileset.h"

#include <QDir>
#include <QFileInfo>

#include <osgDB/Registry>

namespace fresco {

TileSetLocation locateTileSet(const QString &entry)
{
    const QFileInfo info(entry);
    TileSetLocation location;
    location.root = info.absolutePath();
    location.baseName = info.baseName();
    location.dataFolder = location.root + QStringLiteral("/Data");
    location.metadataFile = location.root + QStringLiteral("/metadata.xml");
    return location;
}

QStringList listTileNames(const QString &dataFolder)
{
    const QFileInfoList entries = QDir(dataFolder).entryInfoList(
        QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::NoSort);
    QStringList names;
    names.reserve(entries.size());
    for (const QFileInfo &entry : entries)
        names.append(entry.baseName());
    return names;
}

QString tileRootFile(const QString &root, const QString &tileName)
{
    return root + QStringLiteral("/Data") + QLatin1Char('/') + tileName + QLatin1Char('/')
           + tileName + QStringLiteral(".osgb");
}

ReaderPathScope::ReaderPathScope(const QString &root)
{
    osgDB::FilePathList &paths = osgDB::Registry::instance()->getDataFilePathList();
    m_saved = paths;
    paths.clear();
    paths.push_back(root.toLocal8Bit().toStdString());
    paths.push_back((root + QStringLiteral("/Data")).toLocal8Bit().toStdString());
}

ReaderPathScope::~ReaderPathScope()
{
    restore();
}

void ReaderPathScope::restore()
{
    if (m_restored)
        return;
    m_restored = true;
    osgDB::FilePathList &paths = osgDB::Registry::instance()->getDataFilePathList();
    paths.clear();
    paths = m_saved;
}

} // namespace fresco
