// The blocks of a run as CSV on standard output, for scripts: UTF-8, fields quoted as RFC 4180
// asks, each block preceded by its task's title, a blank line between blocks.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/summary/result_target.h"

namespace quilmark {

// The field as CSV holds it: quoted, with its quotes doubled, when it contains a comma, a quote,
// a carriage return or a line feed; as it is otherwise.
std::string CsvField(std::string_view text);

// Every block, in order; a row that writes no cell (the zone totals' empty header) is left out.
// Numbers are written as a spreadsheet shows them (NumberShown: the chosen decimals, or at most
// 15 significant digits), an empty cell as an empty field; records end with CRLF.
std::string CsvBlocks(std::span<const ResultTable> tables);

// The tables as CsvBlocks on a stream (standard output, for scripts); a stream has no last row,
// so every table fits.
class CsvTarget : public ResultTarget {
 public:
  explicit CsvTarget(std::ostream& out) : out_(out) {}
  bool Fits(std::span<const TableShape> /*shapes*/) const override { return true; }
  // Throws HostError when the stream fails (a closed pipe, a full disk).
  void Write(std::span<const ResultTable> tables) override;
  // Says the tables went to the stream, not into any file.
  std::string Completion() const override;

 private:
  std::ostream& out_;
};

}  // namespace quilmark
