#include "tarn3dinstall.h"

#include "host_detector.h"
#include "install_texts.h"
#include "package_installer.h"
#include "ui_tarn3dinstall.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTextCursor>
#include <algorithm>

using tarn3d::HostProfile;

namespace {

enum Page { AgreementPage = 0, VersionPage = 1, InstallPage = 2 };

// Both pictures ship in the "image" folder and are looked up relative to the
// working directory; a missing one leaves the icon or the side label empty.
const char kIconPath[] = "image/tarn_icon.png";
const char kPicturePath[] = "image/tarn_install.jpg";

} // namespace

Tarn3DInstall::Tarn3DInstall(QWidget* parent) : Tarn3DInstall(tarn3d::systemPlatform(), parent) {}

Tarn3DInstall::Tarn3DInstall(tarn3d::Platform machine, QWidget* parent, MessagePresenter messagePresenter)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Tarn3DInstallClass>()),
      platform(std::move(machine)),
      presenter(std::move(messagePresenter))
{
    ui->setupUi(this);
    if (!platform.registryError.isEmpty())
        qWarning("%s", qPrintable(platform.registryError));

    versionCatalogue = tarn3d::versionCatalogue(family);
    oemLabels = tarn3d::oemLabels(family);
    installMode = true;

    setWindowIcon(QIcon(QString::fromLatin1(kIconPath)));

    connect(ui->pushButton_back, &QPushButton::clicked, this, &Tarn3DInstall::back_slots);
    connect(ui->pushButton_next, &QPushButton::clicked, this, &Tarn3DInstall::next_slots);
    connect(ui->pushButton_close, &QPushButton::clicked, this, &Tarn3DInstall::close_slots);
    connect(ui->pushButton_showInstallInfo, &QPushButton::clicked, this, &Tarn3DInstall::showInfoWidget_slots);
    connect(ui->radioButton_tab1_1, &QRadioButton::toggled, this, &Tarn3DInstall::radio1_slots);
    connect(ui->radioButton_tab1_2, &QRadioButton::toggled, this, &Tarn3DInstall::radio2_slots);
    connect(ui->radioButton_tab2_update, &QRadioButton::toggled, this, &Tarn3DInstall::radios1_tab2_slots);
    connect(ui->radioButton_tab2_uninstall, &QRadioButton::toggled, this, &Tarn3DInstall::radios2_tab2_slots);
    connect(ui->comboBox_version, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { comboChange_slots(ui->comboBox_version->itemText(index)); });

    initialise();
    resize(550, 400);
}

Tarn3DInstall::~Tarn3DInstall() = default;

