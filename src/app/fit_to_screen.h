// Showing a fixed-size window on a screen too small for it: at a large display scale (125% or
// 150% on a 1366x768 screen) the window would reach past the screen's bottom edge.
#pragma once

#include <QRect>
#include <QWidget>
#include <memory>

namespace quilmark {

// The window to show for `content` on a screen whose free area is `available`: the content itself
// where it fits with its frame, else a scrolling window that holds it, as large as the area
// allows and never larger than the content. The scrolling window takes the content's title and
// icon and owns it.
std::unique_ptr<QWidget> FitToScreen(std::unique_ptr<QWidget> content, const QRect& available);

class SpaAnalysis;

// The program's window as shown on that screen: in two columns where one column is too tall
// for the area and two fit across it (a 1366x768 screen, so that 确 认 shows without scrolling),
// then as FitToScreen shows any content.
std::unique_ptr<QWidget> FitWindowToScreen(std::unique_ptr<SpaAnalysis> window,
                                           const QRect& available);

}  // namespace quilmark
