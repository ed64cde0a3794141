// quilmark-gui [WORKBOOK]: opens the window, with the workbook file chosen when one is given.
#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include "src/app/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quilmark-gui"));
  QApplication::setApplicationVersion(QStringLiteral(QUILMARK_VERSION));
  quilmark::ApplyAppearance(app);

  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("workbook"),
                               QStringLiteral("The .xlsx workbook to summarise (optional)."),
                               QStringLiteral("[workbook]"));
  parser.process(app);
  const QStringList workbooks = parser.positionalArguments();
  if (workbooks.size() > 1) parser.showHelp(2);

  quilmark::SpaAnalysis window;
  if (!workbooks.isEmpty()) window.SetWorkbook(workbooks.front());
  window.show();
  return QApplication::exec();
}
