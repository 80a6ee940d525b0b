#pragma once
// Stands in for the user in window tests: answers file dialogs and yes/no
// questions from queues and records every box it is shown.

#include "nimbus/gui/userdialogs.h"

#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <functional>

struct FileDialogCall {
    QPointer<QWidget> parent;
    QString caption;
    QString folder;
    QString filter;
};

struct ShownBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    bool onGuiThread;
};

class ScriptedDialogs : public nimbus::UserDialogs {
public:
    ScriptedDialogs() { nimbus::setUserDialogs(this); }
    ~ScriptedDialogs() override { nimbus::setUserDialogs(nullptr); }

    QList<QStringList> fileAnswers;
    QList<FileDialogCall> fileCalls;
    QList<ShownBox> boxes;
    QList<bool> confirmAnswers;
    QStringList questions;
    // Runs while a box is "open", as the user's eyes would see the window.
    std::function<void(const ShownBox&)> whileBoxOpen;
    // Runs while a question is "open".
    std::function<void()> whileQuestionOpen;

    QStringList chooseFiles(QWidget* parent, const QString& caption, const QString& folder,
                            const QString& filter) override
    {
        fileCalls.append({parent, caption, folder, filter});
        return fileAnswers.isEmpty() ? QStringList() : fileAnswers.takeFirst();
    }

    void notify(QMessageBox::Icon icon, const QString& title, const QString& text) override
    {
        const ShownBox box{icon, title, text, QThread::currentThread() == QCoreApplication::instance()->thread()};
        boxes.append(box);
        if (whileBoxOpen)
            whileBoxOpen(box);
    }

    bool confirm(QWidget*, const QString&, const QString& text) override
    {
        questions.append(text);
        if (whileQuestionOpen)
            whileQuestionOpen();
        return confirmAnswers.isEmpty() ? false : confirmAnswers.takeFirst();
    }

    int countTitled(const QString& title) const
    {
        int n = 0;
        for (const ShownBox& box : boxes)
            n += box.title == title ? 1 : 0;
        return n;
    }
};
