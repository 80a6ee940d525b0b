// Measures how far the window trails a conversion: converts one generated XYZ
// cloud through the real window and driver (offscreen is fine) and prints when
// the ilas file was complete, when the "耗时" box and the idle state followed,
// and the longest stretch the GUI thread went without serving a timer.
// Usage: nimbus_gui_progress_lag [POINTS [SIDE]]
// POINTS (default 3,000,000) spread over a SIDE-metre square (default 3500,
// about 60,000 blocks of 20-unit cells, each reported by its own signal).
// Not a test: the figures depend on the machine and its load.

#include "../tests/scripteddialogs.h"

#include "nimbus/convert/fastconvertor.h"
#include "nimbus/gui/selectfilewidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Points spread over a square with 30 m of relief, so the writer has many
// blocks to report.
bool writeCloud(const QString& path, long points, double side)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    quint32 state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1u << 24);
    };
    QByteArray chunk;
    char line[96];
    for (long i = 0; i < points; ++i) {
        const int n = std::snprintf(line, sizeof line, "%.3f %.3f %.3f\n", 500000.0 + side * next(),
                                    4200000.0 + side * next(), 120.0 + 30.0 * next());
        chunk.append(line, n);
        if (chunk.size() > (1 << 22)) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size();
}

// The writer stores the full magic last, once everything else is on disk.
bool ilasComplete(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(216);
    return header.size() == 216 && std::strcmp(header.constData() + 96, "Quillfen-ilas-v2.1") == 0;
}

double secondsSince(const std::chrono::steady_clock::time_point& start,
                    const std::chrono::steady_clock::time_point& then)
{
    return std::chrono::duration<double>(then - start).count();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const long points = argc > 1 ? std::atol(argv[1]) : 3000000L;
    const double side = argc > 2 ? std::atof(argv[2]) : 3500.0;
    if (points <= 0 || !(side > 0.0)) {
        std::fprintf(stderr, "usage: %s [POINTS [SIDE]]\n", argv[0]);
        return 2;
    }

    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("cloud.xyz"));
    const QString output = dir.filePath(QStringLiteral("cloud.ilas"));
    if (!dir.isValid() || !writeCloud(input, points, side)) {
        std::fprintf(stderr, "cannot write the input cloud\n");
        return 1;
    }

    ScriptedDialogs dialogs;
    nimbus::SelectFileWidget window;
    window.resize(640, 480);
    window.show();
    dialogs.fileAnswers.append(QStringList{input});
    window.findChild<QPushButton*>(QStringLiteral("addButton"))->click();

    using Clock = std::chrono::steady_clock;
    std::atomic<bool> watching{true};
    std::atomic<Clock::rep> completeAt{0};
    Clock::time_point boxAt{}, idleAt{};
    dialogs.whileBoxOpen = [&](const ShownBox&) { boxAt = Clock::now(); };

    // The GUI thread cannot be trusted to notice the file in time: that is
    // what is being measured.
    std::thread watcher([&] {
        while (watching.load()) {
            if (ilasComplete(output)) {
                completeAt = Clock::now().time_since_epoch().count();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    long percentSignals = 0;
    double largestBelowFull = -1.0; // text formats report against an unknown count
    qint64 longestStallMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, sinceTick.restart());
        if (!window.isConverting()) {
            idleAt = Clock::now();
            app.quit();
        }
    });

    const Clock::time_point start = Clock::now();
    window.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    auto* driver = window.findChild<nimbus::FastConvertor*>();
    if (driver)
        QObject::connect(driver, &nimbus::FastConvertor::updatePercent_signal,
                         [&](double value) {
                             ++percentSignals;
                             if (value < 100.0)
                                 largestBelowFull = std::max(largestBelowFull, value);
                         });
    sinceTick.start();
    ticker.start();
    app.exec();
    watching = false;
    watcher.join();

    if (completeAt.load() == 0 || boxAt == Clock::time_point{}) {
        std::fprintf(stderr, "the conversion did not complete\n");
        return 1;
    }
    const Clock::time_point complete{Clock::duration(completeAt.load())};
    std::printf("points %ld, percent signals delivered %ld, largest below 100: %s%%\n", points,
                percentSignals, qPrintable(QString::number(largestBelowFull)));
    std::printf("start -> ilas complete   %8.3f s\n", secondsSince(start, complete));
    std::printf("ilas complete -> box     %8.3f s\n", secondsSince(complete, boxAt));
    std::printf("ilas complete -> idle    %8.3f s\n", secondsSince(complete, idleAt));
    std::printf("longest GUI stall        %8.3f s\n", longestStallMs / 1000.0);
    return 0;
}
