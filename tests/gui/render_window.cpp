// render_window [--screen] OUTPUT.png [WORKBOOK]: draws the window as it first appears (with the
// workbook chosen and its first rows shown, when one is given) into a PNG file, without a display when run on the
// offscreen platform. With --screen, as the program shows it on the platform's screen (in two
// columns or a scrolling frame where the screen is small), at the display scale.
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <cstdio>
#include <cstring>
#include <memory>

#include "src/app/fit_to_screen.h"
#include "src/app/main_window.h"
#include "src/app/first_rows_view.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool screen = argc > 1 && std::strcmp(argv[1], "--screen") == 0;
  const int first = screen ? 2 : 1;
  if (argc - first < 1 || argc - first > 2) {
    std::fprintf(stderr, "usage: %s [--screen] OUTPUT.png [WORKBOOK]\n", argv[0]);
    return 2;
  }
  quilmark::ApplyAppearance(app);
  auto window = std::make_unique<quilmark::SpaAnalysis>();
  if (argc - first == 2) window->SetWorkbook(QString::fromLocal8Bit(argv[first + 1]));
  // The workbook's first rows are read on a thread of their own: drawn once they show.
  const auto* preview = window->findChild<quilmark::PreviewTable*>();
  QElapsedTimer waited;
  waited.start();
  while (preview != nullptr && preview->reading() && waited.elapsed() < 10000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  const std::unique_ptr<QWidget> shown =
      screen ? quilmark::FitWindowToScreen(std::move(window),
                                           QGuiApplication::primaryScreen()->availableGeometry())
             : std::move(window);
  shown->show();
  QApplication::processEvents();
  if (!shown->grab().save(QString::fromLocal8Bit(argv[first]), "PNG")) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[first]);
    return 1;
  }
  return 0;
}
