#pragma once
// The progress area of the conversion window: the current prompt, the task
// position and the percentage, drawn over a thin bar whose filled part is
// coloured by a generated style sheet. Owns its label and bar as children.

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>

class QLabel;
class QProgressBar;

namespace nimbus {

class ProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    // The style sheet the bar gets for a fill fraction p (0 to 1) at the given
    // bar size: a fixed frame plus one hundred gradient stops.
    static QString styleSheetFor(double p, int width, int height);

public slots:
    // Counters back to 0 and a fresh label and bar; the widget stays hidden
    // until the first prompt arrives.
    void reset();
    void setPrompt(QString prompt);
    // Negative values (sent at the start of each file) only restyle the bar.
    void setPercent(double value);
    // Stored only: shown with the next prompt or percentage.
    void updateTask(int total, int cur);
    // Drops the label and bar at the end of a run.
    void done();

private:
    // The colour of each of the hundred stops, which is all a sheet varies in.
    using StopColours = std::array<QRgb, 100>;
    static QImage gradientImage(int width, int height);
    static StopColours stopColoursFor(double p, const QImage& gradient);
    static QString styleSheetFrom(const StopColours& colours);

    QString taskText() const;
    void styleBar(double p);

    QLabel* label = nullptr;
    QProgressBar* bar = nullptr;
    QString prompt;
    int taskTotal = 0;
    int taskCur = 0;

    // The driver reports once per written block, tens of thousands of times
    // per file, and restyling a widget is far slower than that: the gradient
    // is drawn once per bar size and the sheet is only set when a stop's
    // colour actually changes.
    QImage gradient;
    StopColours appliedStops{};
    bool stopsApplied = false;
};

} // namespace nimbus
