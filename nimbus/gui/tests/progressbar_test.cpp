// The progress area: texts built from prompt, task and percentage, the bar's
// value, and the generated style sheet.

#include "nimbus/gui/progressbar.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QtTest>

#include <limits>

using nimbus::ProgressBar;

namespace {

QLabel* labelOf(const ProgressBar& area)
{
    const auto labels = area.findChildren<QLabel*>();
    return labels.size() == 1 ? labels.first() : nullptr;
}

QProgressBar* barOf(const ProgressBar& area)
{
    const auto bars = area.findChildren<QProgressBar*>();
    return bars.size() == 1 ? bars.first() : nullptr;
}

// Counts the restyles a widget goes through: every style sheet it is given
// repolishes it and sends it a style change.
class StyleChangeCounter : public QObject {
public:
    explicit StyleChangeCounter(QWidget* watched) { watched->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::StyleChange)
            ++count;
        return false;
    }
};

const QString kExpectedBase = QStringLiteral(
    "QProgressBar{border: 1px solid rgb(16, 135, 209);background: rgba(248,248,255,180);"
    "border-radius: 6px; }QProgressBar::chunk:enabled {border-radius: 4px; background: "
    "qlineargradient(x1:0, y1:0, x2:1, y2:0");

} // namespace

class ProgressBarTest : public QObject {
    Q_OBJECT
private slots:
    void resetBuildsOneHiddenLabelAndBar();
    void percentTexts_data();
    void percentTexts();
    void negativePercentChangesNothingVisible();
    void taskUpdateAloneRedrawsNothing();
    void doneRemovesLabelAndBarAndLaterSignalsAreHarmless();
    void styleSheetHasExactlyOneHundredStops();
    void styleSheetOfTheLiveBar();
    void aRunOfPercentagesRestylesTheBarOnlyWhenTheSheetChanges();
};

void ProgressBarTest::resetBuildsOneHiddenLabelAndBar()
{
    ProgressBar area;
    QVERIFY(area.findChildren<QLabel*>().isEmpty());
    QVERIFY(area.findChildren<QProgressBar*>().isEmpty());

    area.show();
    area.reset();
    QVERIFY(area.isHidden());
    QLabel* label = labelOf(area);
    QProgressBar* bar = barOf(area);
    QVERIFY(label);
    QVERIFY(bar);
    QCOMPARE(label->margin(), 5);
    QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QVERIFY(!bar->isTextVisible());
    QCOMPARE(bar->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(bar->sizePolicy().verticalPolicy(), QSizePolicy::Maximum);

    // Vertical box > margin-free horizontal box > margin-free grid whose one
    // cell holds the bar with the label stacked over it.
    auto* column = qobject_cast<QVBoxLayout*>(area.layout());
    QVERIFY(column);
    QCOMPARE(column->count(), 1);
    auto* row = qobject_cast<QHBoxLayout*>(column->itemAt(0)->layout());
    QVERIFY(row);
    QCOMPARE(row->contentsMargins(), QMargins());
    QCOMPARE(row->count(), 1);
    auto* grid = qobject_cast<QGridLayout*>(row->itemAt(0)->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins());
    QCOMPARE(grid->count(), 2);
    for (QWidget* inCell : {static_cast<QWidget*>(bar), static_cast<QWidget*>(label)}) {
        int r = -1, c = -1, rows = 0, columns = 0;
        grid->getItemPosition(grid->indexOf(inCell), &r, &c, &rows, &columns);
        QCOMPARE(QList<int>({r, c, rows, columns}), QList<int>({0, 0, 1, 1}));
    }
    QVERIFY(area.children().indexOf(bar) < area.children().indexOf(label));

    // A second reset replaces the pair instead of piling up a new one.
    area.updateTask(4, 2);
    area.reset();
    QVERIFY(labelOf(area));
    QVERIFY(barOf(area));
    QVERIFY(area.layout());
    // The counters are back to zero: no task text.
    area.setPrompt(QStringLiteral("转换中:"));
    QCOMPARE(labelOf(area)->text(), QStringLiteral("转换中:"));
}

void ProgressBarTest::percentTexts_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("cur");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("barValue");
    QTest::newRow("task and fraction") << 3 << 2 << 37.5 << "已处理:[2/3]37.5%" << 37;
    QTest::newRow("truncated, not rounded") << 3 << 2 << 99.99 << "已处理:[2/3]99.99%" << 99;
    QTest::newRow("six digits") << 12 << 10 << 100.0 / 3.0 << "已处理:[10/12]33.3333%" << 33;
    QTest::newRow("full") << 1 << 1 << 100.0 << "已处理:[1/1]100%" << 100;
    QTest::newRow("empty") << 1 << 1 << 0.0 << "已处理:[1/1]0%" << 0;
    QTest::newRow("no tasks") << 0 << 0 << 12.25 << "已处理:12.25%" << 12;
    QTest::newRow("over full") << 0 << 0 << 150.0 << "已处理:150%" << 100;
}

