// render_window OUTPUT.png [WORKBOOK]: draws the window as it first appears (with the workbook
// chosen, when one is given) into a PNG file, without a display when run on the offscreen
// platform.
#include <QApplication>
#include <QPixmap>
#include <QString>
#include <cstdio>

#include "src/app/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s OUTPUT.png [WORKBOOK]\n", argv[0]);
    return 2;
  }
  quilmark::ApplyAppearance(app);
  quilmark::SpaAnalysis window;
  if (argc == 3) window.SetWorkbook(QString::fromLocal8Bit(argv[2]));
  window.show();
  QApplication::processEvents();
  if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
