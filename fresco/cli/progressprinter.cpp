#include "progressprinter.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>

namespace fresco::cli {

namespace {
constexpr int kBarWidth = 40;
}

ProgressPrinter::ProgressPrinter(std::FILE *out, std::FILE *err, bool terminal, int tileSetCount)
    : m_out(out), m_err(err), m_terminal(terminal), m_tileSetCount(tileSetCount)
{
}

void ProgressPrinter::percent(float value)
{
    // Each tile set counts again from 0.
    if (value <= m_lastValue || m_tileSet == 0)
        m_tileSet = std::min(m_tileSet + 1, std::max(m_tileSetCount, 1));
    m_lastValue = value;
    if (m_quiet)
        return;
    const double shown = std::clamp(static_cast<double>(value), 0.0, 100.0);

    if (!m_terminal) {
        std::fprintf(m_out, "progress set %d/%d %.1f%%\n", m_tileSet, m_tileSetCount, shown);
        std::fflush(m_out);
        return;
    }
    drawBar(shown);
}

void ProgressPrinter::drawBar(double shown)
{
    const int filled = static_cast<int>(std::floor(shown / 100.0 * kBarWidth));
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '-';
    bar[kBarWidth] = '\0';
    std::fprintf(m_out, "\r[%s] %5.1f%%  set %d/%d", bar, shown, m_tileSet, m_tileSetCount);
    std::fflush(m_out);
    m_barShown = true;
}

void ProgressPrinter::error(const QString &text)
{
    ++m_errors;
    endBar();
    std::fprintf(m_err, "error: %s\n", text.toLocal8Bit().constData());
    std::fflush(m_err);
}

void ProgressPrinter::warning(const QString &text)
{
    if (m_quiet)
        return;
    endBar();
    std::fprintf(m_err, "warning: %s\n", text.toLocal8Bit().constData());
    std::fflush(m_err);
}

void ProgressPrinter::interrupted(int signal, bool complete)
{
    endBar();
    if (complete)
        std::fprintf(m_err, "fresco-render: stopped by signal %d after the job had finished\n",
                     signal);
    else
        std::fprintf(m_err, "fresco-render: stopped by signal %d; unfinished rasters removed\n",
                     signal);
    std::fflush(m_err);
}

void ProgressPrinter::written(const QString &path)
{
    if (m_quiet)
        return;
    endBar();
    std::fprintf(m_out, "written: %s\n", path.toLocal8Bit().constData());
    std::fflush(m_out);
}

void ProgressPrinter::finished()
{
    m_finished = true;
    if (m_quiet)
        return;
    // The library's last progress value is below 100; the finish is the
    // job's 100 %.
    if (m_terminal) {
        m_tileSet = m_tileSetCount;
        drawBar(100.0);
    }
    endBar();
    if (m_unreadLevels > 0)
        std::fprintf(m_out, "done (%d level file%s could not be read; coarser levels drawn there)\n",
                     m_unreadLevels, m_unreadLevels == 1 ? "" : "s");
    else
        std::fprintf(m_out, "done\n");
    std::fflush(m_out);
}

void ProgressPrinter::endBar()
{
    if (m_barShown) {
        std::fprintf(m_out, "\n");
        std::fflush(m_out);
        m_barShown = false;
    }
}

} // namespace fresco::cli
