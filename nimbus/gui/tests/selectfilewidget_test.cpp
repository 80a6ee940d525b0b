// The file list window without conversions: layout, adding through the file
// dialog, duplicates, select-all, delete, the empty-selection warning and the
// Cancel button's two states.

#include "scripteddialogs.h"

#include "nimbus/gui/progressbar.h"
#include "nimbus/gui/selectfilewidget.h"

#include <QFileInfo>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <cstdio>
#include <functional>

using nimbus::SelectFileWidget;

namespace {

template <class T>
T* part(const QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

QListWidget* listOf(const QWidget& window) { return part<QListWidget>(window, "fileList"); }

QStringList itemTexts(const QWidget& window)
{
    QStringList texts;
    for (int row = 0; row < listOf(window)->count(); ++row)
        texts << listOf(window)->item(row)->text();
    return texts;
}

void addThroughDialog(ScriptedDialogs& dialogs, SelectFileWidget& window, const QStringList& paths)
{
    dialogs.fileAnswers.append(paths);
    part<QPushButton>(window, "addButton")->click();
}

bool idle(const SelectFileWidget& window)
{
    return part<QPushButton>(window, "okButton")->isEnabled()
        && part<QPushButton>(window, "cancelButton")->isEnabled() && !window.isConverting()
        && part<nimbus::ProgressBar>(window, "progress")->isHidden();
}

} // namespace

class SelectFileWidgetTest : public QObject {
    Q_OBJECT
private slots:
    void addingFilesGoesThroughTheDialog(); // must run first: the folder memory is process-wide
    void layoutAndCaptions();
    void duplicatesIgnoreCase();
    void selectAllRules();
    void okWithoutCheckedFilesWarnsAndReturnsToIdle();
    void deleteWithAndWithoutSelection();
    void cancelEndsTheProgramOnlyWhenIdle();
    void realBoxHasOneCloseButtonAndNoParent();
    void realQuestionAnswersWhatWasClicked();
};

void SelectFileWidgetTest::addingFilesGoesThroughTheDialog()
{
    ScriptedDialogs dialogs;
    SelectFileWidget window;
    addThroughDialog(dialogs, window, {"/data/scans/a.las", "/data/other/b.xyz"});

    QCOMPARE(dialogs.fileCalls.size(), 1);
    const FileDialogCall& call = dialogs.fileCalls.first();
    QCOMPARE(call.parent.data(), static_cast<QWidget*>(&window));
    QCOMPARE(call.caption, QStringLiteral("选择转换文件"));
    QVERIFY(call.folder.isEmpty());
    QCOMPARE(call.filter, QStringLiteral("支持格式(*.las *.laz *.xyz *.dat *.pcd *.ply *.pts);;E57 (*.e57)"));

    QCOMPARE(itemTexts(window), QStringList({"/data/scans/a.las", "/data/other/b.xyz"}));
    for (int row = 0; row < 2; ++row) {
        QListWidgetItem* item = listOf(window)->item(row);
        QCOMPARE(item->toolTip(), item->text());
        QCOMPARE(item->checkState(), Qt::Checked);
        QVERIFY(item->flags() & Qt::ItemIsUserCheckable);
    }

    // The next dialog opens in the folder of the file chosen last, even in a
    // new window; a cancelled dialog adds nothing and keeps that folder.
    SelectFileWidget second;
    addThroughDialog(dialogs, second, {});
    // The folder is made absolute; on Windows that adds the current drive.
    QCOMPARE(dialogs.fileCalls.last().folder, QFileInfo(QStringLiteral("/data/other")).absoluteFilePath());
    QCOMPARE(listOf(second)->count(), 0);
    addThroughDialog(dialogs, second, {"/data/third/c.pts"});
    QCOMPARE(dialogs.fileCalls.last().folder, QFileInfo(QStringLiteral("/data/other")).absoluteFilePath());
    addThroughDialog(dialogs, second, {});
    QCOMPARE(dialogs.fileCalls.last().folder, QFileInfo(QStringLiteral("/data/third")).absoluteFilePath());
}

void SelectFileWidgetTest::layoutAndCaptions()
{
    SelectFileWidget window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Nimbus"));
    QCOMPARE(window.minimumWidth(), 300);
    QCOMPARE(window.minimumHeight(), 300);
    QVERIFY(!window.parentWidget());
    QCOMPARE(part<QPushButton>(window, "addButton")->text(), QStringLiteral("添加"));
    QCOMPARE(part<QPushButton>(window, "deleteButton")->text(), QStringLiteral("删除"));
    QCOMPARE(part<QPushButton>(window, "okButton")->text(), QStringLiteral("确定"));
    QCOMPARE(part<QPushButton>(window, "cancelButton")->text(), QStringLiteral("取消"));
    QCOMPARE(part<QCheckBox>(window, "selectAll")->text(), QStringLiteral("全选"));
    QVERIFY(part<QCheckBox>(window, "selectAll")->isChecked());
    QCOMPARE(listOf(window)->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(listOf(window)->hasAutoScroll());

    auto* progress = part<nimbus::ProgressBar>(window, "progress");
    QCOMPARE(progress->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(progress->sizePolicy().verticalPolicy(), QSizePolicy::Maximum);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(idle(window));
    QVERIFY(!progress->isVisible());

    // Top row above the list, the list above OK/Cancel, OK left of Cancel.
    auto* add = part<QPushButton>(window, "addButton");
    auto* ok = part<QPushButton>(window, "okButton");
    auto* cancel = part<QPushButton>(window, "cancelButton");
    QVERIFY(add->geometry().bottom() < listOf(window)->geometry().top());
    QVERIFY(part<QCheckBox>(window, "selectAll")->geometry().right() < add->geometry().left());
    QVERIFY(listOf(window)->geometry().bottom() < ok->geometry().top());
    QVERIFY(ok->geometry().right() < cancel->geometry().left());
    // OK and Cancel sit in the middle of the row.
    const int leftGap = ok->geometry().left();
    const int rightGap = window.width() - cancel->geometry().right();
    QVERIFY2(qAbs(leftGap - rightGap) <= 2, qPrintable(QString("%1 vs %2").arg(leftGap).arg(rightGap)));
}

void SelectFileWidgetTest::duplicatesIgnoreCase()
{
    ScriptedDialogs dialogs;
    SelectFileWidget window;
    addThroughDialog(dialogs, window, {"c:/data/A.las"});
    addThroughDialog(dialogs, window, {"C:/Data/a.LAS", "c:/data/b.xyz", "C:/DATA/B.XYZ"});
    QCOMPARE(itemTexts(window), QStringList({"c:/data/A.las", "c:/data/b.xyz"}));
    // Empty answers from a dialog are no paths.
    addThroughDialog(dialogs, window, {QString()});
    QCOMPARE(listOf(window)->count(), 2);
}

void SelectFileWidgetTest::selectAllRules()
{
    ScriptedDialogs dialogs;
    SelectFileWidget window;
    auto* selectAll = part<QCheckBox>(window, "selectAll");
    addThroughDialog(dialogs, window, {"/p/1.xyz", "/p/2.xyz"});
    QCOMPARE(window.checkedFiles(), QStringList({"/p/1.xyz", "/p/2.xyz"}));

    selectAll->click();
    QVERIFY(!selectAll->isChecked());
    QVERIFY(window.checkedFiles().isEmpty());

    // Files added now come in unchecked.
    addThroughDialog(dialogs, window, {"/p/3.xyz"});
    QCOMPARE(listOf(window)->item(2)->checkState(), Qt::Unchecked);

    // Checked files come in list order, not in the order of checking.
    listOf(window)->item(2)->setCheckState(Qt::Checked);
    listOf(window)->item(1)->setCheckState(Qt::Checked);
    listOf(window)->item(0)->setCheckState(Qt::PartiallyChecked);
    QCOMPARE(window.checkedFiles(), QStringList({"/p/2.xyz", "/p/3.xyz"}));

    // Checking the box again checks everything, whatever was set by hand.
    selectAll->click();
    QCOMPARE(window.checkedFiles(), QStringList({"/p/1.xyz", "/p/2.xyz", "/p/3.xyz"}));
    addThroughDialog(dialogs, window, {"/p/4.xyz"});
    QCOMPARE(listOf(window)->item(3)->checkState(), Qt::Checked);

    // A partially checked state counts as on.
    window.setAllChecked(false);
    QVERIFY(window.checkedFiles().isEmpty());
    selectAll->setCheckState(Qt::Unchecked);
    selectAll->setTristate(true);
    selectAll->setCheckState(Qt::PartiallyChecked);
    QCOMPARE(window.checkedFiles().size(), 4);
}

void SelectFileWidgetTest::okWithoutCheckedFilesWarnsAndReturnsToIdle()
{
    ScriptedDialogs dialogs;
    SelectFileWidget window;
    window.show();
    auto* ok = part<QPushButton>(window, "okButton");
    auto* cancel = part<QPushButton>(window, "cancelButton");

    bool busyWhileShown = false;
    dialogs.whileBoxOpen = [&](const ShownBox&) {
        busyWhileShown = !ok->isEnabled() && !cancel->isEnabled();
    };

    // Empty list.
    ok->click();
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes.first().icon, QMessageBox::Warning);
    QCOMPARE(dialogs.boxes.first().title, QStringLiteral("提示"));
    QCOMPARE(dialogs.boxes.first().text, QStringLiteral("请选择数据"));
    QVERIFY(busyWhileShown);
    QVERIFY(idle(window));

    // Files listed, none checked: the same, and no driver is created.
    part<QCheckBox>(window, "selectAll")->click();
    addThroughDialog(dialogs, window, {"/p/unchecked.xyz"});
    busyWhileShown = false;
    ok->click();
    QCOMPARE(dialogs.boxes.size(), 2);
    QCOMPARE(dialogs.boxes.last().text, QStringLiteral("请选择数据"));
    QVERIFY(busyWhileShown);
    QVERIFY(idle(window));
    QVERIFY(window.findChildren<QThread*>().isEmpty());
}

void SelectFileWidgetTest::deleteWithAndWithoutSelection()
{
    ScriptedDialogs dialogs;
    SelectFileWidget window;
    addThroughDialog(dialogs, window, {"/d/0.las", "/d/1.las", "/d/2.las", "/d/3.las"});

    part<QPushButton>(window, "deleteButton")->click();
    QCOMPARE(listOf(window)->count(), 4);

    // Selection and check state are independent: an unchecked selected item
    // goes, a checked unselected one stays.
    listOf(window)->item(0)->setCheckState(Qt::Unchecked);
    listOf(window)->item(0)->setSelected(true);
    listOf(window)->item(2)->setSelected(true);
    part<QPushButton>(window, "deleteButton")->click();
    QCOMPARE(itemTexts(window), QStringList({"/d/1.las", "/d/3.las"}));
    QCOMPARE(window.checkedFiles(), QStringList({"/d/1.las", "/d/3.las"}));

    // A deleted path may be added again.
    addThroughDialog(dialogs, window, {"/D/0.LAS"});
    QCOMPARE(itemTexts(window), QStringList({"/d/1.las", "/d/3.las", "/D/0.LAS"}));
}

void SelectFileWidgetTest::cancelEndsTheProgramOnlyWhenIdle()
{
    // Cancel ends the whole process, so it is pressed in a child process.
    QProcess probe;
    probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--cancel-probe")});
    QVERIFY(probe.waitForFinished(60000));
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QVERIFY2(out.contains(QStringLiteral("survived busy cancel")), qPrintable(out));
    QVERIFY2(!out.contains(QStringLiteral("survived idle cancel")), qPrintable(out));
    QCOMPARE(probe.exitCode(), 0);
}

namespace {

// Runs `inspect` on the modal box the real dialogs open, then clicks the
// button captioned `answer`.
void answerNextModalBox(std::function<void(QMessageBox*)> inspect, QString answer)
{
    QTimer::singleShot(0, [inspect, answer] {
        QMessageBox* box = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* candidate = qobject_cast<QMessageBox*>(top); candidate && candidate->isVisible())
                box = candidate;
        }
        QVERIFY(box);
        inspect(box);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == answer) {
                button->click();
                return;
            }
        }
        box->reject();
    });
}

} // namespace

