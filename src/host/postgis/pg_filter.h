// A filter (--where) as a tree of the parts a filter of a database table may hold, and the two
// texts written from it: the server's SQL with every literal a parameter, for Quilmark's own
// statements, and the same with the literals written out, for GDAL's cursor. Names are quoted,
// functions named in pg_catalog; nothing the user typed reaches the server as SQL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quilmark {

enum class FilterOp {
  kOr,
  kAnd,
  kNot,
  kEqual,
  kNotEqual,
  kGreaterOrEqual,
  kLessOrEqual,
  kLess,
  kGreater,
  kLike,
  kILike,  // the pattern, then an escape character where one is given
  kIsNull,
  kIn,       // kIn: the value, then the list
  kBetween,  // the value, the lower and the upper bound
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kModulus,
  kConcat,     // any number of texts
  kSubstring,  // the text, the start, optionally the length
  kCast,       // the value; FilterNode::text names the server's type
};

struct FilterNode {
  enum class Kind { kColumn, kText, kInteger, kReal, kBoolean, kNull, kOperation };
  Kind kind = Kind::kNull;
  std::string text;     // a column's name, a text's value, a cast's type
  int64_t integer = 0;  // a whole number; a truth value as 0 or 1
  double real = 0;
  FilterOp op = FilterOp::kAnd;
  std::vector<FilterNode> operands;
};

// The server's SQL: literals become $first, $first+1, ... in `parameters`, in order.
struct FilterSql {
  std::string sql;
  std::vector<std::string> parameters;
};
FilterSql WriteFilterSql(const FilterNode& filter, int first);

// The same condition with its literals written out (quoted, escaped), for a reader that cannot
// take parameters.
std::string WriteFilterText(const FilterNode& filter);

}  // namespace quilmark
