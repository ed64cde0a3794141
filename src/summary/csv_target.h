// The tables as CSV text, for scripts: each table's rows in order, its cells separated by commas
// (quoted where they hold a comma, a quote or a line break), an empty line between tables.
#pragma once

#include <ostream>
#include <span>

#include "src/summary/result_target.h"

namespace quilmark {

class CsvTarget : public ResultTarget {
 public:
  explicit CsvTarget(std::ostream& out) : out_(out) {}
  // A stream has no last row.
  bool Fits(std::span<const TableShape> /*shapes*/) const override { return true; }
  // Throws HostError when the stream fails (a closed pipe, a full disk).
  void Write(std::span<const ResultTable> tables) override;

 private:
  std::ostream& out_;
};

}  // namespace quilmark
