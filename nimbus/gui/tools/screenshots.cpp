// Renders the window for the documentation: idle with a few files listed, and
// in the middle of a real conversion of generated point files.
// Usage: nimbus_gui_screenshots OUTPUT_FOLDER [INPUT...]
// Converts copies of the inputs (three generated text clouds when none are
// given) and writes nimbus-idle.png and nimbus-converting.png into OUTPUT_FOLDER.

#include "../tests/scripteddialogs.h"

#include "nimbus/gui/selectfilewidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A cloud spread over a 1 km square, so the writer has many blocks to report.
bool writeCloud(const QString& path, int points)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "500000.0 4200000.0 120.0\n";
    text.reserve(points * 32);
    quint32 state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1u << 24);
    };
    for (int i = 0; i < points; ++i) {
        text += QByteArray::number(500000.0 + 1000.0 * next(), 'f', 3) + ' '
            + QByteArray::number(4200000.0 + 1000.0 * next(), 'f', 3) + ' '
            + QByteArray::number(120.0 + 30.0 * next(), 'f', 3) + '\n';
    }
    return file.write(text) == text.size();
}

void click(const QWidget& window, const char* name)
{
    window.findChild<QPushButton*>(QString::fromLatin1(name))->click();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    ScriptedDialogs dialogs;

    {
        nimbus::SelectFileWidget window;
        window.resize(560, 380);
        window.show();
        dialogs.fileAnswers.append({"/data/survey/2024-05/site-a.las", "/data/survey/2024-05/site-a-north.laz",
                                    "/data/survey/2024-05/tunnel-scan.pts", "/data/survey/2024-05/outcrop.xyz",
                                    "/data/survey/2024-05/control-points.dat", "/data/survey/2024-05/facade.pcd"});
        click(window, "addButton");
        auto* list = window.findChild<QListWidget*>();
        list->item(4)->setCheckState(Qt::Unchecked);
        list->item(1)->setSelected(true);
        QApplication::processEvents();
        if (!window.grab().save(out.filePath(QStringLiteral("nimbus-idle.png"))))
            return 1;
    }

    // Outputs land beside the inputs, so the inputs are copied to a scratch
    // folder first. Text clouds carry no point count, so their percentages
    // stay near zero; LAS/LAZ inputs show the bar moving.
    QTemporaryDir work;
    QStringList inputs;
    for (int i = 2; i < argc; ++i) {
        const QFileInfo source(QString::fromLocal8Bit(argv[i]));
        inputs << work.filePath(QStringLiteral("%1-%2").arg(i - 1).arg(source.fileName()));
        if (!QFile::copy(source.absoluteFilePath(), inputs.last()))
            return 1;
    }
    if (inputs.isEmpty()) {
        for (const char* name : {"block-07.xyz", "block-08.xyz", "block-09.xyz"}) {
            inputs << work.filePath(QString::fromLatin1(name));
            if (!writeCloud(inputs.last(), 400000))
                return 1;
        }
    }

    nimbus::SelectFileWidget window;
    window.resize(560, 380);
    window.show();
    dialogs.fileAnswers.append(inputs);
    click(window, "addButton");
    click(window, "okButton");

    // Wait for the second file to be part-way written.
    QElapsedTimer clock;
    clock.start();
    bool saved = false;
    while (window.isConverting() && clock.elapsed() < 120000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        const auto* bar = window.findChild<QProgressBar*>();
        const auto* label = bar ? bar->parentWidget()->findChild<QLabel*>() : nullptr;
        static QString lastSeen;
        if (label && label->text() != lastSeen) {
            lastSeen = label->text();
            std::printf("%lld ms: %s (bar %d)\n", static_cast<long long>(clock.elapsed()),
                        lastSeen.toUtf8().constData(), bar->value());
        }
        if (!saved && bar && label && label->text().contains(QStringLiteral("[2/"))
            && bar->value() >= 30 && bar->value() <= 80) {
            saved = window.grab().save(out.filePath(QStringLiteral("nimbus-converting.png")));
            std::printf("captured at: %s\n", label->text().toUtf8().constData());
        }
    }
    return saved ? 0 : 1;
}
