// Draws the installer's two pictures: the side panel (a lake below
// contour-lined hills, with the product name) and the window icon.
// Usage: tarn3d_make_pictures OUTPUT_DIR   (writes tarn_install.jpg, tarn_icon.png)
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cmath>

namespace {

QPainterPath ridge(double width, double baseY, double amplitude, double phase)
{
    QPainterPath path;
    path.moveTo(0, baseY);
    for (int x = 0; x <= static_cast<int>(width); x += 4) {
        const double y = baseY - amplitude * (0.6 * std::sin(x / 37.0 + phase) + 0.4 * std::sin(x / 13.0 + 2 * phase));
        path.lineTo(x, y);
    }
    return path;
}

QImage sidePanel()
{
    const int w = 300;
    const int h = 600;
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(18, 52, 96));
    sky.setColorAt(0.55, QColor(64, 128, 176));
    sky.setColorAt(1.0, QColor(214, 232, 242));
    p.fillRect(image.rect(), sky);

    // Hills as stacked contour lines, darker towards the front.
    for (int i = 0; i < 7; ++i) {
        QPainterPath line = ridge(w, 250 + i * 28, 26 - i * 2, i * 0.9);
        QPainterPath filled = line;
        filled.lineTo(w, h);
        filled.lineTo(0, h);
        filled.closeSubpath();
        p.fillPath(filled, QColor(40 + i * 12, 96 + i * 10, 72 + i * 6));
        p.setPen(QPen(QColor(230, 240, 225, 140), 1.5));
        p.drawPath(line);
    }

    // The tarn: an ellipse of still water with a light stripe.
    QLinearGradient water(0, 470, 0, 560);
    water.setColorAt(0, QColor(70, 150, 200));
    water.setColorAt(1, QColor(20, 70, 130));
    p.setPen(Qt::NoPen);
    p.setBrush(water);
    p.drawEllipse(QRectF(30, 465, 240, 90));
    p.setPen(QPen(QColor(255, 255, 255, 150), 3));
    p.drawLine(QPointF(90, 505), QPointF(200, 505));

    QFont font(QStringLiteral("DejaVu Sans"), 40, QFont::Bold);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRect(0, 70, w, 60), Qt::AlignCenter, QStringLiteral("TARN"));
    font.setPointSize(64);
    p.setFont(font);
    p.setPen(QColor(255, 214, 90));
    p.drawText(QRect(0, 130, w, 90), Qt::AlignCenter, QStringLiteral("3D"));
    return image;
}

QImage icon()
{
    const int s = 64;
    QImage image(s, s, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, s);
    fill.setColorAt(0, QColor(64, 128, 176));
    fill.setColorAt(1, QColor(18, 52, 96));
    p.setBrush(fill);
    p.setPen(QPen(QColor(255, 255, 255), 2));
    p.drawRoundedRect(QRectF(2, 2, s - 4, s - 4), 12, 12);
    // A cube in outline: the module's three dimensions.
    p.setPen(QPen(QColor(255, 214, 90), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF a(18, 26), b(38, 26), c(38, 46), d(18, 46);
    const QPointF off(9, -9);
    p.drawPolygon(QPolygonF({a, b, c, d}));
    p.drawPolyline(QPolygonF({a, a + off, b + off, b}));
    p.drawPolyline(QPolygonF({b + off, c + off, c}));
    return image;
}

} // namespace

int main(int argc, char* argv[])
{
    // Drawing needs fonts but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: tarn3d_make_pictures OUTPUT_DIR\n";
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        err << "cannot create " << dir.path() << '\n';
        return 1;
    }
    if (!sidePanel().save(dir.filePath(QStringLiteral("tarn_install.jpg")), "JPG", 85)
        || !icon().save(dir.filePath(QStringLiteral("tarn_icon.png")), "PNG")) {
        err << "cannot write the pictures into " << dir.path() << '\n';
        return 1;
    }
    return 0;
}
