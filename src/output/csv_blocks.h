// The blocks of a run as CSV on standard output, for scripts: UTF-8, fields quoted as RFC 4180
// asks, each block preceded by its task's title, a blank line between blocks.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/summary/result_table.h"

namespace quilmark {

// The field as CSV holds it: quoted, with its quotes doubled, when it contains a comma, a quote,
// a carriage return or a line feed; as it is otherwise.
std::string CsvField(std::string_view text);

// Every block, in order. Numbers are written in their shortest exact form (the sums unrounded,
// as the worksheet gets them), an empty cell as an empty field; records end with CRLF.
std::string CsvBlocks(std::span<const ResultTable> grids);

}  // namespace quilmark
