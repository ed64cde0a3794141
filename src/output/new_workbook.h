// The result workbook: a new .xlsx file holding one worksheet per task, for runs whose source is
// not a workbook the result could be written into (a GIS layer, a table read through a driver).
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "src/summary/result_table.h"

namespace quilmark {

// Where the result goes when no -o is given: beside the input, named after it with the suffix
// ("-汇总" by default, the survey reports' "-统计报表") and the extension .xlsx
// ("地块/layer.gpkg" gives "地块/layer-汇总.xlsx"; a folder such as "survey.gdb" gives
// "survey-汇总.xlsx" beside it). nullopt for an input that is not a path (a
// database connection string), which needs -o.
std::optional<std::filesystem::path> DefaultResultPath(const std::string& input,
                                                       std::string_view suffix = "-汇总");

// A worksheet name for the task's title: the characters a workbook forbids in sheet names
// ([ ] : * ? / \) become "_", and the name is cut to 31 characters.
std::string SheetNameFor(const std::string& title);

// Writes the tables, one worksheet each in order, named after the table (a name already taken
// gets " (2)", " (3)", ...), each followed by its charts. A table laid out for print is written
// as it is laid out; in the others header rows are bold and frozen, numbers get the format
// "0.00..." with `decimals` places when given ("0" in a column of whole numbers, such as counts),
// else the general format, and each column is as wide as its widest cell, a Chinese character
// counting as two.
//
// The file is written to a temporary file in the target's folder and renamed over the target
// only once complete; an existing target keeps its owner and permissions (the way the workbook
// host replaces its -o file), and a link is followed to the file it names. On failure the target
// is as it was and HostError("无法保存工作簿: " + reason) is thrown.
void WriteNewWorkbook(const std::filesystem::path& target, std::span<const ResultTable> tables,
                      std::optional<int> decimals = std::nullopt);

}  // namespace quilmark
