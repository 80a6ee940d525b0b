#include "userdialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QPushButton>

namespace nimbus {

namespace {

class QtUserDialogs final : public UserDialogs {
public:
    QStringList chooseFiles(QWidget* parent, const QString& caption, const QString& folder,
                            const QString& filter) override
    {
        return QFileDialog::getOpenFileNames(parent, caption, folder, filter);
    }

    void notify(QMessageBox::Icon icon, const QString& title, const QString& text) override
    {
        QMessageBox box(icon, title, text, QMessageBox::Ok, nullptr,
                        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        box.button(QMessageBox::Ok)->setText(closeButtonCaption());
        box.exec();
    }

    bool confirm(QWidget* parent, const QString& title, const QString& text) override
    {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                        parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        box.button(QMessageBox::Yes)->setText(QCoreApplication::translate("Nimbus", "Yes"));
        box.button(QMessageBox::No)->setText(QCoreApplication::translate("Nimbus", "No"));
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
};

QtUserDialogs realDialogs;
UserDialogs* installedDialogs = nullptr;

} // namespace

UserDialogs& userDialogs()
{
    return installedDialogs ? *installedDialogs : realDialogs;
}

void setUserDialogs(UserDialogs* dialogs)
{
    installedDialogs = dialogs;
}

QString closeButtonCaption()
{
    return QCoreApplication::translate("Nimbus", "Close");
}

} // namespace nimbus
