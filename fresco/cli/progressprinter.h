// Shows a job's progress on the console: a bar redrawn in place on a
// terminal, one plain line per step otherwise (logs, pipes). Error texts go
// to the error stream, each on a line of its own.
#pragma once

#include <QString>

#include <cstdio>

namespace fresco::cli {

class ProgressPrinter
{
public:
    // `out` receives progress and "done", `err` the error texts.
    ProgressPrinter(std::FILE *out, std::FILE *err, bool terminal, int tileSetCount);

    void percent(float value);
    void error(const QString &text);
    // A note that does not fail the job; not counted as an error.
    void warning(const QString &text);
    // A raster complete under its final name.
    void written(const QString &path);
    // Counts an error that is not shown (it repeats an earlier one).
    void countError() { ++m_errors; }
    // Counts a level file that could not be read, for the finish line.
    void countUnreadLevel() { ++m_unreadLevels; }
    // Errors only: no progress, warnings, raster paths or "done".
    void setQuiet(bool quiet) { m_quiet = quiet; }
    void finished();
    // The job was stopped by `signal`; `complete` when it had finished anyway.
    void interrupted(int signal, bool complete);

    int errorCount() const { return m_errors; }
    bool isFinished() const { return m_finished; }

private:
    void drawBar(double shown);
    void endBar();

    std::FILE *m_out;
    std::FILE *m_err;
    bool m_terminal;
    int m_tileSetCount;
    int m_tileSet = 0;
    float m_lastValue = -1.0f;
    bool m_barShown = false;
    int m_errors = 0;
    bool m_finished = false;
    bool m_quiet = false;
    int m_unreadLevels = 0;
};

} // namespace fresco::cli
