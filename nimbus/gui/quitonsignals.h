#pragma once
// Makes the termination signals end the program the way a confirmed close
// does: a running conversion is stopped and its unfinished output removed
// before the application's event loop ends with status 128 + the signal
// number.

namespace nimbus {

class SelectFileWidget;

// The signal watch becomes a child of `window`; the application's exec()
// returns once the window has nothing left unfinished. The signals are
// picked up every `pollIntervalMs`.
void quitOnTerminationSignals(SelectFileWidget& window, int pollIntervalMs = 100);

} // namespace nimbus
