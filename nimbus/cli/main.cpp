// nimbusconvert: the headless twin of the conversion window. Converts every
// file named on the command line (or found in a folder named there) into an
// ilas file beside it or in an output folder, with the same driver and
// readers, and reports on the console instead of in a window.

#include "consolereport.h"
#include "consoletext.h"
#include "fastconvertor.h"
#include "outputnames.h"
#include "stopsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define NIMBUS_ISATTY _isatty
#define NIMBUS_FILENO _fileno
#else
#include <unistd.h>
#define NIMBUS_ISATTY isatty
#define NIMBUS_FILENO fileno
#endif

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: nimbusconvert [OPTION]... [--] INPUT...\n"
    "\n"
    "Converts point-cloud files into ilas files. Each INPUT is a file, or a\n"
    "folder whose supported files (directly inside it, not in subfolders) are\n"
    "converted in name order. Each file is written as NAME.ilas (the name\n"
    "without its last suffix) beside itself or in the output folder; an\n"
    "existing file of that name is replaced once the new one is complete (it\n"
    "is written as NAME.ilas.XXXXXX.part until then). The coordinate system\n"
    "the input declares (LAS/LAZ GeoTIFF keys or WKT, E57 WKT or EPSG code)\n"
    "goes to NAME.prj beside NAME.ilas as OGC WKT; an input declaring none\n"
    "removes an earlier NAME.prj.\n"
    "\n"
    "Points are stored by cells of a 20-unit grid (20 m for metric inputs). A\n"
    "cell with fewer than 10 points is taken for stray points and dropped; the\n"
    "result line says how many points were not stored. --min-cell-points 1\n"
    "keeps every point.\n"
    "\n"
    "The reader is chosen by the last three characters of the name, in any\n"
    "case:\n"
    "  las, laz   LAS/LAZ\n"
    "  xyz        text, \"x,y,z\" or \"x y z\" per line; the first point is also\n"
    "             the origin\n"
    "  dat        text, \"name,code,x,y,z\" per line; the first point is also the\n"
    "             origin\n"
    "  e57        E57 scanner files (ASTM E2807: every scan, placed by its pose);\n"
    "             a .e57 file holding DAT text is still read as DAT text\n"
    "  pts        text, \"x y z ...\" per line, optional point count first\n"
    "  pcd, ply   point clouds (x, y, z; y and z are exchanged)\n"
    "Text lines that do not hold three numbers are skipped and counted.\n"
    "\n"
    "Options:\n"
    "  -o, --output-dir DIR  write every NAME.ilas into the existing folder DIR;\n"
    "                        two inputs that would give the same name there are\n"
    "                        refused before anything is converted\n"
    "      --no-overwrite    leave an existing NAME.ilas alone and do not\n"
    "                        convert its input\n"
    "      --min-cell-points N\n"
    "                        drop the cells of the 20-unit grid holding fewer\n"
    "                        than N points (default 10; 1 keeps every point)\n"
    "  -q, --quiet           print only failures\n"
    "      --json            print one JSON object per file on standard output:\n"
    "                        input, output, status (converted, failed, partial,\n"
    "                        skipped, kept), points_read, points_stored, notes,\n"
    "                        seconds, and reason when it failed\n"
    "      --version         print the version and exit\n"
    "  -h, --help            print this help and exit\n"
    "\n"
    "Progress goes to standard error; so does one line per file:\n"
    "  converted: PATH -> OUTPUT\n"
    "  converted: PATH -> OUTPUT \xE2\x80\x94 no point stored: REASON\n"
    "  failed: PATH: REASON\n"
    "  failed: PATH: REASON (partial output kept: OUTPUT)\n"
    "  skipped: PATH: unsupported file type\n"
    "  kept: PATH: OUTPUT exists\n"
    "followed by the elapsed time. A failed file never replaces or removes an\n"
    "existing NAME.ilas and leaves no output of its own, with one exception: a\n"
    "LAS or LAZ file that breaks off partway keeps the points read before the\n"
    "break in NAME.partial.ilas, as the second failed line says. An INPUT\n"
    "whose OUTPUT would be INPUT itself (an ilas file, or an OUTPUT that is a\n"
    "link to INPUT) is refused and left untouched. Unfinished NAME.ilas.*.part\n"
    "files of runs that were killed are removed by the next run on the same\n"
    "input, which says so in a note.\n"
    "Ctrl+C, SIGTERM or SIGHUP stops after removing the unfinished output.\n"
    "\n"
    "An interrupted run says so in a last line starting \"interrupted\".\n"
    "\n"
    "Exit status: 0 when every file was converted (or kept), 1 when any file\n"
    "failed or was skipped, 2 on a usage error, 128 + N when signal N stopped\n"
    "the run (130 for Ctrl+C, 143 for SIGTERM, 129 for SIGHUP).\n"
    "\n"
    "Environment: NIMBUS_HUGE_PAGES=1 backs the large buffers with huge pages\n"
    "where the system offers them. On a virtual machine this can speed up runs\n"
    "started right after one another and slow down a run started after a pause.\n";

