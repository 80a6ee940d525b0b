// fresco-render: renders tile sets into orthoimages with libfresco, reporting
// progress and errors the way a host plug-in would receive them.
#include "progressprinter.h"
#include "renderoptions.h"
#include "stopsignals.h"

#include "fresco.h"

#include <QCoreApplication>

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#define FRESCO_ISATTY _isatty
#define FRESCO_FILENO _fileno
#else
#include <unistd.h>
#define FRESCO_ISATTY isatty
#define FRESCO_FILENO fileno
#endif

namespace {

// How the library's reports begin: its guard's text after a step failed,
// and its note about a level file that could not be read.
const char *const kGuardText = "unknowed error in: ";
const char *const kUnreadLevel = "level file could not be read";

#ifdef _WIN32
const char *const kNoDisplay =
    "fresco-render: no OpenGL context: the display driver cannot make an off-screen OpenGL surface\n";
#else
const char *const kNoDisplay =
    "fresco-render: no OpenGL display: run under a desktop session or xvfb-run\n";
#endif

// X11 is the only way the scene graph reaches OpenGL here; without a display
// name every attempt would fail.
bool displayMissing()
{
#if defined(_WIN32) || defined(__APPLE__)
    return false;
#else
    return qEnvironmentVariableIsEmpty("DISPLAY");
#endif
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const fresco::cli::ParsedCommandLine parsed =
        fresco::cli::parseCommandLine(app.arguments().mid(1));

    switch (parsed.outcome) {
    case fresco::cli::ParsedCommandLine::Outcome::Help:
        std::fputs(fresco::cli::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case fresco::cli::ParsedCommandLine::Outcome::Version:
        std::printf("fresco-render %s\n", FRESCO_VERSION);
        return 0;
    case fresco::cli::ParsedCommandLine::Outcome::UsageError:
        std::fprintf(stderr, "fresco-render: %s; see --help\n",
                     parsed.error.toLocal8Bit().constData());
        return 2;
    case fresco::cli::ParsedCommandLine::Outcome::Run:
        break;
    }
    if (displayMissing()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }

    const fresco::cli::RenderOptions &options = parsed.options;
    fresco::cli::ProgressPrinter printer(stdout, stderr, FRESCO_ISATTY(FRESCO_FILENO(stdout)) != 0,
                                         options.entries.size());
    printer.setQuiet(options.quiet);

    Fresco fresco;
    fresco.setResolution(options.resolution);
    fresco.setSplitLen(options.splitLen);
    fresco.setImageFmt(options.format);
    fresco.setBackground(options.background);
    fresco.setCreationOptions(options.creationOptions);
    fresco.setOverviews(options.overviews);
    fresco.setMask(options.mask);
    fresco.setSupersample(options.supersample);
    fresco.setTargetAlignedPixels(options.targetAligned);
    fresco::cli::installStopSignals(fresco);

    bool noDisplay = false;
    fresco.setPercentCallback([&](float value) {
        // A signal that came before the job began is asked again here.
        if (fresco::cli::stopSignal() != 0)
            fresco.requestStop();
        printer.percent(value);
    });
    fresco.setErrorLog([&](QString text) {
        if (fresco::cli::stopSignal() != 0 && text == QLatin1String("stopped"))
            return;
        if (text == QLatin1String("init failed.")) {
            noDisplay = true;
            std::fputs(kNoDisplay, stderr);
            return;
        }
        // The guard's report after a missing display adds nothing.
        if (noDisplay)
            return;
        // Nor does it after a specific error; it still fails the run.
        if (text.startsWith(QLatin1String(kGuardText)) && printer.errorCount() > 0) {
            printer.countError();
            return;
        }
        printer.error(text);
    });
    fresco.setWarningLog([&printer](QString text) {
        if (text.startsWith(QLatin1String(kUnreadLevel)))
            printer.countUnreadLevel();
        printer.warning(text);
    });
    fresco.setWrittenLog([&printer](QString path) { printer.written(path); });
    fresco.setFinishCallback([&printer]() { printer.finished(); });
    fresco.start(options.entries, options.outputFolder);

    if (const int signal = fresco::cli::stopSignal()) {
        printer.interrupted(signal, printer.isFinished());
        return 128 + signal;
    }
    if (noDisplay)
        return 1;
    return printer.isFinished() && printer.errorCount() == 0 ? 0 : 1;
}
