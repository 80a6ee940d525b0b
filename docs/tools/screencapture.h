#pragma once
// What the documentation screenshot tools share: their start-up checks, and
// pictures read back from the X server, so they show the windows exactly as
// the screen does. Header-only; the tools are single files.

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace screencapture {

// Prints "PROGRAM: message" and ends the program with 1.
[[noreturn]] inline void fail(const QString& message)
{
    std::fprintf(stderr, "%s: %s\n", QCoreApplication::applicationName().toLocal8Bit().constData(),
                 message.toLocal8Bit().constData());
    std::exit(1);
}

// The folder named by `argument`; ends the program unless it exists and the
// program runs on a display whose pixels can be read back.
inline QDir outputFolder(const char* argument)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform.startsWith(QLatin1String("minimal")))
        fail(QStringLiteral("needs a real display; on Linux run it under xvfb-run with QT_QPA_PLATFORM=xcb"));
    const QDir folder(QString::fromLocal8Bit(argument));
    if (!folder.exists())
        fail(QStringLiteral("no folder %1").arg(folder.path()));
    return folder;
}

// What the X server shows over the union of the widgets' windows. Each widget
// is repainted first so the picture holds its current state.
inline QImage screenPixels(std::initializer_list<QWidget*> widgets)
{
    QRect area;
    for (QWidget* widget : widgets) {
        widget->repaint();
        area |= widget->frameGeometry();
    }
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage();
}

// Writes the picture as folder/name in PNG and says so.
inline void save(const QImage& picture, const QDir& folder, const char* name)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (picture.isNull() || !picture.save(path, "PNG"))
        fail(QStringLiteral("cannot write %1").arg(path));
    std::printf("wrote %s (%dx%d)\n", path.toLocal8Bit().constData(), picture.width(), picture.height());
}

} // namespace screencapture
