// Command line of fresco-render:
//   fresco-render [--resolution R] [--split L] [--format .tif|.img]
//                 [--background N] [--co NAME=VALUE]... [--overviews] [--mask]
//                 [--supersample N] [--tap] [-q] --output DIR TILESET...
// A TILESET is a file in, or the folder of, a tile set's root.
#pragma once

#include <QString>
#include <QStringList>

namespace fresco::cli {

struct RenderOptions
{
    double resolution = 0.2;
    double splitLen = 0.0;
    QString format = QStringLiteral(".tif");
    int background = 0;
    QStringList creationOptions;  // NAME=VALUE, in the order given
    bool overviews = false;
    bool mask = false;
    int supersample = 1;
    bool targetAligned = false;
    bool quiet = false;  // errors only
    QString outputFolder;
    // Entries for Fresco::start, one per tile set.
    QStringList entries;
};

struct ParsedCommandLine
{
    enum class Outcome { Run, Help, Version, UsageError };
    Outcome outcome = Outcome::UsageError;
    RenderOptions options;
    QString error;  // set for UsageError
};

// `arguments` excludes the program name.
ParsedCommandLine parseCommandLine(const QStringList &arguments);

// Turns a TILESET argument into an entry: a folder R becomes R/<name of R>, so
// that R is the set's root and its name names the rasters; a file stays as it
// is. Empty when the path does not exist.
QString entryForTileSet(const QString &path);

QString usageText();

} // namespace fresco::cli
