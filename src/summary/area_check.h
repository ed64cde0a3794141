// Area cells the leading-number rule reads without a word: "1,234.5" counts as 1, full-width
// "１２３４" as 0, "12.5亩" as 12.5. The rule stays; the run reports such cells afterwards, and an
// area column that gave no number at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/cell_value.h"
#include "src/summary/row_task.h"

namespace quilmark {

// A number cell, or a text that is wholly one decimal number: an optional sign, digits with at
// most one ".", an optional exponent (E, optional sign, digits), and blanks, tabs or line breaks
// around it. The empty cell and the blank text are not plain numbers either.
bool IsPlainNumber(const CellValue& value);

// Whether the text holds a digit, ASCII or full-width: a title's area cell ("面积") holds none.
bool HasDigit(std::string_view text);

// Looks at every row's area cell.
class AreaCheck : public RowSink {
 public:
  // A cell that was read as a number although it is not a plain one.
  struct OddCell {
    int64_t row = 0;     // the source's row number
    std::string text;    // the cell's text, cut short
    double counted = 0;  // what it was read as
  };
  static constexpr size_t kCellsKept = 5;

  // A worksheet's first area cell may be the column's title, and its empty cells are rows
  // without a patch. Every feature of a layer is a patch: an empty area there is a doubt like
  // any other, and its first value no title.
  enum Rows { kFirstRowMayBeTitle, kEveryRowIsData };
  explicit AreaCheck(Rows rows = kFirstRowMayBeTitle)
      : every_row_is_data_(rows == kEveryRowIsData) {}

  void AddRow(const PatchRow& row) override;

  // How many area cells were not plain numbers, and the area they counted. On a worksheet empty
  // cells are left aside, and so is the first non-empty cell when it is a text without digits:
  // the title.
  int64_t odd_count() const { return odd_count_; }
  double odd_area() const { return odd_area_; }
  // The first kCellsKept of them, in row order.
  const std::vector<OddCell>& first_odd() const { return first_odd_; }
  // Whether no area cell gave a number other than 0 (and none was a plain number), though rows
  // were read.
  bool NoNumber() const { return rows_ > 0 && !any_number_; }

 private:
  void AddOdd(int64_t number, std::string shown, double counted);

  bool every_row_is_data_ = false;
  int64_t rows_ = 0;
  int64_t odd_count_ = 0;
  double odd_area_ = 0;
  std::vector<OddCell> first_odd_;
  bool any_number_ = false;
  bool seen_area_ = false;  // whether a non-empty area cell came before
};

}  // namespace quilmark
