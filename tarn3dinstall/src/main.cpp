#include "consoledevice.h"
#include "tarn3dinstall.h"
#include "unattended.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>

// The installer is a GUI program; the unattended mode writes to the console
// it was started from, if any. Streams the caller redirected (a pipe, a
// file) stay where they point.
static bool hasStandardHandle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

static void attachParentConsole()
{
    const bool outRedirected = hasStandardHandle(STD_OUTPUT_HANDLE);
    const bool errRedirected = hasStandardHandle(STD_ERROR_HANDLE);
    if ((outRedirected && errRedirected) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE* stream = nullptr;
    if (!outRedirected)
        freopen_s(&stream, "CONOUT$", "w", stdout);
    if (!errRedirected)
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
        // UTF-8 everywhere; on a Windows console it is shown as wide text.
        tarn3d::ConsoleDevice outDevice(stdout);
        tarn3d::ConsoleDevice errDevice(stderr);
        QTextStream out(&outDevice);
        QTextStream err(&errDevice);
        out.setCodec("UTF-8");
        err.setCodec("UTF-8");
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
