#include "src/landuse/shipped_tables.h"

#include <map>
#include <string>

namespace quilmark {

const ClassTable& ShippedTable(std::string_view name) {
  static const std::map<std::string, ClassTable, std::less<>> tables = [] {
    std::map<std::string, ClassTable, std::less<>> read;
    for (size_t i = 0; i < kShippedTableCount; ++i) {
      ParsedTable parsed = ParseClassTable(kShippedTableTexts[i].text);
      read.emplace(std::string(kShippedTableTexts[i].name),
                   parsed.table ? std::move(*parsed.table) : ClassTable());
    }
    return read;
  }();
  static const ClassTable empty;
  auto it = tables.find(name);
  return it == tables.end() ? empty : it->second;
}

}  // namespace quilmark
