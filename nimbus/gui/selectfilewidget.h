#pragma once
// The Nimbus window: a checkable list of point-cloud files, add/delete and
// select-all controls, the progress area and OK/Cancel. OK converts the
// checked files with one FastConvertor, created on the first run as a child
// of the window and reused afterwards; Cancel stops a run, and when idle
// ends the program. All widgets are children of the window.

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
    // Cancel while converting: stops the run as Ctrl+C stops the command
    // line (the file being converted keeps its earlier output, finished ones
    // stay) and shows the summary once the driver has stopped.
    void stopConversion();
    // Ends the program on behalf of something other than the user (a
    // termination signal): stops a running conversion as a confirmed close
    // would, lets the driver remove its unfinished output, then emits
    // quitRequested(exitCode). Without a conversion it emits at once.
    void stopAndQuit(int exitCode);

signals:
    // Nothing of the window's work is left unfinished: the program may end
    // with `exitCode`. The window never quits the application itself.
    void quitRequested(int exitCode);

protected:
    // While converting: asks whether to stop; on yes the window closes as
    // soon as the driver has stopped and cleaned up, on no nothing changes.
    // A run ending while the question is open shows its summary after the
    // answer, not on top of the question; a yes then closes the window.
    void closeEvent(QCloseEvent* event) override;

private:
    // Driver thread: shows the final box on the GUI thread and waits for it.
    void presentSummary(const QString& text);
    // Shows the summary held back while the stop question was open.
    void showHeldSummary();
    // Emits quitRequested once.
    void announceQuit();
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
    bool quitting = false;
    bool quitAnnounced = false;
    int quitExitCode = 0;
    // A box on top of the stop question would hide it, and the question would
    // then be about a run that has ended: the summary waits for the answer.
    bool questionOpen = false;
    bool summaryOpen = false;
    QString heldSummary;
};

} // namespace nimbus
