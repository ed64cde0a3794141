// The first rows of the chosen workbook or layer, shown in place of the example picture above the
// column boxes, so that the user picks the columns by seeing them. The rows are read on a thread of
// their own (a workbook is read whole), and only the latest source's are shown.
#pragma once

#include <QTableWidget>
#include <optional>
#include <string>

class QLabel;

namespace quilmark {

struct SourcePreview;

class PreviewTable : public QTableWidget {
  Q_OBJECT

 public:
  // Lies over `picture`, which shows while there is nothing to preview.
  explicit PreviewTable(QLabel& picture);

  // Reads the source's first rows and shows them once read; nullopt (nothing chosen) or a source
  // that cannot be read brings the picture back.
  void ShowSource(const std::optional<std::string>& source, const std::string& layer);

  // Whether a read is still going on (for tests).
  bool reading() const { return reading_; }

  // The texts shown in a column (0: the first), top to bottom; none for a column not shown.
  QStringList ColumnTexts(int column) const;

 signals:
  // New rows are shown.
  void Filled();

 private:
  void Fill(const std::optional<SourcePreview>& preview);

  QLabel& picture_;
  unsigned generation_ = 0;  // of the latest source asked for
  bool reading_ = false;
};

}  // namespace quilmark
