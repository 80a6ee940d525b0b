#include "consolereport.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QStringList>

namespace nimbus {

ConsoleReport::ConsoleReport(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

int ConsoleReport::failures() const
{
    QMutexLocker lock(&mutex_);
    return failures_;
}

void ConsoleReport::writeLine(const QString& text)
{
    clearProgress();
    std::fputs(text.toLocal8Bit().constData(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ConsoleReport::clearProgress()
{
    if (terminal_ && shownWidth_ > 0) {
        std::fprintf(out_, "\r%*s\r", shownWidth_, "");
        shownWidth_ = 0;
    }
}

void ConsoleReport::drawProgress()
{
    QStringList parts{QStringLiteral("[%1/%2]").arg(current_).arg(total_)};
    if (!prompt_.isEmpty())
        parts << prompt_;
    parts << name_;
    if (percent_ >= 0.0)
        parts << QStringLiteral("%1%").arg(percent_, 0, 'f', 1);
    const QString line = parts.join(QLatin1Char(' '));
    const QByteArray bytes = line.toLocal8Bit();
    clearProgress();
    std::fputs(bytes.constData(), out_);
    std::fflush(out_);
    shownWidth_ = bytes.size();
}

void ConsoleReport::task(int total, int current, const QString& path)
{
    QMutexLocker lock(&mutex_);
    total_ = total;
    current_ = current;
    name_ = QFileInfo(path).fileName();
    prompt_.clear();
    percent_ = -1.0;
    lastTenth_ = 0;
    fileOpen_ = true;
    if (terminal_)
        drawProgress();
    else
        writeLine(QStringLiteral("[%1/%2] %3").arg(current).arg(total).arg(path));
}

void ConsoleReport::prompt(const QString& text)
{
    QMutexLocker lock(&mutex_);
    if (done_ || !fileOpen_ || text == prompt_)
        return;
    prompt_ = text;
    if (terminal_)
        drawProgress();
    else
        writeLine(QStringLiteral("  %1").arg(text));
}

void ConsoleReport::percent(double value)
{
    QMutexLocker lock(&mutex_);
    // Progress that arrives after its file has ended is stale.
    if (done_ || !fileOpen_)
        return;
    percent_ = value;
    if (terminal_) {
        drawProgress();
        return;
    }
    const int tenth = value < 0.0 ? -1 : static_cast<int>(qMin(value, 100.0) / 10.0);
    if (tenth > lastTenth_) {
        lastTenth_ = tenth;
        writeLine(QStringLiteral("  %1%").arg(tenth * 10));
    }
}

void ConsoleReport::converted(const QString& path, const QString& output, const QString& note)
{
    QMutexLocker lock(&mutex_);
    fileOpen_ = false;
    writeLine(QStringLiteral("converted: %1 -> %2").arg(path, output));
    if (!note.isEmpty())
        writeLine(QStringLiteral("note: %1: %2").arg(path, note));
}

void ConsoleReport::failed(const QString& path, const QString& reason)
{
    QMutexLocker lock(&mutex_);
    fileOpen_ = false;
    ++failures_;
    writeLine(QStringLiteral("failed: %1: %2").arg(path, reason));
}

void ConsoleReport::skipped(const QString& path)
{
    QMutexLocker lock(&mutex_);
    fileOpen_ = false;
    ++failures_;
    writeLine(QStringLiteral("skipped: %1: unsupported file type").arg(path));
}

void ConsoleReport::summary(const QString& text)
{
    QMutexLocker lock(&mutex_);
    done_ = true;
    // The failed files were reported one by one; the time is the first line.
    writeLine(QStringLiteral("elapsed: %1").arg(text.section(QLatin1Char('\n'), 0, 0)));
}

} // namespace nimbus
