// Turns a request to end the program into a stop request for the running
// job: SIGINT, SIGTERM and SIGHUP on Linux; on Windows the console control
// events, Ctrl+C and Ctrl+Break counting as SIGINT and closing the console,
// logging off and shutting down as SIGTERM. The job stops after the tile
// being rendered and removes its unfinished files; the program then exits
// with 128 + the signal's number.
#pragma once

class Fresco;

namespace fresco::cli {

// Installs the handlers; `job` receives requestStop() from them.
void installStopSignals(Fresco &job);

// The signal that asked to stop, or 0.
int stopSignal();

#ifdef _WIN32
// The signal a console control event stands for (2 or 15), 0 for none.
int signalOfConsoleEvent(unsigned long event);
// The console control handler installStopSignals registers; the system calls
// it on a thread of its own. For a close, log-off or shut-down it does not
// return: the program's exit ends it.
int __stdcall handleConsoleControl(unsigned long event);
#endif

} // namespace fresco::cli
