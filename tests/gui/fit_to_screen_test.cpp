// The window on the screen and at the display scale the test runs under (QT_SCALE_FACTOR): every
// button can be reached, on the screen or by scrolling, never sideways; where it fits in one
// column, the window is as drawn. QUILMARK_EXPECT_SCROLL says whether this screen and scale need
// the scrolling frame, QUILMARK_EXPECT_COLUMNS how many columns the window takes.
#include "src/app/fit_to_screen.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "src/app/main_window.h"

namespace quilmark {

class FitToScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void EveryButtonCanBeReached();
};

void FitToScreenTest::EveryButtonCanBeReached() {
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  auto owned = std::make_unique<SpaAnalysis>();
  SpaAnalysis* window = owned.get();
  const QSize drawn = window->size();
  std::unique_ptr<QWidget> shown = FitWindowToScreen(std::move(owned), available);
  shown->show();
  QVERIFY(QTest::qWaitForWindowExposed(shown.get()));

  auto* scroll = qobject_cast<QScrollArea*>(shown.get());
  QCOMPARE(scroll != nullptr, qEnvironmentVariableIntValue("QUILMARK_EXPECT_SCROLL") == 1);
  QVERIFY(available.contains(shown->frameGeometry()));
  const bool two_columns = qEnvironmentVariableIntValue("QUILMARK_EXPECT_COLUMNS") == 2;
  QCOMPARE(window->size() == drawn, !two_columns);
  if (scroll != nullptr) QCOMPARE(scroll->horizontalScrollBar()->maximum(), 0);
  // 确 认 shows as the window opens, without scrolling (where the window scrolls, at the top).
  auto* proc = window->findChild<QAbstractButton*>(QStringLiteral("CommandProc"));
  QVERIFY(available.contains(QRect(proc->mapToGlobal(QPoint(0, 0)), proc->size())));
  if (scroll != nullptr) {
    QCOMPARE(scroll->verticalScrollBar()->value(), 0);
    const QRect in_view(proc->mapTo(scroll->viewport(), QPoint(0, 0)), proc->size());
    QVERIFY(scroll->viewport()->rect().contains(in_view));
  }

  const QList<QAbstractButton*> buttons = window->findChildren<QAbstractButton*>();
  QVERIFY(buttons.size() > 10);
  for (QAbstractButton* button : buttons) {
    if (qobject_cast<QAbstractItemView*>(button->parentWidget())) continue;  // a table corner
    if (scroll != nullptr) scroll->ensureWidgetVisible(button, 0, 0);
    const QRect on_screen(button->mapToGlobal(QPoint(0, 0)), button->size());
    QVERIFY2(available.contains(on_screen), qPrintable(button->objectName()));
    if (scroll != nullptr) {
      const QRect in_view(button->mapTo(scroll->viewport(), QPoint(0, 0)), button->size());
      QVERIFY2(scroll->viewport()->rect().contains(in_view), qPrintable(button->objectName()));
    }
  }
}

}  // namespace quilmark

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  quilmark::ApplyAppearance(app);
  quilmark::FitToScreenTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "fit_to_screen_test.moc"
