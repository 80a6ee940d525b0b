#include "progressbar.h"

#include <QColor>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

namespace nimbus {

namespace {

const char kBaseStyle[] =
    "QProgressBar{border: 1px solid rgb(16, 135, 209);background: rgba(248,248,255,180);"
    "border-radius: 6px; }QProgressBar::chunk:enabled {border-radius: 4px; "
    "background: qlineargradient(x1:0, y1:0, x2:1, y2:0";
const char kStopText[] = ",stop:%1  rgb(%2,%3,%4)";
const char kClosingText[] = ");}";
const QColor kBarColour(16, 135, 209);

} // namespace

ProgressBar::ProgressBar(QWidget* parent)
    : QWidget(parent)
{
}

QImage ProgressBar::gradientImage(int width, int height)
{
    // A zero-sized bar (never laid out) still gets a valid one-pixel sample.
    const int w = std::max(width, 1);
    const int h = std::max(height, 1);
    QImage image(w, h, QImage::Format_ARGB32);
    QLinearGradient fill(0, 0, w, h);
    fill.setColorAt(0, kBarColour);
    fill.setColorAt(1, kBarColour);
    QPainter painter(&image);
    painter.fillRect(image.rect(), fill);
    return image;
}

ProgressBar::StopColours ProgressBar::stopColoursFor(double p, const QImage& gradient)
{
    if (!(p >= 0.0))
        p = 0.0;
    p = std::min(p, 1.0);
    StopColours colours;
    const int y = gradient.height() / 2;
    for (int i = 0; i < 100; ++i) {
        const int x = static_cast<int>(p * i / 100.0 * (gradient.width() - 1));
        colours[i] = gradient.pixel(x, y);
    }
    return colours;
}

QString ProgressBar::styleSheetFrom(const StopColours& colours)
{
    QString style = QString::fromUtf8(kBaseStyle);
    for (int i = 0; i < 100; ++i) {
        const QColor pixel = QColor::fromRgba(colours[i]);
        style += QString::fromUtf8(kStopText)
                     .arg(i / 100.0)
                     .arg(pixel.red())
                     .arg(pixel.green())
                     .arg(pixel.blue());
    }
    style += QString::fromUtf8(kClosingText);
    return style;
}

QString ProgressBar::styleSheetFor(double p, int width, int height)
{
    return styleSheetFrom(stopColoursFor(p, gradientImage(width, height)));
}

void ProgressBar::reset()
{
    taskTotal = 0;
    taskCur = 0;
    // A reset without a preceding done() must not leave the old pair behind
    // under the new one.
    done();
    delete layout();

    hide();
    label = new QLabel(this);
    label->setMargin(5);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    bar = new QProgressBar(this);
    bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    bar->setTextVisible(false);
    bar->setRange(0, 100);

    // Label added after the bar in the same cell, so the text lies on top.
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(bar, 0, 0);
    grid->addWidget(label, 0, 0);
    bar->stackUnder(label);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(grid);

    auto* column = new QVBoxLayout;
    column->addLayout(row);
    setLayout(column);
}

void ProgressBar::setPrompt(QString newPrompt)
{
    show();
    prompt = newPrompt;
    if (label)
        label->setText(prompt + taskText());
}

void ProgressBar::setPercent(double value)
{
    if (!bar)
        return;
    bar->setRange(0, 100);
    if (value >= 0.0) {
        // Below 1e-4 the default format turns to exponent notation, which
        // reads as nonsense on a progress bar; such a value is 0 to the eye.
        const double shown = value < 1e-4 ? 0.0 : value;
        if (label)
            label->setText(prompt + taskText() + QStringLiteral("%1%").arg(shown));
        bar->setValue(static_cast<int>(std::min(value, 100.0)));
        styleBar(value / bar->maximum());
    } else {
        styleBar(0.0);
    }
}

void ProgressBar::updateTask(int total, int cur)
{
    taskTotal = total;
    taskCur = cur;
}

void ProgressBar::done()
{
    delete label;
    label = nullptr;
    delete bar;
    bar = nullptr;
    stopsApplied = false;
}

QString ProgressBar::taskText() const
{
    if (taskTotal == 0)
        return QString();
    return QStringLiteral("[%1/%2]").arg(taskCur).arg(taskTotal);
}

void ProgressBar::styleBar(double p)
{
    const QSize size(std::max(bar->width(), 1), std::max(bar->height(), 1));
    if (gradient.size() != size)
        gradient = gradientImage(size.width(), size.height());
    const StopColours colours = stopColoursFor(p, gradient);
    if (stopsApplied && colours == appliedStops)
        return;
    bar->setStyleSheet(styleSheetFrom(colours));
    appliedStops = colours;
    stopsApplied = true;
}

} // namespace nimbus
