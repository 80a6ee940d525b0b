#include "quitonsignals.h"

#include "selectfilewidget.h"
#include "terminationsignals.h"

#include <QCoreApplication>

namespace nimbus {

void quitOnTerminationSignals(SelectFileWidget& window, int pollIntervalMs)
{
    auto* watch = new TerminationSignals(&window, pollIntervalMs);
    QObject::connect(watch, &TerminationSignals::received, &window,
                     [&window](int signalNumber) { window.stopAndQuit(128 + signalNumber); });
    // exit() ends every running event loop, so a question or box still open
    // closes too.
    QObject::connect(&window, &SelectFileWidget::quitRequested, QCoreApplication::instance(),
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
}

} // namespace nimbus
