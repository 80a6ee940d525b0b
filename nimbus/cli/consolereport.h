#pragma once
// Prints a conversion's progress and results to the console for the
// headless converter: one updating progress line on a terminal, plain lines
// otherwise, and one result line per file. Called from the driver's thread
// and from the main thread, so every entry point takes the same lock.

#include <QMutex>
#include <QString>

#include <cstdio>

namespace nimbus {

class ConsoleReport {
public:
    ConsoleReport(std::FILE* out, bool terminal);

    void task(int total, int current, const QString& path);
    void prompt(const QString& text);
    void percent(double value);
    void converted(const QString& path, const QString& output, const QString& note);
    void failed(const QString& path, const QString& reason);
    void skipped(const QString& path);
    void summary(const QString& text);

    int failures() const;

private:
    void drawProgress();
    void clearProgress();
    void writeLine(const QString& text);

    mutable QMutex mutex_;
    std::FILE* out_;
    bool terminal_;
    bool done_ = false;
    bool fileOpen_ = false;
    int total_ = 0;
    int current_ = 0;
    QString name_;
    QString prompt_;
    double percent_ = -1.0;
    int lastTenth_ = 0;
    int shownWidth_ = 0;
    int failures_ = 0;
};

} // namespace nimbus
