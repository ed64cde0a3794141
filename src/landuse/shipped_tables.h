// The classification tables shipped in src/landuse/tables/, built into the program.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

#include "src/landuse/class_table.h"

namespace quilmark {

struct ShippedTableText {
  std::string_view name;  // the file name without .tsv
  std::string_view text;  // the file as it is
};

// Generated at build time from the table files.
extern const ShippedTableText kShippedTableTexts[];
extern const size_t kShippedTableCount;

// The shipped table of that name, read on first use; an empty table for an unknown name (the
// tests read every shipped table, so a table that does not parse fails them).
const ClassTable& ShippedTable(std::string_view name);

}  // namespace quilmark
