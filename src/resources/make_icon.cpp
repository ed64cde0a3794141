// Draws the program's icon, icons/quilmark-<size>.png for each size a desktop asks for: a sheet
// with a ruled table, and a land patch laid over it with its outline. Drawn once and shipped;
// not part of the build. To redraw:
//
//   g++ -std=c++20 -fPIC src/resources/make_icon.cpp -o /tmp/make_icon \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/make_icon src/resources/icons
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

namespace {

// The icon on a 256-unit square, scaled to the size asked for.
QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 256.0, size / 256.0);

  // The sheet.
  painter.setPen(QPen(QColor(0x2e, 0x5d, 0x3a), 8));
  painter.setBrush(QColor(0xf7, 0xf9, 0xf4));
  painter.drawRoundedRect(QRectF(20, 20, 216, 216), 24, 24);
  // Its header row and ruling.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x3f, 0x8a, 0x4f));
  QPainterPath header;
  header.addRoundedRect(QRectF(24, 24, 208, 52), 20, 20);
  header.addRect(QRectF(24, 50, 208, 26));
  painter.drawPath(header.simplified());
  painter.setPen(QPen(QColor(0xa9, 0xc4, 0xad), 5));
  for (int y : {116, 156, 196}) painter.drawLine(QPointF(28, y), QPointF(228, y));
  for (int x : {92, 160}) painter.drawLine(QPointF(x, 76), QPointF(x, 228));

  // The patch.
  const QPolygonF patch({{70, 104}, {176, 90}, {214, 150}, {170, 214}, {88, 202}, {52, 150}});
  painter.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(QColor(0xe6, 0x9f, 0x2b, 190));
  painter.drawPolygon(patch);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) return 2;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString path =
        QStringLiteral("%1/quilmark-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!DrawIcon(size).save(path, "PNG")) return 1;
  }
  return 0;
}
