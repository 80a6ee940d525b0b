#pragma once
// Every dialog the window puts in front of the user goes through one
// process-wide UserDialogs object, so that tests can stand in for the person.
// The real implementation shows Qt's file dialog and message boxes.

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace nimbus {

class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // Multi-file open dialog; the chosen paths in the dialog's order, empty
    // when cancelled.
    virtual QStringList chooseFiles(QWidget* parent, const QString& caption,
                                    const QString& folder, const QString& filter) = 0;
    // Modal box without parent and one Ok button captioned "关  闭"; returns
    // once the user has closed it.
    virtual void notify(QMessageBox::Icon icon, const QString& title, const QString& text) = 0;
    // Modal yes/no question over `parent`; true when the user says yes.
    virtual bool confirm(QWidget* parent, const QString& title, const QString& text) = 0;
};

// The dialogs in force; the real ones unless replaced.
UserDialogs& userDialogs();
// Replaces the dialogs (not owned; the caller keeps them alive while they are
// installed). Null restores the real ones. GUI thread only.
void setUserDialogs(UserDialogs* dialogs);

// Caption of the single button of every notification box.
QString closeButtonCaption();

} // namespace nimbus
