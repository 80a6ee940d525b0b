#pragma once
// Prints a conversion's progress and results to the console for the
// headless converter: one updating progress line on a terminal, plain lines
// (prompt and percentage) otherwise, and one result line per file. Progress
// is printed only when the text shown changes, and at most a few times a
// second, so that a converter reporting once per block does not flood the
// console or a log; the latest value is always shown before a result line. Used from one thread only: the
// converter delivers every report to its main thread, in order.

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <cstdio>

namespace nimbus {

class ConsoleReport {
public:
    ConsoleReport(std::FILE* out, bool terminal);
    ConsoleReport(const ConsoleReport&) = delete;
    ConsoleReport& operator=(const ConsoleReport&) = delete;

    void task(int total, int current, const QString& path);
    void prompt(const QString& text);
    void percent(double value);
    // `outcome`, when not empty, follows the result on its line (a file that
    // holds no point says so there).
    void converted(const QString& path, const QString& output, const QString& note,
                   const QString& outcome = QString());
    // `keptOutput` names an output that holds the points read before the
    // input broke off; empty when the failure left no output.
    void failed(const QString& path, const QString& reason, const QString& keptOutput = QString());
    void skipped(const QString& path);
    // An existing output left as it was instead of converting `path`.
    void kept(const QString& path, const QString& output);
    // A remark on the file just reported.
    void note(const QString& path, const QString& text);
    void summary(const QString& text);

    // Only failures are printed: no progress, no converted or kept files, no
    // notes and no elapsed time.
    void setQuiet(bool quiet) { quiet_ = quiet; }

    int failures() const;
    // Files with a result line (converted, failed or skipped).
    int results() const;

    // Least time between two progress updates: a terminal line is redrawn at
    // most ten times a second, a plain progress line written at most once.
    static constexpr qint64 kTerminalRedrawMs = 100;
    static constexpr qint64 kPlainLineMs = 1000;

private:
    QString progressText() const;
    void showProgress(bool force);
    void flushProgress();
    // Shows the file's last progress and counts its result.
    void endFile(bool converted);
    void drawProgress(const QString& line);
    void clearProgress();
    void writeLine(const QString& text);

    std::FILE* out_;
    bool terminal_;
    bool quiet_ = false;
    bool done_ = false;
    bool fileOpen_ = false;
    int total_ = 0;
    int current_ = 0;
    QString name_;
    QString prompt_;
    double percent_ = -1.0;
    QString shownProgress_;  // the progress last printed for this file
    QElapsedTimer sinceShown_; // invalid until progress was printed
    // Shows progress held back by the rate limit once the limit allows, so a
    // last change before a quiet spell is not left unshown (needs the event
    // loop; without one the next change shows it).
    QTimer catchUp_;
    int shownWidth_ = 0;
    int failures_ = 0;
    int results_ = 0;
};

} // namespace nimbus
