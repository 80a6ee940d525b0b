#pragma once

#include "host_family.h"
#include "host_profile.h"
#include "operation_observer.h"
#include "platform.h"

#include <QList>
#include <QMainWindow>
#include <QMap>
#include <functional>
#include <memory>

namespace Ui {
class Tarn3DInstallClass;
}

// The installer's three-page wizard: licence, target and mode, then the
// operation with its progress and details. Detection runs once while the
// window is built; the chosen operation runs inside the Next click.
class Tarn3DInstall : public QMainWindow, private tarn3d::OperationObserver {
    Q_OBJECT

public:
    enum class MessageKind { About, Information };
    // Shows a message box; replaceable so tests can answer the boxes.
    using MessagePresenter = std::function<void(MessageKind kind, const QString& title, const QString& text)>;

    explicit Tarn3DInstall(QWidget* parent = nullptr);
    // Runs against the given machine services instead of the real ones.
    explicit Tarn3DInstall(tarn3d::Platform platform, QWidget* parent = nullptr,
                           MessagePresenter presenter = MessagePresenter());
    ~Tarn3DInstall() override;

    // Start-up gate: with no target, shows the notice and returns false;
    // otherwise shows the window and returns true.
    bool checkHostInstalled();

    bool isNativeX64() const;
    void scanHosts();
    void scanRoot(const QString& root, bool x86);
    void fillVersionCombo();
    bool isModuleInstalled(const QString& label) const;
    bool isProcessRunning(const QString& executableName) const;

    void installTarget();
    void uninstallTarget();
    void appendDetail(const QString& text) override;

    const QList<tarn3d::HostProfile>& hostProfiles() const { return profiles; }
    const QMap<QString, tarn3d::HostProfile>& targetEntries() const { return entries; }
    bool isInstallMode() const { return installMode; }

private slots:
    void back_slots();
    void next_slots();
    void close_slots();
    void showInfoWidget_slots();
    void radio1_slots(bool checked);
    void radio2_slots(bool checked);
    void comboChange_slots(const QString& str);
    void radios1_tab2_slots(bool checked);
    void radios2_tab2_slots(bool checked);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void initialise();
    void showMessage(MessageKind kind, const QString& title, const QString& text);
    tarn3d::HostProfile currentTarget() const;
    // Leaves page 3 showing the outcome: the bar stopped, the result on Next
    // and, after a failure, in the heading.
    void finishOperation(bool ok, const QString& result);

    // OperationObserver
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    void keepResponsive() override;

    std::unique_ptr<Ui::Tarn3DInstallClass> ui;
    tarn3d::Platform platform;
    MessagePresenter presenter;
    tarn3d::HostFamily family = tarn3d::configuredFamily();

    QList<tarn3d::HostProfile> profiles;
    QMap<QString, QString> versionCatalogue;
    QMap<QString, QString> oemLabels;
    QMap<QString, tarn3d::HostProfile> entries;
    bool installMode = true;
    bool operationRunning = false;
};

// The program's run of the window: without a target, the notice and 0 at
// once; otherwise the window is shown and the event loop's result returned.
int runWizard(Tarn3DInstall& window);
