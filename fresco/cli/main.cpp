// fresco-render: renders tile sets into orthoimages with libfresco, reporting
// progress and errors the way a host plug-in would receive them.
#include "progressprinter.h"
#include "renderoptions.h"

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

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const fresco::cli::ParsedCommandLine parsed =
        fresco::cli::parseCommandLine(app.arguments().mid(1));

    switch (parsed.outcome) {
    case fresco::cli::ParsedCommandLine::Outcome::Help:
        std::fputs(fresco::cli::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case fresco::cli::ParsedCommandLine::Outcome::UsageError:
        std::fprintf(stderr, "fresco-render: %s\n\n%s", parsed.error.toLocal8Bit().constData(),
                     fresco::cli::usageText().toLocal8Bit().constData());
        return 2;
    case fresco::cli::ParsedCommandLine::Outcome::Run:
        break;
    }

    const fresco::cli::RenderOptions &options = parsed.options;
    fresco::cli::ProgressPrinter printer(stdout, stderr, FRESCO_ISATTY(FRESCO_FILENO(stdout)) != 0,
                                         options.entries.size());

    Fresco fresco;
    fresco.setResolution(options.resolution);
    fresco.setSplitLen(options.splitLen);
    fresco.setImageFmt(options.format);
    fresco.setBackground(options.background);
    fresco.setPercentCallback([&printer](float value) { printer.percent(value); });
    fresco.setErrorLog([&printer](QString text) { printer.error(text); });
    fresco.setFinishCallback([&printer]() { printer.finished(); });
    fresco.start(options.entries, options.outputFolder);

    return printer.isFinished() && printer.errorCount() == 0 ? 0 : 1;
}
