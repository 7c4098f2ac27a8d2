// Draws the viewer's 126 x 35 RGBA logo (the watermark shown in a corner
// of every viewport) and writes it as PNG:  makelogo OUT.png
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QImage image(126, 35, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A rounded badge: a streamline swoosh over a dark blue plate.
    QPainterPath plate;
    plate.addRoundedRect(QRectF(0.5, 0.5, 125, 34), 7, 7);
    QLinearGradient g(0, 0, 0, 35);
    g.setColorAt(0, QColor(30, 60, 120, 200));
    g.setColorAt(1, QColor(10, 25, 60, 200));
    p.fillPath(plate, g);
    p.setPen(QPen(QColor(255, 255, 255, 140), 1));
    p.drawPath(plate);
    QPainterPath swoosh;
    swoosh.moveTo(6, 27);
    swoosh.cubicTo(22, 10, 34, 30, 52, 9);
    p.setPen(QPen(QColor(255, 170, 40, 230), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(swoosh);
    QPainterPath swoosh2;
    swoosh2.moveTo(6, 20);
    swoosh2.cubicTo(22, 4, 34, 24, 52, 4);
    p.setPen(QPen(QColor(120, 200, 255, 200), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(swoosh2);
    QFont f("DejaVu Sans", 13, QFont::Bold);
    f.setPixelSize(15);
    p.setFont(f);
    p.setPen(QColor(255, 255, 255, 235));
    p.drawText(QRectF(54, 2, 70, 31), Qt::AlignVCenter | Qt::AlignLeft, "KRV");
    p.end();
    return image.save(argv[1], "PNG") ? 0 : 1;
}