void Tarn3DInstall::initialise()
{
    ui->pushButton_back->hide();
    ui->pushButton_back->setShortcut(QKeySequence(QStringLiteral("Ctrl+B")));
    ui->pushButton_next->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    ui->tabWidget->tabBar()->hide();
    ui->radioButton_tab2_update->setChecked(true);

    // A null picture still replaces the designer's placeholder text.
    const QImage picture{QString::fromLatin1(kPicturePath)};
    ui->label_photo->setPixmap(picture.isNull() ? QPixmap()
                                                : QPixmap::fromImage(picture).scaled(
                                                      150, 300, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    ui->label_photo->setScaledContents(true);

    ui->radioButton_tab1_2->setChecked(true);
    ui->textEdit_tab1->setReadOnly(true);
    ui->textEdit_InstallInfo->setReadOnly(true);

    scanHosts();
    if (!profiles.isEmpty()) {
        fillVersionCombo();
        ui->textEdit_InstallInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        ui->textEdit_InstallInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        ui->textEdit_InstallInfo->setFocusPolicy(Qt::NoFocus);
        ui->textEdit_tab1->setFocusPolicy(Qt::NoFocus);
        ui->verticalSpacer_details->changeSize(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum);
        ui->tabWidget->setStyleSheet(
            QStringLiteral("QTabWidget:pane {border-top:0px solid #e8f3f9;background:  transparent; }"));
    }
}

bool Tarn3DInstall::checkHostInstalled()
{
    if (profiles.isEmpty()) {
        showMessage(MessageKind::About, tarn3d::texts::noHostTitle(), tarn3d::texts::noHostText());
        return false;
    }
    show();
    return true;
}

bool Tarn3DInstall::isNativeX64() const
{
    return platform.nativeX64 && platform.nativeX64();
}

void Tarn3DInstall::scanHosts()
{
    profiles.clear();
    if (!platform.registry)
        return;
    const tarn3d::HostDetector detector(family, *platform.registry, isNativeX64(), platform.programFiles);
    profiles = detector.scanHosts();
}

void Tarn3DInstall::scanRoot(const QString& root, bool x86)
{
    if (!platform.registry)
        return;
    const tarn3d::HostDetector detector(family, *platform.registry, isNativeX64(), platform.programFiles);
    detector.scanRoot(root, x86, profiles);
}

void Tarn3DInstall::fillVersionCombo()
{
    entries = tarn3d::labelTargets(profiles, oemLabels);
    ui->comboBox_version->clear();
    ui->comboBox_version->addItems(entries.keys());
}

bool Tarn3DInstall::isModuleInstalled(const QString& label) const
{
    return tarn3d::moduleFilePresent(entries.value(label), family);
}

bool Tarn3DInstall::isProcessRunning(const QString& executableName) const
{
    return platform.processes && platform.processes->isRunning(executableName);
}

HostProfile Tarn3DInstall::currentTarget() const
{
    return entries.value(ui->comboBox_version->currentText());
}

void Tarn3DInstall::installTarget()
{
    ui->pushButton_back->setEnabled(false);
    ui->pushButton_next->setEnabled(false);
    ui->pushButton_close->setEnabled(false);
    operationRunning = true;

    tarn3d::PackageInstaller installer(platform.appDir, family, *this);
    const bool ok = tarn3d::installPackage(installer, currentTarget());

    finishOperation(ok, ok ? tarn3d::texts::installDone() : tarn3d::texts::installFailed());
}

void Tarn3DInstall::uninstallTarget()
{
    ui->pushButton_back->setEnabled(false);
    ui->pushButton_next->setEnabled(false);
    ui->pushButton_close->setEnabled(false);
    operationRunning = true;

    tarn3d::PackageInstaller installer(platform.appDir, family, *this);
    const bool ok = tarn3d::uninstallPackage(installer, currentTarget());

    finishOperation(ok, ok ? tarn3d::texts::uninstallDone() : tarn3d::texts::uninstallFailed());
}

void Tarn3DInstall::finishOperation(bool ok, const QString& result)
{
    operationRunning = false;
    // A bar whose range is empty (a folder of one file, or none) animates as
    // busy; once the operation is over nothing is running any more.
    QProgressBar* bar = ui->progressBar;
    if (bar->maximum() <= bar->minimum()) {
        const int value = bar->value();
        bar->setRange(0, 1);
        bar->setValue(ok ? 1 : std::max(0, value));
    } else if (ok) {
        bar->setValue(bar->maximum());
    }
    if (!ok)
        ui->label_2->setText(result);
    ui->pushButton_next->setEnabled(true);
    ui->pushButton_next->setText(result);
}

void Tarn3DInstall::appendDetail(const QString& text)
{
    ui->textEdit_InstallInfo->setPlainText(ui->textEdit_InstallInfo->toPlainText() + text);
    QTextCursor cursor = ui->textEdit_InstallInfo->textCursor();
    cursor.movePosition(QTextCursor::End);
    ui->textEdit_InstallInfo->setTextCursor(cursor);
}

void Tarn3DInstall::setProgressRange(int minimum, int maximum)
{
    ui->progressBar->setRange(minimum, maximum);
}

void Tarn3DInstall::setProgressValue(int value)
{
    ui->progressBar->setValue(value);
}

void Tarn3DInstall::keepResponsive()
{
    // Repaints only: the buttons are disabled, and user input waits.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Tarn3DInstall::showMessage(MessageKind kind, const QString& title, const QString& text)
{
    if (presenter) {
        presenter(kind, title, text);
        return;
    }
    if (kind == MessageKind::About) {
        QMessageBox::about(nullptr, title, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setText(tarn3d::texts::okButton());
    box.exec();
}

void Tarn3DInstall::back_slots()
{
    if (ui->tabWidget->currentIndex() != VersionPage)
        return;
    ui->tabWidget->setCurrentIndex(AgreementPage);
    ui->pushButton_back->hide();
}

void Tarn3DInstall::next_slots()
{
    switch (ui->tabWidget->currentIndex()) {
    case AgreementPage:
        ui->tabWidget->setCurrentIndex(VersionPage);
        ui->pushButton_back->show();
        if (!isModuleInstalled(ui->comboBox_version->currentText())) {
            ui->radioButton_tab2_uninstall->setEnabled(false);
            ui->radioButton_tab2_update->setChecked(true);
        }
        break;
    case VersionPage:
        if (isProcessRunning(tarn3d::hostProcessName())) {
            showMessage(MessageKind::Information, tarn3d::texts::noHostTitle(), tarn3d::texts::closeHostText());
            return;
        }
        ui->tabWidget->setCurrentIndex(InstallPage);
        if (installMode)
            installTarget();
        else
            uninstallTarget();
        break;
    case InstallPage:
        close();
        break;
    default:
        break;
    }
}

void Tarn3DInstall::close_slots()
{
    close();
}

void Tarn3DInstall::showInfoWidget_slots()
{
    if (ui->pushButton_showInstallInfo->text() == QStringLiteral("显示详细信息")) {
        ui->textEdit_InstallInfo->show();
        ui->verticalSpacer_details->changeSize(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum);
        ui->pushButton_showInstallInfo->setText(QStringLiteral("隐藏详细信息"));
    } else {
        ui->textEdit_InstallInfo->hide();
        ui->verticalSpacer_details->changeSize(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding);
        ui->pushButton_showInstallInfo->setText(QStringLiteral("显示详细信息"));
    }
    ui->gridLayout->invalidate();
}

void Tarn3DInstall::radio1_slots(bool /*checked*/)
{
    ui->pushButton_next->setEnabled(true);
}

void Tarn3DInstall::radio2_slots(bool /*checked*/)
{
    ui->pushButton_next->setEnabled(false);
}

void Tarn3DInstall::comboChange_slots(const QString& str)
{
    if (ui->tabWidget->currentIndex() != VersionPage)
        return;
    if (isModuleInstalled(str)) {
        ui->radioButton_tab2_uninstall->setEnabled(true);
    } else {
        ui->radioButton_tab2_uninstall->setEnabled(false);
        ui->radioButton_tab2_update->setChecked(true);
    }
}

void Tarn3DInstall::radios1_tab2_slots(bool checked)
{
    if (checked)
        installMode = true;
}

void Tarn3DInstall::radios2_tab2_slots(bool checked)
{
    if (checked)
        installMode = false;
}

void Tarn3DInstall::closeEvent(QCloseEvent* event)
{
    // Closing mid-operation would leave the target half copied.
    if (operationRunning) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

int runWizard(Tarn3DInstall& window)
{
    if (!window.checkHostInstalled())
        return 0;
    return QApplication::exec();
}
