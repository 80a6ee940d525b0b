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
    "of that name is replaced once the new one is complete (it is written as\n"
    "NAME.ilas.XXXXXX.part until then). The reader is chosen by the last three\n"
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
    "  failed: PATH: REASON\n"
    "  failed: PATH: REASON (partial output kept: OUTPUT)\n"
    "  skipped: PATH: unsupported file type\n"
    "followed by the elapsed time. A failed file leaves no output behind and\n"
    "an earlier NAME.ilas untouched, with one exception: a LAS or LAZ file\n"
    "that breaks off partway keeps the points read before the break in\n"
    "OUTPUT, as the second failed line says. A FILE\n"
    "whose OUTPUT would be FILE itself (an ilas file, or an OUTPUT that is a\n"
    "link to FILE) is refused and left untouched.\n"
    "Ctrl+C, SIGTERM or SIGHUP stops after removing the unfinished output.\n"
    "\n"
    "An interrupted run says so in a last line starting \"interrupted\".\n"
    "\n"
    "Exit status: 0 when every file was converted, 1 when any file failed, was\n"
    "skipped or was not converted because the run was interrupted, 2 on a\n"
    "usage error.\n";

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int)
{
    interrupted.store(true);
}

} // namespace

int main(int argc, char* argv[])
{
    // Being asked to end (Ctrl+C, kill, a closed terminal) stops like the
    // window's stop button: the unfinished output is removed. Caught from the
    // start, so that an early request is not a silent kill.
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
#ifdef SIGHUP
    std::signal(SIGHUP, onInterrupt);
#endif
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
    // Arrives just before the failed file's fileFinished, on the same queue.
    QString partialPath, partialOutput;
    QObject::connect(&convertor, &nimbus::FastConvertor::partialOutputKept, &convertor,
                     [&](const QString& path, const QString& output) {
                         partialPath = path;
                         partialOutput = output;
                     });
    QObject::connect(&convertor, &nimbus::FastConvertor::fileFinished, &convertor,
                     [&](const QString& path, const QString& output, bool converted,
                         const QString& reason) {
                         if (converted)
                             report.converted(path, output, reason);
                         else
                             report.failed(path, reason, path == partialPath ? partialOutput : QString());
                         partialPath.clear();
                     });
    QObject::connect(&convertor, &nimbus::FastConvertor::fileSkipped, &convertor,
                     [&](const QString& path) { report.skipped(path); });
    // The driver waits until the summary is out, after every earlier line.
    convertor.showSummary = [&](const QString& text) {
        QMetaObject::invokeMethod(&convertor, [&] { report.summary(text); },
                                  Qt::BlockingQueuedConnection);
    };
    QObject::connect(&convertor, &QThread::finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    QTimer interruptPoll;
    bool signalled = false;
    // A request that came before the driver was ready is picked up by the
    // first poll after start().
    QObject::connect(&interruptPoll, &QTimer::timeout, &convertor, [&] {
        if (interrupted.exchange(false)) {
            signalled = true;
            convertor.requestStop();
        }
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
    if (interrupted.load())
        signalled = true;
    // A stop that came after the last file had finished cost nothing: the
    // status then says every file was converted. Otherwise it says the run
    // was cut short, and why.
    const int notStarted = files.size() - report.results();
    if (stopped || signalled) {
        if (notStarted > 0)
            std::fprintf(stderr, "interrupted: %d file(s) not converted\n", notStarted);
        else if (report.failures() > 0)
            std::fputs("interrupted\n", stderr);
        else
            std::fputs("interrupted, but every file was already converted\n", stderr);
    }
    return report.failures() == 0 && notStarted <= 0 ? kExitConverted : kExitFailed;
}
