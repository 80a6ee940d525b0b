#include "stopsignals.h"

#include "fresco.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#endif

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

#ifdef _WIN32
BOOL WINAPI handleConsoleControl(DWORD event)
{
    const int signal = signalOfConsoleEvent(event);
    if (signal == 0)
        return FALSE;
    onStopSignal(signal);
    // The system ends the process as soon as the handler of a close, log-off
    // or shut-down returns (and after a few seconds anyway). Holding it here
    // lets the job remove its unfinished files and the program leave with
    // its own status; the process's exit ends this thread.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

int signalOfConsoleEvent(unsigned long event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        return SIGINT;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        return SIGTERM;
    default:
        return 0;
    }
}
#endif

void installStopSignals(Fresco &job)
{
    g_job.store(&job);
#ifdef _WIN32
    // Windows never raises SIGTERM, and its runtime's SIGINT sees Ctrl+C
    // only: the console's events cover Ctrl+Break and closing as well. A
    // program started in a process group of its own ignores Ctrl+C until it
    // asks for it.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(handleConsoleControl, TRUE);
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