void ProgressBarTest::percentTexts()
{
    QFETCH(int, total);
    QFETCH(int, cur);
    QFETCH(double, value);
    QFETCH(QString, text);
    QFETCH(int, barValue);

    ProgressBar area;
    area.reset();
    area.updateTask(total, cur);
    area.setPrompt(QStringLiteral("已处理:"));
    QVERIFY(!area.isHidden());
    QCOMPARE(labelOf(area)->text(), total ? QStringLiteral("已处理:[%1/%2]").arg(cur).arg(total)
                                          : QStringLiteral("已处理:"));
    area.setPercent(value);
    QCOMPARE(labelOf(area)->text(), text);
    QCOMPARE(barOf(area)->value(), barValue);
    QCOMPARE(barOf(area)->styleSheet().count(QStringLiteral(",stop:")), 100);
}

void ProgressBarTest::negativePercentChangesNothingVisible()
{
    ProgressBar area;
    area.reset();
    area.updateTask(3, 2);
    area.setPrompt(QStringLiteral("已处理:"));
    area.setPercent(37.5);

    area.setPercent(-1.0);
    QCOMPARE(labelOf(area)->text(), QStringLiteral("已处理:[2/3]37.5%"));
    QCOMPARE(barOf(area)->value(), 37);
    QVERIFY(barOf(area)->styleSheet().startsWith(kExpectedBase));

    // Not-a-number is no percentage either.
    area.setPercent(std::numeric_limits<double>::quiet_NaN());
    QCOMPARE(labelOf(area)->text(), QStringLiteral("已处理:[2/3]37.5%"));
    QCOMPARE(barOf(area)->value(), 37);

    // A first block of a huge file is never shown in exponent notation.
    area.setPercent(2.14568e-11);
    QCOMPARE(labelOf(area)->text(), QStringLiteral("已处理:[2/3]0%"));
}

void ProgressBarTest::taskUpdateAloneRedrawsNothing()
{
    ProgressBar area;
    area.reset();
    area.updateTask(3, 1);
    area.setPrompt(QStringLiteral("转换中:"));
    area.setPercent(50.0);
    const QString before = labelOf(area)->text();
    QCOMPARE(before, QStringLiteral("转换中:[1/3]50%"));

    area.updateTask(3, 2);
    QCOMPARE(labelOf(area)->text(), before);
    QCOMPARE(barOf(area)->value(), 50);

    area.setPercent(-1.0);
    QCOMPARE(labelOf(area)->text(), before);
    area.setPrompt(QStringLiteral("转换中:"));
    QCOMPARE(labelOf(area)->text(), QStringLiteral("转换中:[2/3]"));
}

void ProgressBarTest::doneRemovesLabelAndBarAndLaterSignalsAreHarmless()
{
    ProgressBar area;
    // Signals before any reset find no label or bar.
    area.setPrompt(QStringLiteral("转换中:"));
    area.setPercent(10.0);
    QVERIFY(area.findChildren<QLabel*>().isEmpty());

    area.reset();
    area.setPrompt(QStringLiteral("转换中:"));
    area.done();
    QVERIFY(area.findChildren<QLabel*>().isEmpty());
    QVERIFY(area.findChildren<QProgressBar*>().isEmpty());
    area.setPercent(20.0);
    area.setPrompt(QStringLiteral("转换中:"));
    area.done();
    QVERIFY(area.findChildren<QProgressBar*>().isEmpty());
}

