// The window's rows for a GIS layer: which layer of the chosen source to sum and an attribute
// filter (the command line's --layer and --where) with an overlay layer beside it (--overlay), a
// button that chooses a folder source (a File Geodatabase is a folder), the layer's field names
// (with their aliases) offered in the column boxes, and a row for the zone codes (the command line's --zone-prefix and --zone-names), which
// holds for every source, a worksheet's zone column too. Reads the source only through
// ReadLayerChoices.
#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "src/app/layer_input.h"
#include "src/app/run_input.h"
#include "src/app/run_options.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QWidget;

namespace quilmark {

class LayerFieldBoxes : public QObject {
  Q_OBJECT

 public:
  // Builds the rows in `window` from `top` between `left` and `right`, and offers field names in
  // the named column boxes of the window.
  LayerFieldBoxes(QWidget& window, int left, int right, int top, int row_height, int gap,
                  const std::vector<const char*>& column_boxes);

  // The bottom of the last row.
  int bottom() const { return bottom_; }
  QPushButton* folder_button() const { return folder_button_; }

  // Shows what the source offers (its layers, the first one's fields), or, for nullopt (a
  // workbook or nothing chosen), clears and disables the layer rows.
  void ShowSource(const std::optional<std::string>& source);

  // Puts the layer and the filter chosen into the run's input.
  void Fill(RunInput& input) const;

  // Puts the zone row's choices into `options` (ZonePrefix, ZoneNamesFile).
  void Fill(RunOptions& options) const;

 protected:
  // A click in a column box shows the layer's fields to choose from.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int BuildZoneRow(QWidget& window, int left, int right, int top, int row_height);
  void BuildOverlayBox(QWidget& window, int left, int right, int top, int row_height);
  void ShowFields(const LayerChoices& choices);
  void WidenForNames(size_t i, int longest);

  std::optional<std::string> source_;
  QComboBox* layers_ = nullptr;
  QLineEdit* where_ = nullptr;
  QLineEdit* overlay_ = nullptr;  // TextOverlay, the command line's --overlay
  QPushButton* folder_button_ = nullptr;
  QComboBox* zone_prefix_ = nullptr;
  QLineEdit* zone_names_ = nullptr;
  QStandardItemModel* fields_ = nullptr;  // shown: name and alias; completed: the bare name
  std::vector<QLineEdit*> column_boxes_;
  std::vector<QString> column_tips_;  // each box's own tip, for a source without fields
  std::vector<int> column_widths_;    // each box's own width, for a source without fields
  int right_ = 0;                     // the right edge of the window's (first) column
  int bottom_ = 0;
};

}  // namespace quilmark
