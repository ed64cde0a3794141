// The window's rows for a GIS layer: which layer of the chosen source to sum and an attribute
// filter (the command line's --layer and --where), a button that chooses a folder source (a File
// Geodatabase is a folder), and the layer's field names offered in the column boxes. Reads the
// source only through ReadLayerChoices.
#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "src/app/layer_input.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QStringListModel;
class QWidget;

namespace quilmark {

class LayerRows : public QObject {
  Q_OBJECT

 public:
  // Builds the rows in `window` from `top` between `left` and `right`, and offers field names in
  // the named column boxes of the window.
  LayerRows(QWidget& window, int left, int right, int top, int row_height, int gap,
            const std::vector<const char*>& column_boxes);

  // The bottom of the last row.
  int bottom() const { return bottom_; }
  QPushButton* folder_button() const { return folder_button_; }

  // Shows what the source offers (its layers, the first one's fields), or, for nullopt (a
  // workbook or nothing chosen), clears and disables the layer rows.
  void ShowSource(const std::optional<std::string>& source);

  // The run's input for the source shown.
  LayerInput Input() const;

 protected:
  // A click in a column box shows the layer's fields to choose from.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowFields(const std::vector<std::string>& fields);

  std::optional<std::string> source_;
  QComboBox* layers_ = nullptr;
  QLineEdit* where_ = nullptr;
  QPushButton* folder_button_ = nullptr;
  QStringListModel* fields_ = nullptr;
  std::vector<QLineEdit*> column_boxes_;
  std::vector<QString> column_tips_;  // each box's own tip, for a source without fields
  int bottom_ = 0;
};

}  // namespace quilmark
