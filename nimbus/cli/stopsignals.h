#pragma once
// The signals that ask nimbusconvert to end (SIGINT from Ctrl+C, SIGTERM,
// SIGHUP from a closed terminal; SIGINT and SIGTERM on Windows). The
// handler only notes which came first; the program polls it, stops the run
// as the window's stop button does and exits with 128 + that number.

namespace nimbus {

void installStopSignals();

// The first stop signal received, or 0.
int stopSignal();

} // namespace nimbus
