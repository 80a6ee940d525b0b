// Takes the documentation screenshots of the wizard's three pages on a real X
// display, with the machine services the program itself uses: the registry
// export named by TARN3D_REGISTRY_FILE, the process list, the system bitness.
// Usage: tarn3d_screenshots OUTPUT_FOLDER PACKAGE_FOLDER [TARGET_LABEL]
// PACKAGE_FOLDER holds TARN3D/ as it ships beside the program. The install on
// the last page really runs, into the plug-in folders the export names, so
// point the export at scratch folders. Run it from a folder holding image/
// (the build's bin folder); docs/make-screenshots.sh does all of this.

#include "docs/tools/screencapture.h"
#include "platform.h"
#include "tarn3dinstall.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

#include <cstdio>

using namespace screencapture;

namespace {

template <class T> T* child(const QWidget& window, const char* name)
{
    T* widget = window.findChild<T*>(QLatin1String(name));
    if (!widget)
        fail(QStringLiteral("the window has no %1").arg(QLatin1String(name)));
    return widget;
}

// The window as the X server shows it, once it has painted itself.
void savePage(QWidget& window, const QDir& folder, const char* name)
{
    QTest::qWait(200);
    save(screenPixels({&window}), folder, name);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER PACKAGE_FOLDER [TARGET_LABEL]\n", argv[0]);
        return 2;
    }
    const QDir out = outputFolder(argv[1]);
    const QString package = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    if (!QFileInfo(package + QStringLiteral("/TARN3D")).isDir())
        fail(QStringLiteral("%1 holds no TARN3D folder").arg(package));
    if (!QFileInfo::exists(QStringLiteral("image/tarn_install.jpg")))
        fail(QStringLiteral("no image/tarn_install.jpg in the working folder; run from the build's bin folder"));

    tarn3d::Platform platform = tarn3d::systemPlatform();
    if (!platform.registryError.isEmpty())
        fail(platform.registryError);
    platform.appDir = package;
    // A box here (the CAD host running, say) would stand in front of the page.
    Tarn3DInstall window(platform, nullptr, [](Tarn3DInstall::MessageKind, const QString& title, const QString& text) {
        fail(QStringLiteral("the wizard showed \"%1\": %2").arg(title, text));
    });
    if (window.targetEntries().isEmpty())
        fail(QStringLiteral("no target in the registry export (set TARN3D_REGISTRY_FILE)"));

    auto* combo = child<QComboBox>(window, "comboBox_version");
    if (argc == 4) {
        const QString label = QString::fromLocal8Bit(argv[3]);
        if (combo->findText(label) < 0)
            fail(QStringLiteral("no target \"%1\"").arg(label));
        combo->setCurrentText(label);
    }

    window.move(QGuiApplication::primaryScreen()->geometry().center() - window.rect().center());
    if (!window.checkHostInstalled() || !QTest::qWaitForWindowExposed(&window))
        fail(QStringLiteral("the window was never shown"));
    auto* pages = child<QTabWidget>(window, "tabWidget");
    auto* next = child<QAbstractButton>(window, "pushButton_next");

    child<QRadioButton>(window, "radioButton_tab1_1")->click();
    savePage(window, out, "page1_agreement.png");

    next->click();
    if (pages->currentIndex() != 1)
        fail(QStringLiteral("next did not lead to the version page"));
    savePage(window, out, "page2_version.png");

    next->click();
    if (pages->currentIndex() != 2)
        fail(QStringLiteral("next did not lead to the install page"));
    if (!child<QTextEdit>(window, "textEdit_InstallInfo")->isVisible())
        child<QAbstractButton>(window, "pushButton_showInstallInfo")->click();
    savePage(window, out, "page3_install.png");
    std::printf("%s\n", child<QTextEdit>(window, "textEdit_InstallInfo")->toPlainText().toUtf8().constData());
    return 0;
}
