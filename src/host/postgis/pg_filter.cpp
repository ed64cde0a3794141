#include "src/host/postgis/pg_filter.h"

#include <array>
#include <charconv>

#include "src/host/postgis/grouped_query.h"

namespace quilmark {
namespace {

std::string Number(double value) {
  std::array<char, 32> digits{};
  const auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return std::string(digits.data(), end);
}

// A text literal, safe whatever standard_conforming_strings says: with a backslash in it, an
// escape string whose backslashes are doubled.
std::string TextLiteral(const std::string& text) {
  const bool escaped = text.find('\\') != std::string::npos;
  std::string literal = escaped ? "E'" : "'";
  for (char c : text) {
    if (c == '\'' || (escaped && c == '\\')) literal += c;
    literal += c;
  }
  return literal + "'";
}

const char* Infix(FilterOp op) {
  switch (op) {
    case FilterOp::kOr:
      return " OR ";
    case FilterOp::kAnd:
      return " AND ";
    case FilterOp::kEqual:
      return " = ";
    case FilterOp::kNotEqual:
      return " <> ";
    case FilterOp::kGreaterOrEqual:
      return " >= ";
    case FilterOp::kLessOrEqual:
      return " <= ";
    case FilterOp::kLess:
      return " < ";
    case FilterOp::kGreater:
      return " > ";
    case FilterOp::kLike:
      return " LIKE ";
    case FilterOp::kILike:
      return " ILIKE ";
    case FilterOp::kAdd:
      return " + ";
    case FilterOp::kSubtract:
      return " - ";
    case FilterOp::kMultiply:
      return " * ";
    case FilterOp::kDivide:
      return " / ";
    case FilterOp::kModulus:
      return " % ";
    default:
      return nullptr;
  }
}

// Whether a text literal under `op` takes its type from the other side (a date compared with
// '2020-01-01' reads it as a date); elsewhere it is text.
bool Compares(FilterOp op) {
  return op == FilterOp::kEqual || op == FilterOp::kNotEqual || op == FilterOp::kLess ||
         op == FilterOp::kGreater || op == FilterOp::kLessOrEqual ||
         op == FilterOp::kGreaterOrEqual || op == FilterOp::kIn || op == FilterOp::kBetween ||
         op == FilterOp::kLike || op == FilterOp::kILike;
}

class Writer {
 public:
  Writer(bool parameters, int first) : parameters_(parameters), next_(first) {}

  std::string Write(const FilterNode& node, bool compared = false) {
    switch (node.kind) {
      case FilterNode::Kind::kColumn:
        return QuoteIdentifier(node.text);
      case FilterNode::Kind::kNull:
        return "NULL";
      case FilterNode::Kind::kBoolean:
        return node.integer != 0 ? "true" : "false";
      case FilterNode::Kind::kText:
        return Literal(TextLiteral(node.text), node.text, compared ? "" : "::text");
      case FilterNode::Kind::kInteger:
        // As the server types a number written out: int4 where it fits (substr takes no int8).
        return Literal(std::to_string(node.integer), std::to_string(node.integer),
                       node.integer == static_cast<int32_t>(node.integer) ? "::int4" : "::int8");
      case FilterNode::Kind::kReal:
        return Literal(Number(node.real), Number(node.real), "::numeric");
      case FilterNode::Kind::kOperation:
        return Operation(node);
    }
    return "NULL";
  }

  std::vector<std::string> parameters;

 private:
  // Written out, a literal stands in parentheses (a negative number after a minus); as a
  // parameter, it is cast where its type is not taken from the other side.
  std::string Literal(const std::string& written, const std::string& value, const char* cast) {
    if (!parameters_) return "(" + written + ")";
    parameters.push_back(value);
    return "$" + std::to_string(next_++) + cast;
  }

  std::string List(const FilterNode& node, size_t from, const char* between, bool compared) {
    std::string list;
    for (size_t i = from; i < node.operands.size(); ++i) {
      if (i > from) list += between;
      list += Write(node.operands[i], compared);
    }
    return list;
  }

  std::string Operation(const FilterNode& node) {
    const bool compared = Compares(node.op);
    const auto operand = [&](size_t i) { return Write(node.operands[i], compared); };
    switch (node.op) {
      case FilterOp::kNot:
        return "(NOT " + operand(0) + ")";
      case FilterOp::kIsNull:
        return "(" + operand(0) + " IS NULL)";
      case FilterOp::kIn:
        return "(" + operand(0) + " IN (" + List(node, 1, ", ", true) + "))";
      case FilterOp::kBetween:
        return "(" + operand(0) + " BETWEEN " + operand(1) + " AND " + operand(2) + ")";
      case FilterOp::kConcat:
        return "pg_catalog.concat(" + List(node, 0, ", ", false) + ")";
      case FilterOp::kSubstring:
        return "pg_catalog.substr(" + List(node, 0, ", ", false) + ")";
      case FilterOp::kCast:
        return "CAST(" + operand(0) + " AS " + node.text + ")";
      case FilterOp::kLike:
      case FilterOp::kILike:
        if (node.operands.size() == 3) {
          return "(" + operand(0) + Infix(node.op) + operand(1) + " ESCAPE " + operand(2) + ")";
        }
        break;
      default:
        break;
    }
    return "(" + List(node, 0, Infix(node.op), compared) + ")";
  }

  const bool parameters_;
  int next_;
};

}  // namespace

FilterSql WriteFilterSql(const FilterNode& filter, int first) {
  Writer writer(true, first);
  FilterSql written{writer.Write(filter), {}};
  written.parameters = std::move(writer.parameters);
  return written;
}

std::string WriteFilterText(const FilterNode& filter) { return Writer(false, 1).Write(filter); }

}  // namespace quilmark
