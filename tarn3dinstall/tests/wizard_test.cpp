// The wizard driven as a user would, offscreen.
#include "tarn3dinstall.h"
#include "test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace tarn3d;
using namespace tarn3d::test;

namespace {

const QString kInstalledLabel = QStringLiteral("Tarn10.1 for AutoCAD2018 x64");
const QString kFreshLabel = QStringLiteral("Yam for AutoCAD2019 x64");

struct Message {
    Tarn3DInstall::MessageKind kind;
    QString title;
    QString text;
};

// A machine with two targets: the module is already in the first one's BIN.
struct Machine {
    explicit Machine(bool withTargets = true)
    {
        tree.write("app/TARN3D/x64/tarn3d_Dll/a.dll", "a");
        tree.write("app/TARN3D/x64/tarn3d_Dll/b.dll", "b");
        tree.write("app/TARN3D/x64/AutoCAD2018/tarn3D.arx", "m18");
        tree.write("app/TARN3D/x64/AutoCAD2019/tarn3D.arx", "m19");
        tree.write("app/TARN3D/BLOCKS/blk.dwg", "blk");
        tree.mkdir("app/TARN3D/system");
        installed = makePluginDirs(tree, "Tarn", "acad.rx", "x.arx\r\ntarn3D\r\n");
        tree.write("Tarn/BIN/tarn3D.arx", "old");
        fresh = makePluginDirs(tree, "Yam");
        RegText reg;
        if (withTargets) {
            reg.value(profileKey(kAutoCadRoot, "R22.0", "ACAD-2001:804", "TARN10.1"), "ACAD", installed.searchPath());
            reg.value(profileKey(kAutoCadRoot, "R23.0", "ACAD-3001:804", "YAM"), "ACAD", fresh.searchPath());
        }
        probe = std::make_shared<FakeProcessProbe>();
        Platform platform;
        platform.registry = registryFrom(reg);
        platform.processes = probe;
        platform.nativeX64 = [] { return true; };
        platform.programFiles = [] { return QString(); };
        platform.appDir = tree.path("app");
        window = std::make_unique<Tarn3DInstall>(platform, nullptr,
                                                 [this](Tarn3DInstall::MessageKind kind, const QString& title,
                                                        const QString& text) { messages.append({kind, title, text}); });
    }

