// The columns of a worksheet that a run reads.
#pragma once

#include <cstdint>
#include <optional>

namespace quilmark {

// The columns a run reads, 1-based and already checked to lie within the sheet. A column left
// out is not read, and its cell in every SourceRow stays nullopt.
struct SheetColumns {
  int32_t zone = 1;
  std::optional<int32_t> class_;
  std::optional<int32_t> cross_class;
  int32_t area = 3;
  std::optional<int32_t> deduction;  // the 田坎 deduction coefficients, when a column is chosen
  // Look for a column headed BSM among the first rows and give its cells, in the rows below
  // that header, as SourceRow::fields[0] (the patch identifiers the check compares).
  bool identifier = false;
};

}  // namespace quilmark
