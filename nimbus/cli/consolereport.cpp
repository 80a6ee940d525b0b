#include "consolereport.h"

#include "consoletext.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

namespace nimbus {

ConsoleReport::ConsoleReport(std::FILE* out, bool terminal) : out_(out), terminal_(terminal)
{
    catchUp_.setSingleShot(true);
    QObject::connect(&catchUp_, &QTimer::timeout, [this] {
        if (!done_ && fileOpen_)
            showProgress(true);
    });
}

int ConsoleReport::failures() const
{
    return failures_;
}

int ConsoleReport::results() const
{
    return results_;
}

void ConsoleReport::writeLine(const QString& text)
{
    clearProgress();
    quillfen::writeConsole(out_, (text + QLatin1Char('\n')).toStdString());
}

void ConsoleReport::clearProgress()
{
    if (terminal_ && shownWidth_ > 0) {
        std::fprintf(out_, "\r%*s\r", shownWidth_, "");
        shownWidth_ = 0;
    }
}

QString ConsoleReport::progressText() const
{
    QStringList parts{QStringLiteral("[%1/%2]").arg(current_).arg(total_)};
    if (!prompt_.isEmpty())
        parts << prompt_;
    parts << name_;
    if (percent_ >= 0.0)
        parts << QStringLiteral("%1%").arg(qMin(percent_, 100.0), 0, 'f', 1);
    return parts.join(QLatin1Char(' '));
}

void ConsoleReport::drawProgress(const QString& line)
{
    const std::string text = line.toStdString();
    clearProgress();
    quillfen::writeConsole(out_, text);
    shownWidth_ = static_cast<int>(text.size());
}

void ConsoleReport::showProgress(bool force)
{
    if (quiet_)
        return;
    QString text;
    if (terminal_) {
        text = progressText();
    } else {
        // A plain line shows what the file line above it does not.
        // A prompt alone says nothing a log reader needs: it waits for its
        // number.
        if (percent_ < 0.0)
            return;
        QStringList parts;
        if (!prompt_.isEmpty())
            parts << prompt_;
        parts << QStringLiteral("%1%").arg(qMin(percent_, 100.0), 0, 'f', 1);
        text = QStringLiteral("  ") + parts.join(QLatin1Char(' '));
    }
    if (text == shownProgress_)
        return;
    const qint64 least = terminal_ ? kTerminalRedrawMs : kPlainLineMs;
    if (!force && sinceShown_.isValid() && sinceShown_.elapsed() < least) {
        if (!catchUp_.isActive() && QCoreApplication::instance())
            catchUp_.start(static_cast<int>(least - sinceShown_.elapsed()));
        return;
    }
    catchUp_.stop();
    shownProgress_ = text;
    sinceShown_.start();
    if (terminal_)
        drawProgress(text);
    else
        writeLine(text);
}

void ConsoleReport::task(int total, int current, const QString& path)
{
    total_ = total;
    current_ = current;
    name_ = QFileInfo(path).fileName();
    prompt_.clear();
    percent_ = -1.0;
    shownProgress_.clear();
    fileOpen_ = true;
    if (terminal_) {
        showProgress(true);
    } else if (!quiet_) {
        writeLine(QStringLiteral("[%1/%2] %3").arg(current).arg(total).arg(path));
        sinceShown_.invalidate();
    }
}

void ConsoleReport::prompt(const QString& text)
{
    if (done_ || !fileOpen_ || text == prompt_)
        return;
    prompt_ = text;
    // A new phase is shown at once; prompts change only a few times a file.
    showProgress(true);
}

void ConsoleReport::percent(double value)
{
    if (done_)
        return;
    // Between files progress is stale: the result line has said how the
    // file ended, and a percentage after it would read as news.
    if (!fileOpen_)
        return;
    percent_ = value;
    showProgress(false);
}

void ConsoleReport::flushProgress()
{
    // The last value may still be held back by the rate limit; the file's
    // result line must not hide how far it got.
    if (!done_ && fileOpen_)
        showProgress(true);
    catchUp_.stop();
}

void ConsoleReport::endFile(bool converted)
{
    flushProgress();
    fileOpen_ = false;
    ++results_;
    if (!converted)
        ++failures_;
}

void ConsoleReport::converted(const QString& path, const QString& output, const QString& note,
                              const QString& outcome)
{
    endFile(true);
    if (quiet_)
        return;
    QString line = QStringLiteral("converted: %1 -> %2").arg(path, output);
    if (!outcome.isEmpty())
        line += QStringLiteral(" \u2014 ") + outcome;
    writeLine(line);
    this->note(path, note);
}

void ConsoleReport::kept(const QString& path, const QString& output)
{
    endFile(true);
    if (!quiet_)
        writeLine(QStringLiteral("kept: %1: %2 exists").arg(path, output));
}

void ConsoleReport::note(const QString& path, const QString& text)
{
    if (!quiet_ && !text.isEmpty())
        writeLine(QStringLiteral("note: %1: %2").arg(path, text));
}

void ConsoleReport::failed(const QString& path, const QString& reason, const QString& keptOutput)
{
    endFile(false);
    QString line = QStringLiteral("failed: %1: %2").arg(path, reason);
    if (!keptOutput.isEmpty())
        line += QStringLiteral(" (partial output kept: %1)").arg(keptOutput);
    writeLine(line);
}

void ConsoleReport::skipped(const QString& path)
{
    endFile(false);
    writeLine(QStringLiteral("skipped: %1: unsupported file type").arg(path));
}

void ConsoleReport::summary(const QString& text)
{
    flushProgress();
    done_ = true;
    if (quiet_)
        return;
    // The failed files were reported one by one; the time is the first line.
    writeLine(QStringLiteral("elapsed: %1").arg(text.section(QLatin1Char('\n'), 0, 0)));
}

} // namespace nimbus
