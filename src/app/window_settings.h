// The window's choices kept between starts: the value of each listed control (column texts or
// field names, tasks, methods, unit, decimals, totals, reports and level), the chosen workbook or
// layer source with its layer and filter, and the recent files. They live in the user's settings
// file (quilmark/quilmark-gui.conf under the desktop's configuration folder).
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

class QWidget;

namespace quilmark {

// How many files the recent list keeps.
inline constexpr int kRecentLimit = 8;

// The window's settings store.
std::unique_ptr<QSettings> OpenWindowSettings();

// The values of the listed controls, in the order they are set back (a report box, when ticked,
// rewrites the column boxes, so the column texts come after it).
struct ControlValues {
  std::vector<QVariant> values;  // one per listed control; invalid where the control is missing
};

// What the listed controls of `window` hold now.
ControlValues ReadControls(const QWidget& window);
// Sets the listed controls to `values` (an invalid value leaves its control as it is); an option
// button set to false is cleared even where its group allows no empty choice.
void WriteControls(QWidget& window, const ControlValues& values);

// Writes the controls' values, the chosen source (empty: none) and its layer and filter.
void SaveControls(const QWidget& window, const QString& source, QSettings& settings);
// Sets the controls to what was saved; keys never saved leave their controls as they are.
void RestoreControls(QWidget& window, const QSettings& settings);
// The saved source, or empty when none was saved or it no longer exists.
QString SavedSource(const QSettings& settings);
// Chooses the saved layer and filter, after the saved source was chosen.
void RestoreLayerAndFilter(QWidget& window, const QSettings& settings);

// The recent list with `path` moved or added to the front, at most kRecentLimit long.
QStringList WithRecent(QStringList recent, const QString& path);
QStringList SavedRecent(const QSettings& settings);
void SaveRecent(const QStringList& recent, QSettings& settings);

}  // namespace quilmark
