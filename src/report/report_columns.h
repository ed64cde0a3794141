// The class columns of the survey tables, in the standard's order, and where a patch's class code
// counts among them. Built once from the shipped third-survey classification tables
// (src/landuse/tables/survey3_*.tsv), so a change there reaches the reports too.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quilmark {

struct Level1Class {
  std::string code;  // "00" (湿地), "01" ... "12"
  std::string name;
};

struct Level2Class {
  std::string code;  // the working classification's code: 0101, 05H1, 09 ...
  std::string name;
  size_t level1 = 0;  // index into ClassColumns::level1
};

struct ClassColumns {
  std::vector<Level1Class> level1;  // 湿地 first, then 01 to 12
  std::vector<Level2Class> level2;  // grouped by level 1, in the classification table's order
  std::vector<std::string> major;   // 农用地, 建设用地, 未利用地
  size_t terrace = 0;               // 1203 田坎 among level2
  size_t cultivated = 0;            // 01 耕地 among level1
};

// The third survey's columns.
const ClassColumns& Survey3Columns();

// The level-2 column a class code counts in (a K code in its base's, an A code in its base's
// unless the classification lists it); nullopt for a code the classification does not know.
std::optional<size_t> Level2ColumnOf(std::string_view code);

// The 三大类 of a class code, as an index into ClassColumns::major; nullopt where unknown. Read
// from the code itself, since a listed A code (1107A) may differ from its base.
std::optional<size_t> MajorClassOf(std::string_view code);

// A column title: the name with the code in brackets, "耕地(01)".
std::string ColumnTitle(std::string_view name, std::string_view code);

}  // namespace quilmark
