// Where a run's tables go. The worksheet the rows came from is the first target; a target needs
// nothing from the tasks but their tables.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "src/summary/result_table.h"

namespace quilmark {

// The completion of a run whose tables went where the user looks for them without being told.
inline constexpr std::string_view kCompletionText = "统计完毕, 到Excel工作表查看结果!";

class ResultTarget {
 public:
  virtual ~ResultTarget() = default;

  // Whether tables of these shapes, in this order, fit; asked before any table is built.
  virtual bool Fits(std::span<const TableShape> shapes) const = 0;

  // Writes the tables in order; called once, and only when Fits said yes to their shapes. May
  // throw HostError.
  virtual void Write(std::span<const ResultTable> tables) = 0;

  // The completion message once Write has returned: where the tables went.
  virtual std::string Completion() const { return std::string(kCompletionText); }
};

}  // namespace quilmark
