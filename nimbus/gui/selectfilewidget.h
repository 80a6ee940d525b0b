#pragma once
// The Nimbus window: a checkable list of point-cloud files, add/delete and
// select-all controls, the progress area and OK/Cancel. OK converts the
// checked files with one FastConvertor, created on the first run as a child
// of the window and reused afterwards. All widgets are children of the window.

#include <QString>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QCloseEvent;
class QListWidget;
class QPushButton;

namespace nimbus {

class FastConvertor;
class ProgressBar;

class SelectFileWidget : public QWidget {
    Q_OBJECT
public:
    explicit SelectFileWidget(QWidget* parent = nullptr);
    // Stops and waits for a conversion still running, so no thread outlives
    // its owner and no half-written output stays behind.
    ~SelectFileWidget() override;

    // Texts of the checked items, in list order.
    QStringList checkedFiles() const;
    // True from OK with checked files until the driver's finish arrives.
    bool isConverting() const { return converting; }

public slots:
    void addFiles();
    void deleteSelected();
    void setAllChecked(bool checked);
    void startConversion();
    void onConversionFinished(bool complete, QString msg);
    void setBusy(bool busy);

protected:
    // While converting: asks whether to stop; on yes the window closes as
    // soon as the driver has stopped and cleaned up, on no nothing changes.
    void closeEvent(QCloseEvent* event) override;

private:
    // Driver thread: shows the final box on the GUI thread and waits for it.
    void presentSummary(const QString& text);
    void createConvertor();

    QPushButton* addButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    ProgressBar* progress = nullptr;
    QCheckBox* selectAll = nullptr;
    QListWidget* fileList = nullptr;
    FastConvertor* fastConvertor = nullptr;
    QStringList selectedFiles;

    bool converting = false;
    bool closeWhenStopped = false;
};

} // namespace nimbus
