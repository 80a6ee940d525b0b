// Where the pieces of one tile set live on disk, and the scene-graph reader's
// search path while the set is processed. Used by Fresco::start.
//
// Layout of a set whose root folder is R:
//   R/metadata.xml        origin of the local coordinates (SRSOrigin)
//   R/Data/T/T.osgb       root file of the tile whose folder is named T
#pragma once

#include <QString>
#include <QStringList>

#include <osgDB/FileUtils>

namespace fresco {

struct TileSetLocation
{
    QString root;          // absolute folder of the entry
    QString baseName;      // entry's file name up to the first dot
    QString dataFolder;    // root + "/Data"
    QString metadataFile;  // root + "/metadata.xml"
};

// An entry names a file inside the set's root folder; the file itself is
// never opened. An entry naming the root folder itself yields its parent as
// root and the folder's own name as base name.
TileSetLocation locateTileSet(const QString &entry);

// Tile names T of the real subfolders of `dataFolder` (no files, no symbolic
// links, no "." or ".."), in the order the file system returns them. Each name
// is the folder's base name, up to its first dot.
QStringList listTileNames(const QString &dataFolder);

// root + "/Data" + "/" + T + "/" + T + ".osgb"
QString tileRootFile(const QString &root, const QString &tileName);

// Replaces osgDB's global data file path list with (root, root/Data) for its
// lifetime, so relative level files resolve inside the set, and puts the
// saved list back on restore() or destruction, whichever comes first.
class ReaderPathScope
{
public:
    explicit ReaderPathScope(const QString &root);
    ~ReaderPathScope();

    ReaderPathScope(const ReaderPathScope &) = delete;
    ReaderPathScope &operator=(const ReaderPathScope &) = delete;

    void restore();

private:
    osgDB::FilePathList m_saved;
    bool m_restored = false;
};

} // namespace fresco
