// Where a run's tables go. The worksheet the rows came from is the first target; a target needs
// nothing from the tasks but their tables.
#pragma once

#include <span>

#include "src/summary/result_table.h"

namespace quilmark {

class ResultTarget {
 public:
  virtual ~ResultTarget() = default;

  // Whether tables of these shapes, in this order, fit; asked before any table is built.
  virtual bool Fits(std::span<const TableShape> shapes) const = 0;

  // Writes the tables in order; called once, and only when Fits said yes to their shapes. May
  // throw HostError.
  virtual void Write(std::span<const ResultTable> tables) = 0;
};

}  // namespace quilmark
