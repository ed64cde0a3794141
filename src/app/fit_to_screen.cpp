#include "src/app/fit_to_screen.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "src/app/main_window.h"

namespace quilmark {
namespace {

// Room left for the frame a window manager draws around the window (title bar and borders).
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 40;

QSize Room(const QRect& available) {
  return QSize(available.width() - kFrameWidth, available.height() - kFrameHeight);
}

}  // namespace

std::unique_ptr<QWidget> FitWindowToScreen(std::unique_ptr<SpaAnalysis> window,
                                           const QRect& available) {
  const QSize room = Room(available);
  if (window->height() > room.height() && window->SideBySideSize().width() <= room.width()) {
    window->ArrangeSideBySide();
    if (window->height() > room.height()) window->PutCommandsFirst();
  }
  return FitToScreen(std::move(window), available);
}

std::unique_ptr<QWidget> FitToScreen(std::unique_ptr<QWidget> content, const QRect& available) {
  const QSize room = Room(available);
  const QSize size = content->size();
  if (size.width() <= room.width() && size.height() <= room.height()) return content;

  auto scroll = std::make_unique<QScrollArea>();
  scroll->setObjectName(QStringLiteral("FitToScreen"));
  scroll->setWindowTitle(content->windowTitle());
  scroll->setWindowIcon(content->windowIcon());
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(false);
  const int bar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  // A scroll bar along one edge takes room from the other: make room for it where there is some.
  const bool scrolls_down = size.height() > room.height();
  const bool scrolls_across = size.width() + (scrolls_down ? bar : 0) > room.width();
  const QSize whole(size.width() + (scrolls_down ? bar : 0),
                    size.height() + (scrolls_across ? bar : 0));
  scroll->setWidget(content.release());
  scroll->setMaximumSize(whole);
  scroll->resize(whole.boundedTo(room));
  return scroll;
}

}  // namespace quilmark
