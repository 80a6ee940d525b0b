#pragma once
// Lets a worker thread hand a piece of GUI work (a message box) to the thread
// that owns the widgets and wait until it has run.

#include <atomic>
#include <functional>

class QObject;

namespace nimbus {

// Runs `task` on the thread of `context` and waits for it. Gives up waiting
// and returns false once `abandon` reads true: the owning thread is then
// itself blocked on the caller, and waiting on would never end. Runs the task
// directly when called on the context's own thread.
bool runOnThreadOf(QObject* context, std::function<void()> task, const std::atomic<bool>& abandon);

// Set while the GUI thread waits for conversion threads to end (window
// teardown); workers stop waiting for GUI work when it is set.
std::atomic<bool>& guiThreadWaitingForWorkers();

} // namespace nimbus
