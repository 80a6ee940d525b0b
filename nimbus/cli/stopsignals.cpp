#include "stopsignals.h"

#include <csignal>
#include <initializer_list>

namespace nimbus {

namespace {

volatile std::sig_atomic_t firstSignal = 0;

extern "C" void noteStopSignal(int signal)
{
    if (firstSignal == 0)
        firstSignal = signal;
}

} // namespace

void installStopSignals()
{
#ifdef _WIN32
    std::signal(SIGINT, noteStopSignal);
    std::signal(SIGTERM, noteStopSignal);
#else
    // sigaction keeps the handler installed after the first signal, so a
    // second Ctrl+C during the clean stop does not kill the run halfway.
    struct sigaction action {};
    action.sa_handler = noteStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
}

int stopSignal()
{
    return firstSignal;
}

} // namespace nimbus
