// nimbusconvert: the headless twin of the conversion window. Converts every
// file named on the command line into an ilas file beside it, with the same
// driver and readers, and reports on the console instead of in a window.

#include "consolereport.h"
#include "fastconvertor.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <csignal>
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
    "Usage: nimbusconvert [--] FILE...\n"
    "\n"
    "Converts point-cloud files into ilas files. Each FILE is written beside\n"
    "itself as NAME.ilas (the name without its last suffix); an existing file\n"
    "of that name is replaced. The reader is chosen by the last three\n"
    "characters of the name, in any case:\n"
    "  las, laz   LAS/LAZ\n"
    "  xyz        text, \"x,y,z\" or \"x y z\" per line, first line is the origin\n"
    "  dat, e57   text, \"name,code,x,y,z\" per line, first line is the origin\n"
    "  pts        text, \"x y z ...\" per line, optional point count first\n"
    "  pcd, ply   point clouds (x, y, z; y and z are exchanged)\n"
    "Text lines that do not hold three numbers are skipped and counted.\n"
    "\n"
    "Progress goes to standard error; so does one line per file:\n"
    "  converted: PATH -> OUTPUT\n"
    "  failed: PATH: REASON      (no output file is left behind)\n"
    "  skipped: PATH: unsupported file type\n"
    "followed by the elapsed time. Ctrl+C stops after removing the unfinished\n"
    "output.\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 when any file failed or\n"
    "was skipped (or the run was interrupted), 2 on a usage error.\n";

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int)
{
    interrupted.store(true);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);

    QStringList files;
    bool optionsEnded = false;
    const QStringList arguments = app.arguments().mid(1);
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
            std::fputs(kUsage, stdout);
            return kExitConverted;
        } else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            std::fprintf(stderr, "nimbusconvert: unknown option %s\nTry 'nimbusconvert --help'.\n",
                         argument.toLocal8Bit().constData());
            return kExitUsage;
        } else {
            files << argument;
        }
    }
    if (files.isEmpty()) {
        std::fputs("nimbusconvert: no input files\nTry 'nimbusconvert --help'.\n", stderr);
        return kExitUsage;
    }

    nimbus::ConsoleReport report(stderr, NIMBUS_ISATTY(NIMBUS_FILENO(stderr)) != 0);
    nimbus::FastConvertor convertor;
    convertor.files = files;
    // Results are printed on the driver's thread, in order with the summary.
    const auto direct = Qt::DirectConnection;
    QObject::connect(&convertor, &nimbus::FastConvertor::updateTask, &convertor,
                     [&](int total, int cur) { report.task(total, cur, files.value(cur - 1)); }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::setPrompt, &convertor,
                     [&](const QString& prompt) { report.prompt(prompt); }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::updatePercent_signal, &convertor,
                     [&](double value) { report.percent(value); }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::fileFinished, &convertor,
                     [&](const QString& path, const QString& output, bool converted,
                         const QString& reason) {
                         if (converted)
                             report.converted(path, output, reason);
                         else
                             report.failed(path, reason);
                     }, direct);
    QObject::connect(&convertor, &nimbus::FastConvertor::fileSkipped, &convertor,
                     [&](const QString& path) { report.skipped(path); }, direct);
    convertor.showSummary = [&](const QString& text) { report.summary(text); };
    QObject::connect(&convertor, &QThread::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    std::signal(SIGINT, onInterrupt);
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, &convertor, [&] {
        if (interrupted.exchange(false))
            convertor.requestStop();
    });
    interruptPoll.start(100);

    bool stopped = false;
    QObject::connect(&convertor, &nimbus::FastConvertor::finish, &convertor,
                     [&](bool complete, const QString&) { stopped = !complete; }, direct);

    convertor.start();
    app.exec();
    convertor.wait();
    return report.failures() == 0 && !stopped ? kExitConverted : kExitFailed;
}
