// quilmark-gui [WORKBOOK]: opens the window, with the workbook file chosen when one is given.
#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QStringList>
#include <memory>

#include "src/app/fit_to_screen.h"
#include "src/app/main_window.h"
#include "src/host/postgis/pg_cancel.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  quilmark::CancelServerStatementsOnSignals();
  QApplication::setApplicationName(QStringLiteral("quilmark-gui"));
  QApplication::setApplicationVersion(QStringLiteral(QUILMARK_VERSION));
  quilmark::ApplyAppearance(app);

  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("workbook"),
                               QStringLiteral("要汇总的 .xlsx 工作簿或 GIS 图层 (可选)"),
                               QStringLiteral("[workbook]"));
  parser.process(app);
  const QStringList workbooks = parser.positionalArguments();
  if (workbooks.size() > 1) parser.showHelp(2);

  auto window = std::make_unique<quilmark::SpaAnalysis>();
  window->LoadSettings();
  if (!workbooks.isEmpty()) window->SetWorkbook(workbooks.front());
  const std::unique_ptr<QWidget> shown = quilmark::FitWindowToScreen(
      std::move(window), QGuiApplication::primaryScreen()->availableGeometry());
  shown->show();
  return QApplication::exec();
}
