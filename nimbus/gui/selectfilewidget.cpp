#include "selectfilewidget.h"

#include "guicall.h"
#include "progressbar.h"
#include "translation.h"
#include "userdialogs.h"

#include "nimbus/convert/fastconvertor.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdlib>

namespace nimbus {

namespace {

// Folder of the file chosen last in the add dialog, for the whole process.
QString lastUsedFolder;

const char kDialogFilter[] = QT_TRANSLATE_NOOP("Nimbus", "Supported formats (*.las *.laz *.xyz *.dat *.pcd *.ply *.pts);;E57 (*.e57)");

QPushButton* makeButton(const char* caption, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(QCoreApplication::translate("Nimbus", caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

bool listHoldsPath(const QListWidget* list, const QString& path)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text().compare(path, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

SelectFileWidget::SelectFileWidget(QWidget* parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Nimbus"));
    setMinimumWidth(300);
    setMinimumHeight(300);

    installWindowTranslation();
    addButton = makeButton(QT_TRANSLATE_NOOP("Nimbus", "Add"), "addButton", this);
    deleteButton = makeButton(QT_TRANSLATE_NOOP("Nimbus", "Remove"), "deleteButton", this);
    okButton = makeButton(QT_TRANSLATE_NOOP("Nimbus", "OK"), "okButton", this);
    cancelButton = makeButton(QT_TRANSLATE_NOOP("Nimbus", "Cancel"), "cancelButton", this);

    progress = new ProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    progress->hide();

    selectAll = new QCheckBox(QCoreApplication::translate("Nimbus", "Select all"), this);
    selectAll->setObjectName(QStringLiteral("selectAll"));
    selectAll->setChecked(true);

    fileList = new QListWidget(this);
    fileList->setObjectName(QStringLiteral("fileList"));
    fileList->setAutoScroll(true);
    fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* topRow = new QHBoxLayout;
    topRow->addWidget(selectAll);
    topRow->addStretch();
    topRow->addWidget(addButton);
    topRow->addWidget(deleteButton);

    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progress);

    auto* bottomRow = new QHBoxLayout;
    bottomRow->addStretch();
    bottomRow->addWidget(okButton);
    bottomRow->addWidget(cancelButton);
    bottomRow->addStretch();

    auto* column = new QVBoxLayout(this);
    column->addLayout(topRow);
    column->addWidget(fileList);
    column->addLayout(progressRow);
    column->addLayout(bottomRow);

    connect(addButton, &QPushButton::clicked, this, &SelectFileWidget::addFiles);
    connect(deleteButton, &QPushButton::clicked, this, &SelectFileWidget::deleteSelected);
    connect(selectAll, &QCheckBox::stateChanged, this,
            [this](int state) { setAllChecked(state != 0); });
    connect(okButton, &QPushButton::clicked, this, &SelectFileWidget::startConversion);
    setBusy(false);
}

SelectFileWidget::~SelectFileWidget()
{
    if (fastConvertor && fastConvertor->isRunning()) {
        // The driver may be waiting for this thread to show its final box;
        // the flag releases it before we block on it.
        guiThreadWaitingForWorkers() = true;
        fastConvertor->requestStop();
        fastConvertor->wait();
        guiThreadWaitingForWorkers() = false;
    }
}

QStringList SelectFileWidget::checkedFiles() const
{
    QStringList paths;
    for (int row = 0; row < fileList->count(); ++row) {
        const QListWidgetItem* item = fileList->item(row);
        if (item->checkState() == Qt::Checked)
            paths << item->text();
    }
    return paths;
}

void SelectFileWidget::addFiles()
{
    const QStringList chosen = userDialogs().chooseFiles(
        this, QCoreApplication::translate("Nimbus", "Choose files to convert"), lastUsedFolder, QCoreApplication::translate("Nimbus", kDialogFilter));
    for (const QString& path : chosen) {
        if (path.isEmpty() || listHoldsPath(fileList, path))
            continue;
        auto* item = new QListWidgetItem(path, fileList);
        item->setToolTip(path);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(selectAll->isChecked() ? Qt::Checked : Qt::Unchecked);
    }
    for (const QString& path : chosen) {
        if (!path.isEmpty())
            lastUsedFolder = QFileInfo(path).absolutePath();
    }
}

void SelectFileWidget::deleteSelected()
{
    const QList<QListWidgetItem*> selected = fileList->selectedItems();
    for (QListWidgetItem* item : selected) {
        fileList->removeItemWidget(item);
        delete item;
    }
}

void SelectFileWidget::setAllChecked(bool checked)
{
    for (int row = 0; row < fileList->count(); ++row)
        fileList->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void SelectFileWidget::startConversion()
{
    // OK is disabled while converting; a second start must never overlap.
    if (converting)
        return;
    setBusy(true);
    selectedFiles = checkedFiles();
    if (selectedFiles.isEmpty()) {
        userDialogs().notify(QMessageBox::Warning, QCoreApplication::translate("Nimbus", "Notice"),
                             QCoreApplication::translate("Nimbus", "Please choose the files to convert"));
        setBusy(false);
        return;
    }
    // Two ticked files for one ilas file: the second would silently replace
    // the first. None is converted until the user unticks one of them.
    const QStringList clashes = FastConvertor::outputClashes(selectedFiles);
    if (!clashes.isEmpty()) {
        userDialogs().notify(QMessageBox::Warning, QCoreApplication::translate("Nimbus", "Notice"),
                             QCoreApplication::translate("Nimbus", "These files would be written to one ilas file; "
                                                                   "tick only one of them:\n")
                                 + clashes.join(QLatin1Char('\n')));
        setBusy(false);
        return;
    }

    if (!fastConvertor)
        createConvertor();
    // finish is the driver's last act, but its thread may not have returned
    // yet; start() on a running thread would silently do nothing.
    if (fastConvertor->isRunning())
        fastConvertor->wait();

    progress->reset();
    fastConvertor->files = selectedFiles;
    converting = true;
    fastConvertor->start(QThread::InheritPriority);
    // While the run goes, Cancel stops it.
    connect(cancelButton, &QPushButton::clicked, this, &SelectFileWidget::stopConversion);
    cancelButton->setEnabled(true);
}

void SelectFileWidget::createConvertor()
{
    fastConvertor = new FastConvertor(this);
    connect(fastConvertor, &FastConvertor::updateTask, progress, &ProgressBar::updateTask);
    connect(fastConvertor, &FastConvertor::updatePercent_signal, progress,
            &ProgressBar::setPercent);
    connect(fastConvertor, &FastConvertor::setPrompt, progress, &ProgressBar::setPrompt);
    connect(fastConvertor, &FastConvertor::finish, this, &SelectFileWidget::onConversionFinished);
    fastConvertor->showSummary = [this](const QString& text) { presentSummary(text); };
}

void SelectFileWidget::presentSummary(const QString& text)
{
    runOnThreadOf(
        this,
        [this, text] {
            // The user asked to leave: the box would only hold the window open.
            if (closeWhenStopped || quitting)
                return;
            if (questionOpen) {
                heldSummary = text;
                return;
            }
            // The run is over: nothing is left to stop.
            cancelButton->setEnabled(false);
            summaryOpen = true;
            userDialogs().notify(QMessageBox::Warning, QCoreApplication::translate("Nimbus", "Time taken"), text);
            summaryOpen = false;
        },
        guiThreadWaitingForWorkers());
}

void SelectFileWidget::showHeldSummary()
{
    if (heldSummary.isEmpty())
        return;
    const QString text = heldSummary;
    heldSummary.clear();
    userDialogs().notify(QMessageBox::Warning, QCoreApplication::translate("Nimbus", "Time taken"), text);
}

void SelectFileWidget::onConversionFinished(bool, QString)
{
    progress->done();
    progress->hide();
    setBusy(false);
    converting = false;
    if (quitting) {
        heldSummary.clear();
        announceQuit();
        return;
    }
    if (closeWhenStopped) {
        closeWhenStopped = false;
        heldSummary.clear();
        close();
        return;
    }
    // The question was answered between the summary and the end of the run.
    if (!questionOpen)
        showHeldSummary();
}

void SelectFileWidget::stopAndQuit(int exitCode)
{
    if (quitting)
        return;
    quitting = true;
    quitExitCode = exitCode;
    // With the summary on screen every output is complete; the driver only
    // waits for the box, which quitting closes.
    if (!converting || summaryOpen) {
        announceQuit();
        return;
    }
    fastConvertor->requestStop();
    progress->setPrompt(QCoreApplication::translate("Nimbus", "stopping:"));
}

void SelectFileWidget::announceQuit()
{
    if (quitAnnounced)
        return;
    quitAnnounced = true;
    emit quitRequested(quitExitCode);
}

void SelectFileWidget::setBusy(bool busy)
{
    okButton->setEnabled(!busy);
    cancelButton->setEnabled(!busy);
    disconnect(cancelButton, &QPushButton::clicked, nullptr, nullptr);
    if (!busy)
        connect(cancelButton, &QPushButton::clicked, this, [] { std::exit(0); });
}

void SelectFileWidget::stopConversion()
{
    if (!converting || !fastConvertor)
        return;
    // One request is enough; until the driver has stopped a second click
    // must not reach the idle meaning of Cancel.
    cancelButton->setEnabled(false);
    fastConvertor->requestStop();
    progress->setPrompt(QCoreApplication::translate("Nimbus", "stopping:"));
}

void SelectFileWidget::closeEvent(QCloseEvent* event)
{
    if (!converting) {
        event->accept();
        return;
    }
    event->ignore();
    // Already on the way out; asking would be pointless.
    if (closeWhenStopped || quitting)
        return;
    questionOpen = true;
    const bool stop = userDialogs().confirm(
        this, QCoreApplication::translate("Nimbus", "Notice"),
        QCoreApplication::translate("Nimbus", "A conversion is running. Stop it and close the window?\nThe unfinished output file will be removed."));
    questionOpen = false;
    // The program was told to end while the question was open; that path
    // has already stopped the run and owns what follows.
    if (quitting)
        return;
    // The run may have ended while the question was open: its summary comes
    // now, then a yes closes the window.
    if (!converting) {
        showHeldSummary();
        if (stop)
            event->accept();
        return;
    }
    if (!stop)
        return;
    closeWhenStopped = true;
    fastConvertor->requestStop();
    progress->setPrompt(QCoreApplication::translate("Nimbus", "stopping:"));
}

} // namespace nimbus