    template <class T> T* get(const char* name) const
    {
        T* widget = window->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QPushButton* next() const { return get<QPushButton>("pushButton_next"); }
    QPushButton* back() const { return get<QPushButton>("pushButton_back"); }
    QPushButton* closeButton() const { return get<QPushButton>("pushButton_close"); }
    QRadioButton* agree() const { return get<QRadioButton>("radioButton_tab1_1"); }
    QRadioButton* disagree() const { return get<QRadioButton>("radioButton_tab1_2"); }
    QRadioButton* update() const { return get<QRadioButton>("radioButton_tab2_update"); }
    QRadioButton* uninstall() const { return get<QRadioButton>("radioButton_tab2_uninstall"); }
    QComboBox* combo() const { return get<QComboBox>("comboBox_version"); }
    int page() const { return get<QTabWidget>("tabWidget")->currentIndex(); }
    QString details() const { return get<QTextEdit>("textEdit_InstallInfo")->toPlainText(); }
    QSpacerItem* detailsSpacer() const
    {
        QLayoutItem* item = get<QGridLayout>("gridLayout")->itemAtPosition(6, 0);
        return item ? item->spacerItem() : nullptr;
    }

    // Clicks as the user's release would; a disabled button ignores it.
    void click(QAbstractButton* button) const { button->click(); }
    void toVersionPage(const QString& label) const
    {
        combo()->setCurrentText(label);
        click(agree());
        click(next());
    }
    void screenshot(const QString& name) const
    {
        const QString dir = qEnvironmentVariable("TARN3D_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            window->grab().save(QDir(dir).filePath(name));
    }

    TempTree tree;
    PluginDirs installed;
    PluginDirs fresh;
    std::shared_ptr<FakeProcessProbe> probe;
    QList<Message> messages;
    std::unique_ptr<Tarn3DInstall> window;
};

} // namespace

class WizardTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void startsOnAgreementPage();
    void missingPicturesLeaveIconAndLabelEmpty();
    void agreementGatesNext();
    void ctrlNDoesNothingWhileDisabled();
    void backKeepsTheChoice();
    void uninstallRadioFollowsModulePresence();
    void runningHostBlocksBothModes();
    void detailsToggleMovesTheSpacer();
    void installLocksTheWizardAndReports();
    void failedInstallSaysSo();
    void noTargetShowsNoticeAndNoWindow();
    void runReturnsZeroWithoutTargetElseTheLoopsResult();
};

void WizardTest::initTestCase()
{
    // The pictures are found relative to the working directory, as delivered.
    QVERIFY(QDir::setCurrent(QStringLiteral(TARN3D_SOURCE_DIR)));
    QVERIFY(QFile::exists(QStringLiteral("image/tarn_install.jpg")));
}

void WizardTest::startsOnAgreementPage()
{
    Machine m;
    QCOMPARE(m.window->windowTitle(), QStringLiteral("Tarn3D安装向导"));
    QCOMPARE(m.window->size(), QSize(550, 400));
    QCOMPARE(m.page(), 0);
    QVERIFY(m.back()->isHidden());
    QVERIFY(!m.next()->isEnabled());
    QVERIFY(m.disagree()->isChecked());
    QVERIFY(m.get<QTabWidget>("tabWidget")->tabBar()->isHidden());
    QCOMPARE(m.get<QTextEdit>("textEdit_tab1")->focusPolicy(), Qt::NoFocus);
    QVERIFY(m.get<QTextEdit>("textEdit_tab1")->toPlainText().contains(QStringLiteral("许可协议")));
    QVERIFY(!m.get<QLabel>("label_photo")->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(!m.window->windowIcon().pixmap(32, 32).isNull());
    QCOMPARE(m.next()->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    QCOMPARE(m.back()->shortcut(), QKeySequence(QStringLiteral("Ctrl+B")));
    QStringList items;
    for (int i = 0; i < m.combo()->count(); ++i)
        items.append(m.combo()->itemText(i));
    QCOMPARE(items, (QStringList{kInstalledLabel, kFreshLabel}));
    QCOMPARE(m.combo()->currentText(), kInstalledLabel);
    QVERIFY(m.update()->isChecked());
    QVERIFY(m.window->isInstallMode());
    QVERIFY(m.messages.isEmpty());
    QVERIFY(m.window->checkHostInstalled());
    QVERIFY(m.window->isVisible());
    m.screenshot(QStringLiteral("page1_agreement.png"));
}

void WizardTest::missingPicturesLeaveIconAndLabelEmpty()
{
    TempTree elsewhere;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.root()));
    Machine m;
    QDir::setCurrent(previous);
    QVERIFY(m.get<QLabel>("label_photo")->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(m.get<QLabel>("label_photo")->text().isEmpty());
    QVERIFY(m.window->windowIcon().pixmap(32, 32).isNull());
    QVERIFY(m.messages.isEmpty());
    // The window works as usual without them.
    m.toVersionPage(kFreshLabel);
    QCOMPARE(m.page(), 1);
}

void WizardTest::agreementGatesNext()
{
    Machine m;
    m.click(m.agree());
    QVERIFY(m.next()->isEnabled());
    m.click(m.disagree());
    QVERIFY(!m.next()->isEnabled());
    QTest::mouseClick(m.next(), Qt::LeftButton); // disabled: nothing happens
    QCOMPARE(m.page(), 0);
    m.click(m.agree());
    QVERIFY(m.next()->isEnabled());
}

void WizardTest::ctrlNDoesNothingWhileDisabled()
{
    Machine m;
    m.window->show();
    QApplication::setActiveWindow(m.window.get());
    QVERIFY(QTest::qWaitForWindowActive(m.window.get()));
    // A shortcut clicks its button with a short animation, so give it time.
    QTest::keyClick(m.window.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::qWait(300);
    QCOMPARE(m.page(), 0);
    m.click(m.agree());
    QTest::keyClick(m.window.get(), Qt::Key_N, Qt::ControlModifier);
    QTRY_COMPARE(m.page(), 1);
    QTest::keyClick(m.window.get(), Qt::Key_B, Qt::ControlModifier);
    QTRY_COMPARE(m.page(), 0);
}

void WizardTest::backKeepsTheChoice()
{
    Machine m;
    m.toVersionPage(kInstalledLabel);
    QCOMPARE(m.page(), 1);
    QVERIFY(!m.back()->isHidden());
    m.click(m.back());
    QCOMPARE(m.page(), 0);
    QVERIFY(m.back()->isHidden());
    QVERIFY(m.agree()->isChecked());
    QVERIFY(m.next()->isEnabled());
    m.click(m.back()); // hidden on page 1: no effect
    QCOMPARE(m.page(), 0);
}

void WizardTest::uninstallRadioFollowsModulePresence()
{
    Machine m;
    m.screenshot(QString());
    m.toVersionPage(kFreshLabel);
    QVERIFY(!m.uninstall()->isEnabled());
    QVERIFY(m.update()->isChecked());

    m.combo()->setCurrentText(kInstalledLabel);
    QVERIFY(m.uninstall()->isEnabled());
    QVERIFY(!m.uninstall()->isChecked());
    QVERIFY(m.update()->isChecked());
    m.click(m.uninstall());
    QVERIFY(!m.window->isInstallMode());
    m.window->show();
    m.screenshot(QStringLiteral("page2_version.png"));

    m.combo()->setCurrentText(kFreshLabel);
    QVERIFY(!m.uninstall()->isEnabled());
    QVERIFY(m.update()->isChecked());
    QVERIFY(m.window->isInstallMode());
}

void WizardTest::runningHostBlocksBothModes()
{
    Machine m;
    m.probe->running = true;
    m.toVersionPage(kInstalledLabel);
    m.click(m.next());
    QCOMPARE(m.page(), 1);
    QCOMPARE(m.messages.size(), 1);
    QCOMPARE(m.messages.first().kind, Tarn3DInstall::MessageKind::Information);
    QCOMPARE(m.messages.first().text, QStringLiteral("安装前请关闭当前打开的CAD。"));

    m.click(m.uninstall());
    m.click(m.next());
    QCOMPARE(m.page(), 1);
    QCOMPARE(m.messages.size(), 2);
    QCOMPARE(m.probe->asked, (QStringList{"acad.exe", "acad.exe"}));
    QVERIFY(m.installed.bin.size() > 0 && QFile::exists(m.installed.bin + "/tarn3D.arx"));

    m.probe->running = false;
    m.click(m.next());
    QCOMPARE(m.page(), 2);
    QCOMPARE(m.next()->text(), QStringLiteral("卸载完成"));
    QVERIFY(!QFile::exists(m.installed.bin + "/tarn3D.arx"));
    QCOMPARE(m.tree.read("Tarn/SYSTEM/acad.rx"), QByteArray("x.arx\r\n"));
    QVERIFY(m.details().endsWith(QStringLiteral("卸载完成...")));
}

void WizardTest::detailsToggleMovesTheSpacer()
{
    Machine m;
    m.window->show();
    QSpacerItem* spacer = m.detailsSpacer();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(0, 0));
    m.toVersionPage(kFreshLabel);
    m.click(m.next());
    QCOMPARE(m.page(), 2);

    auto* toggle = m.get<QPushButton>("pushButton_showInstallInfo");
    auto* pane = m.get<QTextEdit>("textEdit_InstallInfo");
    QCOMPARE(toggle->text(), QStringLiteral("隐藏详细信息"));
    m.get<QGridLayout>("gridLayout")->activate();
    QCOMPARE(spacer->geometry().height(), 0);

    m.click(toggle);
    QCOMPARE(toggle->text(), QStringLiteral("显示详细信息"));
    QVERIFY(pane->isHidden());
    QCOMPARE(spacer->sizeHint(), QSize(20, 40));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    m.get<QGridLayout>("gridLayout")->activate();
    QVERIFY(spacer->geometry().height() >= 40);

    m.click(toggle);
    QCOMPARE(toggle->text(), QStringLiteral("隐藏详细信息"));
    QVERIFY(!pane->isHidden());
    QCOMPARE(spacer->sizeHint(), QSize(0, 0));
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
}

void WizardTest::installLocksTheWizardAndReports()
{
    Machine m;
    m.window->show();
    m.toVersionPage(kFreshLabel);
    m.click(m.next());
    QCOMPARE(m.page(), 2);
    QCOMPARE(m.get<QLabel>("label_2")->text(), QStringLiteral("正在安装 TARN3D..."));
    QCOMPARE(m.next()->text(), QStringLiteral("安装完成"));
    QVERIFY(m.next()->isEnabled());
    QVERIFY(!m.back()->isEnabled());
    QVERIFY(!m.closeButton()->isEnabled());
    QCOMPARE(m.details(), QStringLiteral("正在复制 a.dll\n正在复制 b.dll\n正在复制 blk.dwg\n安装完成..."));
    QCOMPARE(m.get<QProgressBar>("progressBar")->value(), 1);
    QCOMPARE(m.tree.read("Yam/BIN/tarn3D.arx"), QByteArray("m19"));
    QCOMPARE(m.tree.read("Yam/SYSTEM/acad.rx"), QByteArray("acetutil.arx\r\ntarn3D\r\n"));
    m.screenshot(QStringLiteral("page3_install.png"));

    m.click(m.closeButton());
    m.click(m.back());
    QVERIFY(m.window->isVisible());
    QCOMPARE(m.page(), 2);
    m.click(m.next());
    QVERIFY(!m.window->isVisible());
}

void WizardTest::failedInstallSaysSo()
{
    Machine m;
    m.toVersionPage(kFreshLabel);
    // A package of one file leaves the bar at 0..0, which animates as busy.
    QFile::remove(m.tree.path("app/TARN3D/x64/tarn3d_Dll/b.dll"));
    // A file where the package needs a folder fails the copy into it.
    m.tree.write("app/TARN3D/system/sub/x.cuix", "x");
    m.tree.write("Yam/SYSTEM/sub", "a file");
    m.click(m.next());
    QCOMPARE(m.next()->text(), QStringLiteral("安装失败"));
    const QString details = m.details();
    QVERIFY2(details.startsWith(QStringLiteral("正在复制 a.dll\n正在复制 x.cuix\n无法写入 ")
                                + QDir::toNativeSeparators(m.tree.path("Yam/SYSTEM/sub/x.cuix")) + QStringLiteral("：")),
             qPrintable(details));
    QVERIFY(details.endsWith(QStringLiteral("\n已撤销本次的全部更改。\n安装失败...")));
    QCOMPARE(m.get<QLabel>("label_2")->text(), QStringLiteral("安装失败"));
    QProgressBar* bar = m.get<QProgressBar>("progressBar");
    QVERIFY(bar->maximum() > bar->minimum());
    QVERIFY(!m.back()->isEnabled());
    QVERIFY(!m.closeButton()->isEnabled());
    QVERIFY(!m.tree.exists("Yam/BIN/a.dll"));
}

void WizardTest::noTargetShowsNoticeAndNoWindow()
{
    Machine m(false);
    QVERIFY(m.window->hostProfiles().isEmpty());
    QCOMPARE(m.combo()->count(), 0);
    QVERIFY(!m.window->checkHostInstalled());
    QVERIFY(!m.window->isVisible());
    QCOMPARE(m.messages.size(), 1);
    QCOMPARE(m.messages.first().kind, Tarn3DInstall::MessageKind::About);
    QCOMPARE(m.messages.first().title, QStringLiteral("提示"));
    QCOMPARE(m.messages.first().text, QStringLiteral("没有安装tarn,无法安装3d模块"));
}

void WizardTest::runReturnsZeroWithoutTargetElseTheLoopsResult()
{
    Machine none(false);
    bool loopEntered = false;
    QTimer::singleShot(0, [&loopEntered] {
        loopEntered = true;
        QCoreApplication::exit(3);
    });
    QCOMPARE(runWizard(*none.window), 0);
    QVERIFY(!loopEntered);
    QVERIFY(!none.window->isVisible());
    QCOMPARE(none.messages.size(), 1);
    QCoreApplication::processEvents();

    Machine some;
    bool shownInLoop = false;
    loopEntered = false;
    QTimer::singleShot(0, [&] {
        loopEntered = true;
        shownInLoop = some.window->isVisible();
        QCoreApplication::exit(7);
    });
    QCOMPARE(runWizard(*some.window), 7);
    QVERIFY(loopEntered);
    QVERIFY(shownInLoop);
    QVERIFY(some.messages.isEmpty());
}

QTEST_MAIN(WizardTest)
#include "wizard_test.moc"
