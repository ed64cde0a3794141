// The window's 统计报表 group: a check box for each survey report (the command line's --report)
// and the depth of their rows (--level). Ticking a report fills the column boxes that still hold
// their starting column numbers with the standard survey fields (ZLDWDM, DLBM, TBMJ), so the
// user sees which fields the run will read.
#pragma once

#include <QObject>

#include "src/app/run_options.h"

class QCheckBox;
class QComboBox;
class QWidget;

namespace quilmark {

class ReportRows : public QObject {
  Q_OBJECT

 public:
  // Builds the group in `window` from `top` between `left` and `right`.
  ReportRows(QWidget& window, int left, int right, int top, int row_height);

  int bottom() const { return bottom_; }

  // Sets the chosen reports and their level in the options.
  void Fill(RunOptions& options) const;

 private:
  void FillStandardFields();

  QWidget& window_;
  std::vector<QCheckBox*> boxes_;  // in the order of Reports()
  QComboBox* level_ = nullptr;
  int bottom_ = 0;
};

}  // namespace quilmark
