// The blocks of a run as CSV, on standard output for scripts or into a file for a spreadsheet:
// fields quoted as RFC 4180 asks, each block preceded by its task's title, a blank line between
// blocks; UTF-8 (with a byte-order mark, by which Chinese spreadsheet programs know it) or GBK.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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

enum class CsvEncoding {
  kUtf8,         // plain UTF-8, for scripts
  kUtf8WithBom,  // UTF-8 led by a byte-order mark, which Chinese spreadsheet programs look for
  kGbk,          // for older programs that read nothing else
};

// The CSV text in that encoding. Throws HostError naming the first character GBK does not have,
// so that no name is written wrong.
std::string EncodedCsv(const std::string& utf8, CsvEncoding encoding);

// The tables as CsvBlocks into `file` (written whole or not at all), or, for nullopt, on the
// stream; a CSV has no last row, so every table fits.
class CsvTarget : public ResultTarget {
 public:
  CsvTarget(std::ostream& out, std::optional<std::filesystem::path> file, CsvEncoding encoding)
      : out_(out), file_(std::move(file)), encoding_(encoding) {}
  bool Fits(std::span<const TableShape> /*shapes*/) const override { return true; }
  // Throws HostError when the stream or the file fails (a closed pipe, a full disk), or the text
  // cannot be written in the encoding.
  void Write(std::span<const ResultTable> tables) override;
  // Names the file, or says the tables went to the stream.
  std::string Completion() const override;

 private:
  std::ostream& out_;
  std::optional<std::filesystem::path> file_;
  CsvEncoding encoding_;
};

}  // namespace quilmark
