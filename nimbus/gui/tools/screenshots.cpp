// Takes the documentation screenshots of the Nimbus window as it runs on a
// real display: idle with the inputs listed, part-way through converting
// them, and the final summary box over the window.
// Usage: nimbus_gui_screenshots OUTPUT_FOLDER INPUT...
// The inputs are copied into a fresh temporary folder and converted there, so
// the window shows true paths and no output lands beside the originals. The
// pictures are read back from the screen (on Linux an X display, e.g. Xvfb);
// docs/make-screenshots.sh runs this with the right environment.

#include "docs/tools/screencapture.h"
#include "nimbus/gui/selectfilewidget.h"
#include "nimbus/gui/userdialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

using namespace screencapture;

namespace {

// Longest a conversion of the documentation inputs may take.
constexpr qint64 kConversionLimitMs = 300000;

QMessageBox* openMessageBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->windowHandle() && box->windowHandle()->isExposed())
            return box;
    }
    return nullptr;
}

// Answers the file dialog with the inputs; every message box is the
// program's own, pictured over the window and then closed with its button.
// The summary is the last box of a run.
class ScreenshotDialogs final : public nimbus::UserDialogs {
public:
    ScreenshotDialogs(QWidget* window, QStringList files)
        : window(window)
        , files(std::move(files))
    {
        nimbus::setUserDialogs(this);
    }
    ~ScreenshotDialogs() override { nimbus::setUserDialogs(nullptr); }

    QImage lastBox;

    QStringList chooseFiles(QWidget*, const QString&, const QString&, const QString&) override { return files; }

    void notify(QMessageBox::Icon icon, const QString& title, const QString& text) override
    {
        std::printf("box \"%s\":\n%s\n", title.toUtf8().constData(), text.toUtf8().constData());
        // A few ticks after the box is exposed it has painted itself.
        int exposedTicks = 0;
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            QMessageBox* box = openMessageBox();
            if (!box || ++exposedTicks < 3)
                return;
            watcher.stop();
            lastBox = screenPixels({window, box});
            if (QAbstractButton* button = box->buttons().value(0))
                button->click();
        });
        watcher.start(100);
        nimbus::setUserDialogs(nullptr);
        nimbus::userDialogs().notify(icon, title, text);
        nimbus::setUserDialogs(this);
    }

    bool confirm(QWidget*, const QString&, const QString&) override { return false; }

private:
    QWidget* window;
    QStringList files;
};

// Keeps the picture taken nearest the middle of the latest file, judged by
// the bar alone so the tool does not depend on the label's wording.
class MidConversionPicture : public QObject {
public:
    explicit MidConversionPicture(QWidget* window)
        : window(window)
    {
    }

    // Follows the window's current bar; the window may make a new one.
    void watch()
    {
        auto* bar = window->findChild<QProgressBar*>();
        if (!bar || bar == watched)
            return;
        watched = bar;
        lastValue = -1;
        ++file;
        connect(bar, &QProgressBar::valueChanged, this, [this](int value) { consider(value); });
    }

    QImage picture;

private:
    void consider(int value)
    {
        // The bar falls back only when the next file starts.
        if (value < lastValue)
            ++file;
        lastValue = value;
        if (value < 5 || value > 95)
            return;
        const int distance = std::abs(value - 50);
        if (file > pictureFile || (file == pictureFile && distance < pictureDistance)) {
            picture = screenPixels({window});
            pictureFile = file;
            pictureDistance = distance;
        }
    }

    QWidget* window;
    QPointer<QProgressBar> watched;
    int lastValue = -1;
    int file = 0;
    int pictureFile = 0;
    int pictureDistance = 0;
};

// Copies the inputs into `folder` under their own names.
QStringList copyInputs(const QStringList& sources, const QTemporaryDir& folder)
{
    QStringList copies;
    for (const QString& source : sources) {
        if (!QFileInfo(source).isFile())
            fail(QStringLiteral("no file %1").arg(source));
        const QString copy = folder.filePath(QFileInfo(source).fileName());
        if (QFileInfo::exists(copy))
            fail(QStringLiteral("two inputs are named %1").arg(QFileInfo(source).fileName()));
        if (!QFile::copy(source, copy))
            fail(QStringLiteral("cannot copy %1 to %2").arg(source, copy));
        copies << copy;
    }
    return copies;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER INPUT...\n", argv[0]);
        return 2;
    }
    const QDir out = outputFolder(argv[1]);
    QStringList sources;
    for (int i = 2; i < argc; ++i)
        sources << QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();

    // Static, so that fail()'s exit still removes it.
    static QTemporaryDir work(QDir::temp().filePath(QStringLiteral("nimbus-screenshots-XXXXXX")));
    if (!work.isValid())
        fail(QStringLiteral("cannot create a temporary folder"));
    const QStringList inputs = copyInputs(sources, work);

    nimbus::SelectFileWidget window;
    ScreenshotDialogs dialogs(&window, inputs);
    window.resize(620, 380);
    // Centred, as the summary box will be, so the box sits over the window.
    window.move(QGuiApplication::primaryScreen()->geometry().center() - window.rect().center());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        fail(QStringLiteral("the window was never shown"));

    window.findChild<QPushButton*>(QStringLiteral("addButton"))->click();
    if (window.checkedFiles() != inputs)
        fail(QStringLiteral("the window did not list the inputs"));
    QTest::qWait(200);
    save(screenPixels({&window}), out, "nimbus-idle.png");

    MidConversionPicture converting(&window);
    window.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    QElapsedTimer clock;
    clock.start();
    while (window.isConverting()) {
        converting.watch();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (clock.elapsed() > kConversionLimitMs)
            fail(QStringLiteral("the conversion took longer than %1 s").arg(kConversionLimitMs / 1000));
    }
    if (converting.picture.isNull())
        fail(QStringLiteral("the bar never stood part-way through a file; use larger inputs"));
    if (dialogs.lastBox.isNull())
        fail(QStringLiteral("the conversion ended without a summary box"));
    save(converting.picture, out, "nimbus-converting.png");
    save(dialogs.lastBox, out, "nimbus-summary.png");
    return 0;
}
