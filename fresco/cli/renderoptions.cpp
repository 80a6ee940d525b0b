#include "renderoptions.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <cmath>

namespace fresco::cli {

namespace {

bool takeValue(const QStringList &arguments, int &i, const QString &name, QString &value,
               QString &error)
{
    const QString &argument = arguments.at(i);
    const QString prefix = name + QLatin1Char('=');
    if (argument.startsWith(prefix)) {
        value = argument.mid(prefix.size());
        return true;
    }
    if (i + 1 >= arguments.size()) {
        error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    value = arguments.at(++i);
    return true;
}

bool isOption(const QString &argument, const QString &name)
{
    return argument == name || argument.startsWith(name + QLatin1Char('='));
}

ParsedCommandLine usageError(const QString &text)
{
    ParsedCommandLine parsed;
    parsed.outcome = ParsedCommandLine::Outcome::UsageError;
    parsed.error = text;
    return parsed;
}

} // namespace

// How a run is stopped differs: console events on Windows, signals elsewhere.
const char *const kStopText =
#ifdef _WIN32
        "Ctrl+C, Ctrl+Break and closing the console stop the job after the tile\n"
        "being rendered and remove unfinished files (a closed console allows a few\n"
        "seconds). Step markers go to D:/tarn3dLog.txt, or to tarn3dLog.txt in\n"
        "%LOCALAPPDATA% when drive D: cannot take them.\n"
        "\n"
        "Exit status: 0 when the job finished without errors, 1 when any error was\n"
        "reported, 2 on a usage error, 130 when stopped by Ctrl+C or Ctrl+Break,\n"
        "143 when stopped by closing the console, logging off or shutting down.\n";
#else
        "SIGINT, SIGTERM and SIGHUP stop the job after the tile being rendered and\n"
        "remove unfinished files.\n"
        "\n"
        "Exit status: 0 when the job finished without errors, 1 when any error was\n"
        "reported, 2 on a usage error, 128 + N when stopped by signal N.\n";
#endif

QString usageText()
{
    const QString general = QStringLiteral(
        "Usage: fresco-render [--resolution R] [--split L] [--format .tif|.img]\n"
        "                     [--background N] [--co NAME=VALUE]... [--overviews]\n"
        "                     [--mask] [--supersample N] [--tap] [-q]\n"
        "                     --output DIR TILESET...\n"
        "\n"
        "Renders every tile of each oblique-photogrammetry tile set straight down\n"
        "and writes one georeferenced RGB raster per set into DIR.\n"
        "\n"
        "  TILESET           a file in, or the folder of, a tile set's root (the\n"
        "                    folder holding metadata.xml and Data/); a set's\n"
        "                    rasters are named after it (NAME), so two sets of\n"
        "                    one name need separate runs\n"
        "  --output DIR      existing folder for the rasters (required)\n"
        "  --resolution R    ground units per pixel, > 0 (default 0.2); one tile's\n"
        "                    picture may have at most 268435456 (2^28) pixels, so\n"
        "                    a tile of W x H ground units needs\n"
        "                    (W/R + 1) x (H/R + 1) x N x N <= 268435456 (N of\n"
        "                    --supersample); larger tiles are reported and left\n"
        "                    out of the raster\n"
        "  --split L         cut each raster into L x L ground-unit pieces named\n"
        "                    NAME_row_col; 0 writes one raster (default 0);\n"
        "                    otherwise L must be at least R; every piece is\n"
        "                    ceil(L/R) pixels a side on one pixel grid, starting\n"
        "                    at the pixel at or north-west of its corner, so\n"
        "                    neighbours may overlap by a pixel but leave no gap\n"
        "  --format F        .tif (GeoTIFF, default) or .img (ERDAS Imagine); the\n"
        "                    dot may be left out\n"
        "  --background N    0 (the default) fills uncovered pixels black, other\n"
        "                    values white\n"
        "  --co NAME=VALUE   creation option for the raster driver, as in GDAL's\n"
        "  -co NAME=VALUE    tools (repeatable), e.g. --co COMPRESS=DEFLATE;\n"
        "                    compressed GeoTIFFs are tiled 256 x 256 unless TILED\n"
        "                    is given; GeoTIFFs that may pass 4 GB get\n"
        "                    BIGTIFF=IF_SAFER unless BIGTIFF is given\n"
        "  --supersample N   average N x N drawn sub-pixels per pixel, 1 to 16\n"
        "                    (default 1); smoother edges, about N x N times the\n"
        "                    drawing work\n"
        "  --tap             snap the rasters' pixel grid to whole multiples of R\n"
        "                    in the set's coordinates, as GDAL's -tap\n"
        "  -q, --quiet       print errors only\n"
        "  --overviews       build internal overviews (average) into each raster\n"
        "  --mask            add a mask band: pixels no tile covered are masked\n"
        "                    out (shown transparent), their colour stays\n"
        "  --help            show this text\n"
        "  --version         show the program's version\n"
        "\n"
        "The coordinate system named by a set's metadata.xml (SRS) is written into\n"
        "its rasters; one that cannot be understood gives a warning, not an error.\n"
        "Rasters are written as NAME.part.tif (.img) and renamed when complete;\n"
        "each one written is named on a line of its own. A set whose rendering\n"
        "reported an error is written as NAME.partial.tif (.img) and never replaces\n"
        "NAME.tif.\n");
    return general + QLatin1String(kStopText);
}

QString entryForTileSet(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    if (info.isDir()) {
        const QString root = QDir::cleanPath(info.absoluteFilePath());
        return root + QLatin1Char('/') + QDir(root).dirName();
    }
    return info.absoluteFilePath();
}

ParsedCommandLine parseCommandLine(const QStringList &arguments)
{
    ParsedCommandLine parsed;
    RenderOptions &options = parsed.options;
    bool haveOutput = false;
    QStringList tileSets;

    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        QString value;
        QString error;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            parsed.outcome = ParsedCommandLine::Outcome::Help;
            return parsed;
        } else if (argument == QLatin1String("--version")) {
            parsed.outcome = ParsedCommandLine::Outcome::Version;
            return parsed;
        } else if (argument == QLatin1String("--overviews")) {
            options.overviews = true;
        } else if (argument == QLatin1String("--mask")) {
            options.mask = true;
        } else if (argument == QLatin1String("--tap")) {
            options.targetAligned = true;
        } else if (argument == QLatin1String("-q") || argument == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (isOption(argument, QStringLiteral("--supersample"))) {
            if (!takeValue(arguments, i, QStringLiteral("--supersample"), value, error))
                return usageError(error);
            bool ok = false;
            options.supersample = value.toInt(&ok);
            if (!ok || options.supersample < 1 || options.supersample > 16)
                return usageError(QStringLiteral("--supersample must be 1 to 16: %1").arg(value));
        } else if (isOption(argument, QStringLiteral("--co"))
                   || isOption(argument, QStringLiteral("-co"))) {
            const QString name = argument.startsWith(QLatin1String("--")) ? QStringLiteral("--co")
                                                                           : QStringLiteral("-co");
            if (!takeValue(arguments, i, name, value, error))
                return usageError(error);
            if (value.section(QLatin1Char('='), 0, 0).trimmed().isEmpty()
                || !value.contains(QLatin1Char('=')))
                return usageError(QStringLiteral("--co needs NAME=VALUE: %1").arg(value));
            options.creationOptions.append(value);
        } else if (isOption(argument, QStringLiteral("--resolution"))) {
            if (!takeValue(arguments, i, QStringLiteral("--resolution"), value, error))
                return usageError(error);
            bool ok = false;
            options.resolution = value.toDouble(&ok);
            if (!ok || !(options.resolution > 0.0) || !std::isfinite(options.resolution))
                return usageError(QStringLiteral("--resolution must be a number above 0: %1").arg(value));
        } else if (isOption(argument, QStringLiteral("--split"))) {
            if (!takeValue(arguments, i, QStringLiteral("--split"), value, error))
                return usageError(error);
            bool ok = false;
            options.splitLen = value.toDouble(&ok);
            if (!ok || !(options.splitLen >= 0.0) || !std::isfinite(options.splitLen))
                return usageError(QStringLiteral("--split must be a number of at least 0: %1").arg(value));
        } else if (isOption(argument, QStringLiteral("--format"))) {
            if (!takeValue(arguments, i, QStringLiteral("--format"), value, error))
                return usageError(error);
            const QString format = value.startsWith(QLatin1Char('.')) ? value
                                                                      : QLatin1Char('.') + value;
            if (format != QLatin1String(".tif") && format != QLatin1String(".img"))
                return usageError(QStringLiteral("--format must be .tif or .img: %1").arg(value));
            options.format = format;
        } else if (isOption(argument, QStringLiteral("--background"))) {
            if (!takeValue(arguments, i, QStringLiteral("--background"), value, error))
                return usageError(error);
            bool ok = false;
            options.background = value.toInt(&ok);
            if (!ok)
                return usageError(QStringLiteral("--background must be an integer: %1").arg(value));
        } else if (isOption(argument, QStringLiteral("--output"))) {
            if (!takeValue(arguments, i, QStringLiteral("--output"), value, error))
                return usageError(error);
            options.outputFolder = value;
            haveOutput = true;
        } else if (argument.startsWith(QLatin1String("--")) && argument != QLatin1String("--")) {
            return usageError(QStringLiteral("unknown option: %1").arg(argument));
        } else if (argument == QLatin1String("--")) {
            tileSets += arguments.mid(i + 1);
            break;
        } else {
            tileSets.append(argument);
        }
    }