void SelectFileWidgetTest::realBoxHasOneCloseButtonAndNoParent()
{
    nimbus::setUserDialogs(nullptr);
    bool inspected = false;
    answerNextModalBox(
        [&](QMessageBox* box) {
            inspected = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("耗时"));
            QCOMPARE(box->text(), QStringLiteral("1m1s\n/x/a.las: cannot be opened"));
            QCOMPARE(box->icon(), QMessageBox::Warning);
            QVERIFY(!box->parentWidget());
            QVERIFY(box->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint));
            QVERIFY(box->windowFlags().testFlag(Qt::Dialog));
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->buttons().first()->text(), QStringLiteral("关  闭"));
            QCOMPARE(box->standardButton(box->buttons().first()), QMessageBox::Ok);
        },
        QStringLiteral("关  闭"));
    nimbus::userDialogs().notify(QMessageBox::Warning, QStringLiteral("耗时"),
                                 QStringLiteral("1m1s\n/x/a.las: cannot be opened"));
    QVERIFY(inspected);
}

void SelectFileWidgetTest::realQuestionAnswersWhatWasClicked()
{
    nimbus::setUserDialogs(nullptr);
    SelectFileWidget window;
    window.show();
    bool defaultIsNo = false;
    answerNextModalBox(
        [&](QMessageBox* box) {
            QCOMPARE(box->parentWidget(), static_cast<QWidget*>(&window));
            QCOMPARE(box->buttons().size(), 2);
            defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
        },
        QStringLiteral("否"));
    QVERIFY(!nimbus::userDialogs().confirm(&window, QStringLiteral("提示"), QStringLiteral("?")));
    QVERIFY(defaultIsNo);

    answerNextModalBox([](QMessageBox*) {}, QStringLiteral("是"));
    QVERIFY(nimbus::userDialogs().confirm(&window, QStringLiteral("提示"), QStringLiteral("?")));
}

namespace {

// Child side of cancelEndsTheProgramOnlyWhenIdle: a busy window ignores even
// a clicked signal sent past the disabled button; an idle one exits with 0.
int runCancelProbe(int argc, char* argv[])
{
    QApplication app(argc, argv);
    SelectFileWidget window;
    auto* cancel = part<QPushButton>(window, "cancelButton");
    window.setBusy(true);
    window.setBusy(true);
    emit cancel->clicked(false);
    std::printf("survived busy cancel\n");
    std::fflush(stdout);
    window.setBusy(false);
    window.setBusy(false);
    emit cancel->clicked(false);
    std::printf("survived idle cancel\n");
    return 5;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--cancel-probe") == 0)
        return runCancelProbe(argc, argv);
    QApplication app(argc, argv);
    SelectFileWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "selectfilewidget_test.moc"
