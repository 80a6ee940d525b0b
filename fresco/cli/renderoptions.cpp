#include "renderoptions.h"

#include <QDir>
#include <QFileInfo>

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

QString usageText()
{
    return QStringLiteral(
        "Usage: fresco-render [--resolution R] [--split L] [--format .tif|.img]\n"
        "                     [--background N] --output DIR TILESET...\n"
        "\n"
        "Renders every tile of each oblique-photogrammetry tile set straight down\n"
        "and writes one georeferenced RGB raster per set into DIR.\n"
        "\n"
        "  TILESET           a file in, or the folder of, a tile set's root (the\n"
        "                    folder holding metadata.xml and Data/)\n"
        "  --output DIR      existing folder for the rasters (required)\n"
        "  --resolution R    ground units per pixel, > 0 (default 0.2)\n"
        "  --split L         cut each raster into L x L ground-unit pieces named\n"
        "                    NAME_row_col; 0 writes one raster (default 0)\n"
        "  --format F        .tif (GeoTIFF, default) or .img (ERDAS Imagine)\n"
        "  --background N    0 fills uncovered pixels black, other values white\n"
        "  --help            show this text\n"
        "\n"
        "Exit status: 0 when the job finished without errors, 1 when any error was\n"
        "reported, 2 on a usage error.\n");
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
            if (value != QLatin1String(".tif") && value != QLatin1String(".img"))
                return usageError(QStringLiteral("--format must be .tif or .img: %1").arg(value));
            options.format = value;
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
    if (!output.isDir())
        return usageError(QStringLiteral("output folder does not exist: %1").arg(options.outputFolder));
    options.outputFolder = QDir::cleanPath(QDir(options.outputFolder).absolutePath());
    if (tileSets.isEmpty())
        return usageError(QStringLiteral("no TILESET given"));
    for (const QString &tileSet : tileSets) {
        const QString entry = entryForTileSet(tileSet);
        if (entry.isEmpty())
            return usageError(QStringLiteral("no such tile set: %1").arg(tileSet));
        options.entries.append(entry);
    }
    parsed.outcome = ParsedCommandLine::Outcome::Run;
    return parsed;
}

} // namespace fresco::cli