    if (!haveOutput || options.outputFolder.isEmpty())
        return usageError(QStringLiteral("--output DIR is required"));
    const QFileInfo output(options.outputFolder);
    if (!output.exists())
        return usageError(QStringLiteral("output folder does not exist: %1").arg(options.outputFolder));
    if (!output.isDir())
        return usageError(QStringLiteral("--output is not a folder: %1").arg(options.outputFolder));
    // Pieces are trunc(L / R) pixels wide: below one pixel nothing could be
    // written.
    if (options.splitLen > 0.0 && options.splitLen < options.resolution)
        return usageError(QStringLiteral("--split %1 is less than one pixel at --resolution %2: "
                                         "use 0 for one raster, or at least %2")
                              .arg(QString::number(options.splitLen),
                                   QString::number(options.resolution)));
    options.outputFolder = QDir::cleanPath(QDir(options.outputFolder).absolutePath());
    if (tileSets.isEmpty())
        return usageError(QStringLiteral("no TILESET given"));
    // The rasters of a set are named after its entry's base name: two
    // different sets of one name would write the same files.
    QMap<QString, QString> rootByName;
    QMap<QString, QString> argumentByName;
    for (const QString &tileSet : tileSets) {
        const QString entry = entryForTileSet(tileSet);
        if (entry.isEmpty())
            return usageError(QStringLiteral("no such tile set: %1").arg(tileSet));
        const QFileInfo entryInfo(entry);
        const QString name = entryInfo.baseName();
        const QString root = QFileInfo(entryInfo.absolutePath()).canonicalFilePath();
        const auto known = rootByName.constFind(name);
        if (known != rootByName.constEnd() && known.value() != root)
            return usageError(QStringLiteral("tile sets %1 and %2 would both write rasters named "
                                             "%3: render them into different output folders")
                                  .arg(argumentByName.value(name), tileSet, name));
        rootByName.insert(name, root);
        argumentByName.insert(name, tileSet);
        options.entries.append(entry);
    }
    parsed.outcome = ParsedCommandLine::Outcome::Run;
    return parsed;
}

} // namespace fresco::cli