void ProgressBarTest::styleSheetHasExactlyOneHundredStops()
{
    for (double p : {0.0, 0.375, 1.0}) {
        const QString style = ProgressBar::styleSheetFor(p, 200, 10);
        QVERIFY(style.startsWith(kExpectedBase));
        QVERIFY(style.endsWith(QStringLiteral(");}")));

        const QString stops = style.mid(kExpectedBase.size(), style.size() - kExpectedBase.size() - 3);
        const QStringList parts = stops.split(QStringLiteral(",stop:"), Qt::SkipEmptyParts);
        QCOMPARE(parts.size(), 100);
        QVERIFY(stops.startsWith(QStringLiteral(",stop:0  rgb(16,135,209)")));
        QCOMPARE(parts.at(1), QStringLiteral("0.01  rgb(16,135,209)"));
        QCOMPARE(parts.at(7), QStringLiteral("0.07  rgb(16,135,209)"));
        QCOMPARE(parts.at(50), QStringLiteral("0.5  rgb(16,135,209)"));
        QCOMPARE(parts.at(99), QStringLiteral("0.99  rgb(16,135,209)"));
        const QRegularExpression stopForm(QStringLiteral("^0(\\.\\d\\d?)?  rgb\\(16,135,209\\)$"));
        for (const QString& part : parts)
            QVERIFY2(stopForm.match(part).hasMatch(), qPrintable(part));
    }
    // Degenerate sizes and fractions still give the full sheet.
    QCOMPARE(ProgressBar::styleSheetFor(0.5, 0, 0).count(QStringLiteral(",stop:")), 100);
    QCOMPARE(ProgressBar::styleSheetFor(7.0, 1, 1).count(QStringLiteral(",stop:")), 100);
    QCOMPARE(ProgressBar::styleSheetFor(-3.0, 5, 5), ProgressBar::styleSheetFor(0.0, 5, 5));
}

void ProgressBarTest::styleSheetOfTheLiveBar()
{
    ProgressBar area;
    area.reset();
    area.resize(300, 30);
    area.show();
    area.setPrompt(QStringLiteral("转换中:"));
    area.setPercent(37.5);
    QProgressBar* bar = barOf(area);
    QCOMPARE(bar->styleSheet(),
             ProgressBar::styleSheetFor(0.375, bar->width(), bar->height()));
}

void ProgressBarTest::aRunOfPercentagesRestylesTheBarOnlyWhenTheSheetChanges()
{
    ProgressBar area;
    area.reset();
    area.resize(300, 30);
    area.show();
    area.updateTask(1, 1);
    area.setPrompt(QStringLiteral("已处理:"));
    QProgressBar* bar = barOf(area);
    StyleChangeCounter restyles(bar);

    area.setPercent(0.0);
    QVERIFY(restyles.count > 0);
    QCOMPARE(bar->styleSheet(), ProgressBar::styleSheetFor(0.0, bar->width(), bar->height()));
    const int afterFirst = restyles.count;

    // One report per written block: the plain fill looks the same at every
    // fraction, so none of these may repolish the bar again.
    for (int block = 1; block <= 4000; ++block) {
        area.setPercent(block / 40.0);
        if (block % 1000 == 0)
            area.setPercent(-1.0);
    }
    QCOMPARE(restyles.count, afterFirst);
    QCOMPARE(labelOf(area)->text(), QStringLiteral("已处理:[1/1]100%"));
    QCOMPARE(bar->value(), 100);
    QCOMPARE(bar->styleSheet(), ProgressBar::styleSheetFor(1.0, bar->width(), bar->height()));

    // A fresh bar after the next reset, and after done() and reset(), starts
    // unstyled and must get its own sheet with its first percentage.
    area.reset();
    area.setPrompt(QStringLiteral("转换中:"));
    QVERIFY(barOf(area)->styleSheet().isEmpty());
    area.setPercent(37.5);
    QCOMPARE(barOf(area)->styleSheet(),
             ProgressBar::styleSheetFor(0.375, barOf(area)->width(), barOf(area)->height()));
    area.done();
    area.reset();
    area.setPrompt(QStringLiteral("转换中:"));
    area.setPercent(-1.0);
    QCOMPARE(barOf(area)->styleSheet(),
             ProgressBar::styleSheetFor(0.0, barOf(area)->width(), barOf(area)->height()));
}

QTEST_MAIN(ProgressBarTest)
#include "progressbar_test.moc"
