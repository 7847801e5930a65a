// Draws the program's icon: a shield with a patrol route through four checkpoints.
// The 180 x 180 window icon was drawn with it once and is committed
// (`build/tools/drawlogo resources/img/Logo.png`); the build draws the desktop menu's
// icon sizes with it (`drawlogo OUTPUT.png SIZE`).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const int size = argc == 3 ? QByteArray(argv[2]).toInt() : 180;
    if (argc < 2 || argc > 3 || size < 16) {
        QTextStream(stderr) << "usage: drawlogo OUTPUT.png [SIZE]\n";
        return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The drawing is made on a 180 x 180 canvas.
    p.scale(size / 180.0, size / 180.0);

    QPainterPath shield;
    shield.moveTo(90, 8);
    shield.cubicTo(120, 24, 150, 26, 166, 24);
    shield.cubicTo(168, 100, 140, 146, 90, 172);
    shield.cubicTo(40, 146, 12, 100, 14, 24);
    shield.cubicTo(30, 26, 60, 24, 90, 8);
    QLinearGradient fill(0, 0, 0, 180);
    fill.setColorAt(0, QColor(0x1f, 0x5f, 0xa8));
    fill.setColorAt(1, QColor(0x0d, 0x2f, 0x5c));
    p.setPen(QPen(QColor(0xf2, 0xc1, 0x2e), 7));
    p.setBrush(fill);
    p.drawPath(shield);

    const QPointF stops[] = {{52, 60}, {124, 54}, {112, 112}, {66, 128}};
    QPen route(QColor(255, 255, 255, 220), 6, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(route);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(stops, 4);

    p.setPen(QPen(Qt::white, 3));
    p.setBrush(QColor(0xf2, 0xc1, 0x2e));
    for (const QPointF &stop : stops)
        p.drawEllipse(stop, 11, 11);
    p.end();
    return image.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
