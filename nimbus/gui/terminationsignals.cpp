#include "terminationsignals.h"

#include <QTimer>

namespace nimbus {

namespace {

// Written only by the handler and the poll; sig_atomic_t is the one type a
// handler may portably store to.
volatile std::sig_atomic_t pendingSignal = 0;

void recordTerminationSignal(int signalNumber)
{
    // Some systems reset the handler on delivery; a second signal while the
    // program is stopping must not kill it half-way through the clean-up.
    std::signal(signalNumber, recordTerminationSignal);
    pendingSignal = signalNumber;
}

} // namespace

std::vector<int> TerminationSignals::handledSignals()
{
    std::vector<int> numbers{SIGINT, SIGTERM};
#ifdef SIGHUP
    numbers.push_back(SIGHUP);
#endif
    return numbers;
}

TerminationSignals::TerminationSignals(QObject* parent, int pollIntervalMs)
    : QObject(parent)
{
    pendingSignal = 0;
    for (int number : handledSignals()) {
        const Handler previous = std::signal(number, recordTerminationSignal);
        previousHandlers.emplace_back(number, previous == SIG_ERR ? SIG_DFL : previous);
    }
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &TerminationSignals::poll);
    timer->start(pollIntervalMs);
}

TerminationSignals::~TerminationSignals()
{
    for (const auto& entry : previousHandlers)
        std::signal(entry.first, entry.second);
}

void TerminationSignals::poll()
{
    const int number = pendingSignal;
    if (number == 0)
        return;
    pendingSignal = 0;
    emit received(number);
}

} // namespace nimbus
