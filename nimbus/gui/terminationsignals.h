#pragma once
// Turns the signals that ask the process to end (SIGINT, SIGTERM and, where
// the system has it, SIGHUP) into a Qt signal on the thread that owns this
// object, so the program can stop a conversion cleanly instead of dying in
// the middle of a file. The handlers only record the signal number; a timer
// on the owner's thread picks it up. Install one at a time: the record is
// process-wide. The previous handlers come back when the object is destroyed.

#include <QObject>

#include <csignal>
#include <vector>

class QTimer;

namespace nimbus {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr, int pollIntervalMs = 100);
    ~TerminationSignals() override;

    // The signal numbers handled here.
    static std::vector<int> handledSignals();

signals:
    // Once per signal picked up; signals arriving between two polls may be
    // reported once.
    void received(int signalNumber);

private:
    void poll();

    using Handler = void (*)(int);
    std::vector<std::pair<int, Handler>> previousHandlers;
    QTimer* timer = nullptr;
};

} // namespace nimbus
