// Draws example_result.png, the window's picture of a result block as the summary writer puts it
// into a sheet: an empty corner cell, class keys across, town names down, an area in each cell.
// The picture is drawn once and shipped, so the window shows the same bitmap whatever its font.
// Not part of the build; to redraw it:
//
//   g++ -std=c++20 -fPIC src/resources/make_example_picture.cpp -o /tmp/make_example_picture \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/make_example_picture src/resources/example_result.png
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <algorithm>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) return 2;

  const QStringList keys = {"111", "112", "121K", "155", "155K", "204", "317"};
  const QStringList towns = {"石碣镇", "石龙镇", "茶山镇"};
  const char* areas[3][7] = {
      {"125.3", "48.6", "12.7", "356.2", "8.4", "97.5", "23.1"},
      {"86.7", "3.2", "5.5", "210.9", "1.6", "64.2", "15.8"},
      {"143.2", "31.4", "27.9", "402.6", "16.3", "118.4", "6.9"},
  };
  // 382 x 83: a wider first column for the town names, then seven equal ones; a header row.
  const int first_width = 67, width = 45, header_height = 20, height = 21;
  const int column_lefts[] = {0, 67, 112, 157, 202, 247, 292, 337, 382};
  const int row_tops[] = {0, header_height, header_height + height, header_height + 2 * height, 83};
  static_assert(first_width + 7 * width == 382);

  QImage image(382, 83, QImage::Format_RGB888);
  image.fill(Qt::white);
  QPainter painter(&image);
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  font.setPixelSize(12);
  painter.setFont(font);

  painter.setPen(QColor(0xd0, 0xd7, 0xe5));  // the sheet's gridlines
  for (int x : column_lefts) painter.drawLine(std::min(x, 381), 0, std::min(x, 381), 82);
  for (int y : row_tops) painter.drawLine(0, std::min(y, 82), 381, std::min(y, 82));

  painter.setPen(Qt::black);
  const auto cell = [&](int column, int row) {
    return QRect(column_lefts[column] + 3, row_tops[row],
                 column_lefts[column + 1] - column_lefts[column] - 6,
                 row_tops[row + 1] - row_tops[row]);
  };
  // Keys and names are texts and sit left in their cells; areas are numbers and sit right.
  for (int k = 0; k < 7; ++k)
    painter.drawText(cell(k + 1, 0), Qt::AlignLeft | Qt::AlignVCenter, keys[k]);
  for (int t = 0; t < 3; ++t) {
    painter.drawText(cell(0, t + 1), Qt::AlignLeft | Qt::AlignVCenter, towns[t]);
    for (int k = 0; k < 7; ++k) {
      painter.drawText(cell(k + 1, t + 1), Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromUtf8(areas[t][k]));
    }
  }
  painter.end();
  return image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
