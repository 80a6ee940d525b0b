#include "tarn3dinstall.h"
#include "unattended.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>

// The installer is a GUI program; the unattended mode writes to the console
// it was started from, if any.
static void attachParentConsole()
{
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE* stream = nullptr;
    freopen_s(&stream, "CONOUT$", "w", stdout);
    freopen_s(&stream, "CONOUT$", "w", stderr);
}
#endif

int main(int argc, char* argv[])
{
    if (tarn3d::isUnattendedCommandLine(argc, argv)) {
        QCoreApplication app(argc, argv);
#ifdef Q_OS_WIN
        attachParentConsole();
#endif
        QTextStream out(stdout);
        QTextStream err(stderr);
#ifndef Q_OS_WIN
        out.setCodec("UTF-8");
        err.setCodec("UTF-8");
#endif
        const int code =
            tarn3d::runUnattended(QCoreApplication::arguments().mid(1), tarn3d::systemPlatform(), out, err);
        out.flush();
        err.flush();
        return code;
    }

    QApplication app(argc, argv);
    Tarn3DInstall window;
    return runWizard(window);
}
