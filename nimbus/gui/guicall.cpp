#include "guicall.h"

#include <QMetaObject>
#include <QObject>
#include <QSemaphore>
#include <QThread>

#include <memory>

namespace nimbus {

bool runOnThreadOf(QObject* context, std::function<void()> task, const std::atomic<bool>& abandon)
{
    if (!context)
        return false;
    if (QThread::currentThread() == context->thread()) {
        task();
        return true;
    }
    // Shared, so neither side depends on the other's stack after giving up.
    auto ran = std::make_shared<QSemaphore>(0);
    QMetaObject::invokeMethod(
        context, [task = std::move(task), ran] {
            task();
            ran->release();
        },
        Qt::QueuedConnection);
    while (!ran->tryAcquire(1, 20)) {
        if (abandon.load())
            return false;
    }
    return true;
}

std::atomic<bool>& guiThreadWaitingForWorkers()
{
    static std::atomic<bool> waiting{false};
    return waiting;
}

} // namespace nimbus