struct Options {
    QStringList inputs;
    QString outputFolder;
    bool quiet = false;
    bool json = false;
    bool noOverwrite = false;
    std::int32_t minCellPoints = nimbus::kMinGridCellPoints;
};

int usageError(const QString& text)
{
    quillfen::writeConsole(stderr, ("nimbusconvert: " + text + "\nTry 'nimbusconvert --help'.\n").toStdString());
    return kExitUsage;
}

// Fills `options`; returns the exit status when the program ends here
// (help, version, usage error), otherwise -1.
int parseArguments(const QStringList& arguments, Options& options)
{
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (optionsEnded || argument == QLatin1String("-") || !argument.startsWith(QLatin1Char('-'))) {
            options.inputs << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return kExitConverted;
        } else if (argument == QLatin1String("--version")) {
            std::printf("nimbusconvert %s\n", NIMBUS_VERSION);
            return kExitConverted;
        } else if (argument == QLatin1String("--min-cell-points")
                   || argument.startsWith(QLatin1String("--min-cell-points="))) {
            QString value;
            if (argument.contains(QLatin1Char('=')))
                value = argument.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size())
                value = arguments.at(++i);
            else
                return usageError(QStringLiteral("--min-cell-points needs a number"));
            bool ok = false;
            const int minimum = value.toInt(&ok);
            if (!ok || minimum < 1 || minimum > nimbus::kMaxBlockPoints)
                return usageError(QStringLiteral("--min-cell-points needs a whole number from 1 to %1, not \"%2\"")
                                      .arg(nimbus::kMaxBlockPoints)
                                      .arg(value));
            options.minCellPoints = minimum;
        } else if (argument == QLatin1String("-q") || argument == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument == QLatin1String("--no-overwrite")) {
            options.noOverwrite = true;
        } else if (argument == QLatin1String("-o") || argument == QLatin1String("--output-dir")
                   || argument.startsWith(QLatin1String("--output-dir="))) {
            QString folder;
            if (argument.startsWith(QLatin1String("--output-dir=")))
                folder = argument.mid(13);
            else if (i + 1 < arguments.size())
                folder = arguments.at(++i);
            else
                return usageError(QStringLiteral("%1 needs a folder").arg(argument));
            if (folder.isEmpty() || !QFileInfo(folder).isDir())
                return usageError(QStringLiteral("output folder \"%1\" is not an existing folder").arg(folder));
            options.outputFolder = folder;
        } else {
            return usageError(QStringLiteral("unknown option %1").arg(argument));
        }
    }
    if (options.inputs.isEmpty())
        return usageError(QStringLiteral("no input files"));
    return -1;
}

// The files directly inside `folder` that have a reader, in name order;
// ilas files and unfinished outputs are never inputs.
QStringList supportedFilesIn(const QString& folder)
{
    const QDir dir(folder);
    QStringList names = dir.entryList(QDir::Files);
    std::sort(names.begin(), names.end());
    QStringList paths;
    for (const QString& name : names) {
        if (nimbus::FastConvertor::inputKindOf(name) != nimbus::FastConvertor::InputKind::Unsupported
            && !nimbus::OutputNames::isConverterOutput(name))
            paths << dir.filePath(name);
    }
    return paths;
}

void reportResult(nimbus::ConsoleReport& report, const nimbus::ConversionResult& result)
{
    using Status = nimbus::ConversionResult::Status;
    const QString notes = result.notes.join(QStringLiteral("; "));
    switch (result.status) {
    case Status::Converted:
        report.converted(result.input, result.output, notes,
                         result.noPointReason.isEmpty()
                             ? QString()
                             : QStringLiteral("no point stored: ") + result.noPointReason);
        break;
    case Status::Failed:
        report.failed(result.input, result.reason, result.partial ? result.output : QString());
        report.note(result.input, notes);
        break;
    case Status::Unsupported:
        report.skipped(result.input);
        break;
    case Status::Kept:
        report.kept(result.input, result.output);
        break;
    }
}

