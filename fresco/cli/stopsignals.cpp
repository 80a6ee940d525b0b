#include "stopsignals.h"

#include "fresco.h"

#include <atomic>
#include <csignal>

namespace fresco::cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;
// requestStop() stores one lock-free atomic flag, so a handler may call it.
std::atomic<Fresco *> g_job{nullptr};
static_assert(std::atomic<Fresco *>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int signal)
{
    if (g_signal == 0)
        g_signal = signal;
    if (Fresco *job = g_job.load())
        job->requestStop();
}

} // namespace

void installStopSignals(Fresco &job)
{
    g_job.store(&job);
#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
}

int stopSignal()
{
    return g_signal;
}

} // namespace fresco::cli
