// Turns SIGINT, SIGTERM and SIGHUP (SIGINT and SIGTERM on Windows) into a
// stop request for the running job: the job stops after the tile being
// rendered and removes its unfinished files; the program then exits with
// 128 + the signal's number.
#pragma once

class Fresco;

namespace fresco::cli {

// Installs the handlers; `job` receives requestStop() from them.
void installStopSignals(Fresco &job);

// The signal that asked to stop, or 0.
int stopSignal();

} // namespace fresco::cli
