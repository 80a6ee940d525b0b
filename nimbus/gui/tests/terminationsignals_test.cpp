// The termination signal watch: a raised signal is recorded by the handler
// and reported later through the event loop, again on a second delivery,
// and the handlers in force before come back when the watch goes.

#include "nimbus/gui/terminationsignals.h"

#include <QtTest>

#include <algorithm>
#include <csignal>

using nimbus::TerminationSignals;

namespace {

volatile std::sig_atomic_t markerCalls = 0;
void marker(int) { markerCalls = markerCalls + 1; }

} // namespace

class TerminationSignalsTest : public QObject {
    Q_OBJECT
private slots:
    void raisedSignalsArriveThroughTheEventLoop();
    void aSecondSignalIsCaughtToo();
    void previousHandlersComeBack();
};

void TerminationSignalsTest::raisedSignalsArriveThroughTheEventLoop()
{
    TerminationSignals watch(nullptr, 10);
    QList<int> received;
    connect(&watch, &TerminationSignals::received, this, [&](int number) { received << number; });

    const std::vector<int> handled = TerminationSignals::handledSignals();
    QVERIFY(std::find(handled.begin(), handled.end(), SIGTERM) != handled.end());
    QVERIFY(std::find(handled.begin(), handled.end(), SIGINT) != handled.end());
#ifdef SIGHUP
    QVERIFY(std::find(handled.begin(), handled.end(), SIGHUP) != handled.end());
#endif
    for (int number : handled) {
        received.clear();
        QCOMPARE(std::raise(number), 0); // the process survives it
        // Nothing runs inside the handler; the report waits for the loop.
        QVERIFY(received.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(received, QList<int>{number}, 5000);
        QTest::qWait(50);
        QCOMPARE(received, QList<int>{number}); // reported once
    }
}

void TerminationSignalsTest::aSecondSignalIsCaughtToo()
{
    TerminationSignals watch(nullptr, 10);
    int count = 0;
    connect(&watch, &TerminationSignals::received, this, [&](int) { ++count; });
    std::raise(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(count, 1, 5000);
    std::raise(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(count, 2, 5000);
}

void TerminationSignalsTest::previousHandlersComeBack()
{
    std::signal(SIGTERM, marker);
    {
        TerminationSignals watch(nullptr, 10);
        std::raise(SIGTERM);
        QCOMPARE(int(markerCalls), 0);
    }
    std::raise(SIGTERM);
    QCOMPARE(int(markerCalls), 1);
#ifdef _WIN32
    // The C runtime resets a handler to the default when it runs it.
    QVERIFY(std::signal(SIGTERM, SIG_DFL) == SIG_DFL);
#else
    QVERIFY(std::signal(SIGTERM, SIG_DFL) == &marker);
#endif
}

QTEST_MAIN(TerminationSignalsTest)
#include "terminationsignals_test.moc"