void printJson(const nimbus::ConversionResult& result)
{
    using Status = nimbus::ConversionResult::Status;
    QJsonObject object;
    object.insert(QStringLiteral("input"), result.input);
    object.insert(QStringLiteral("output"),
                  result.output.isEmpty() ? QJsonValue() : QJsonValue(result.output));
    QString status;
    switch (result.status) {
    case Status::Converted: status = QStringLiteral("converted"); break;
    case Status::Failed: status = result.partial ? QStringLiteral("partial") : QStringLiteral("failed"); break;
    case Status::Unsupported: status = QStringLiteral("skipped"); break;
    case Status::Kept: status = QStringLiteral("kept"); break;
    }
    object.insert(QStringLiteral("status"), status);
    object.insert(QStringLiteral("points_read"), static_cast<double>(result.pointsRead));
    object.insert(QStringLiteral("points_stored"), static_cast<double>(result.pointsStored));
    QStringList notes;
    if (!result.noPointReason.isEmpty())
        notes << QStringLiteral("no point stored: ") + result.noPointReason;
    notes << result.notes;
    object.insert(QStringLiteral("notes"), QJsonArray::fromStringList(notes));
    object.insert(QStringLiteral("seconds"), result.seconds);
    if (result.status == Status::Failed)
        object.insert(QStringLiteral("reason"), result.reason);
    else if (result.status == Status::Unsupported)
        object.insert(QStringLiteral("reason"), QStringLiteral("unsupported file type"));
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    // Being asked to end (Ctrl+C, kill, a closed terminal) stops like the
    // window's stop button: the unfinished output is removed. Caught from the
    // start, so that an early request is not a silent kill.
    nimbus::installStopSignals();
    QCoreApplication app(argc, argv);

    Options options;
    const int usage = parseArguments(app.arguments().mid(1), options);
    if (usage >= 0)
        return usage;

    QStringList files;
    QStringList emptyFolders;
    for (const QString& input : options.inputs) {
        if (QFileInfo(input).isDir()) {
            const QStringList found = supportedFilesIn(input);
            if (found.isEmpty())
                emptyFolders << input;
            files << found;
        } else {
            files << input;
        }
    }
    // Two inputs for one ilas file: the second would silently replace the
    // first, so the run is refused before anything is converted.
    const QStringList clashes = nimbus::FastConvertor::outputClashes(files, options.outputFolder);
    if (!clashes.isEmpty()) {
        for (const QString& clash : clashes)
            quillfen::writeConsole(stderr, ("nimbusconvert: " + clash + "\n").toStdString());
        quillfen::writeConsole(stderr, "nimbusconvert: nothing was converted\n");
        return kExitUsage;
    }

    nimbus::ConsoleReport report(stderr, NIMBUS_ISATTY(NIMBUS_FILENO(stderr)) != 0);
    report.setQuiet(options.quiet);
    for (const QString& folder : emptyFolders)
        quillfen::writeConsole(stderr, ("failed: " + folder + ": no supported files in this folder\n").toStdString());
    nimbus::FastConvertor convertor;
    convertor.files = files;
    convertor.outputFolder = options.outputFolder;
    convertor.keepExistingOutputs = options.noOverwrite;
    convertor.minCellPoints = options.minCellPoints;
    // Everything is printed on this thread, in the order it happened: the
    // driver's own signals are queued here, and the writer's progress, which
    // reaches the driver object queued already, is printed as it is relayed.
    // Printing the driver's signals on its own thread instead would let a
    // file's late progress land under the next file.
    QObject::connect(&convertor, &nimbus::FastConvertor::updateTask, &convertor,
                     [&](int total, int cur) { report.task(total, cur, files.value(cur - 1)); });
    QObject::connect(&convertor, &nimbus::FastConvertor::setPrompt, &convertor,
                     [&](const QString& prompt) { report.prompt(prompt); });
    QObject::connect(&convertor, &nimbus::FastConvertor::updatePercent_signal, &convertor,
                     [&](double value) { report.percent(value); });
    QObject::connect(&convertor, &nimbus::FastConvertor::fileResult, &convertor,
                     [&](const nimbus::ConversionResult& result) {
                         reportResult(report, result);
                         if (options.json)
                             printJson(result);
                     });
    // The driver waits until the summary is out, after every earlier line.
    convertor.showSummary = [&](const QString& text) {
        QMetaObject::invokeMethod(&convertor, [&] { report.summary(text); },
                                  Qt::BlockingQueuedConnection);
    };
    QObject::connect(&convertor, &QThread::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    QTimer interruptPoll;
    // A request that came before the driver was ready is picked up by the
    // first poll after start(); asking again later is harmless.
    QObject::connect(&interruptPoll, &QTimer::timeout, &convertor, [&] {
        if (nimbus::stopSignal() != 0)
            convertor.requestStop();
    });
    interruptPoll.start(100);

    bool stopped = false;
    QObject::connect(&convertor, &nimbus::FastConvertor::finish, &convertor,
                     [&](bool complete, const QString&) { stopped = !complete; },
                     Qt::DirectConnection);

    convertor.start();
    app.exec();
    convertor.wait();
    interruptPoll.stop();
    const int signal = nimbus::stopSignal();
    // A stop that came after the last file had finished cost nothing: the
    // status then says every file was converted. Otherwise it says the run
    // was cut short, and why.
    const int notStarted = files.size() - report.results();
    if (stopped || signal != 0) {
        if (notStarted > 0)
            std::fprintf(stderr, "interrupted: %d file(s) not converted\n", notStarted);
        else if (report.failures() > 0)
            std::fputs("interrupted\n", stderr);
        else
            std::fputs("interrupted, but every file was already converted\n", stderr);
    }
    // As shells report a program a signal ended.
    if (signal != 0)
        return 128 + signal;
    return report.failures() == 0 && notStarted <= 0 && emptyFolders.isEmpty() ? kExitConverted
                                                                              : kExitFailed;
}
