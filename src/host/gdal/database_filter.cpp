#include "src/host/gdal/database_filter.h"

#include <cpl_error.h>
#include <ogr_swq.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <regex>
#include <vector>

#include "src/host/filter_problem.h"
#include "src/host/gdal/dataset_open.h"
#include "src/host/gdal/layer_fields.h"

namespace quilmark {
namespace {

struct DeleteNode {
  void operator()(swq_expr_node* node) const { delete node; }
};
using Node = std::unique_ptr<swq_expr_node, DeleteNode>;

constexpr const char* kAllowed =
    "; 数据库的筛选条件只能使用字段名、取值、比较 (= <> < > <= >=)、AND/OR/NOT、IN、BETWEEN、"
    "LIKE、IS NULL、+ - * / %、SUBSTR、CONCAT 和 CAST";

[[noreturn]] void Refuse(const std::string& where, const std::string& part) {
  ThrowLayerError("筛选条件 \"" + where + "\" 不能用于数据库: " + part + " 不在允许之列" +
                  kAllowed);
}

struct Operation {
  swq_op swq;
  FilterOp op;
};
constexpr Operation kOperations[] = {
    {SWQ_OR, FilterOp::kOr},
    {SWQ_AND, FilterOp::kAnd},
    {SWQ_NOT, FilterOp::kNot},
    {SWQ_EQ, FilterOp::kEqual},
    {SWQ_NE, FilterOp::kNotEqual},
    {SWQ_GE, FilterOp::kGreaterOrEqual},
    {SWQ_LE, FilterOp::kLessOrEqual},
    {SWQ_LT, FilterOp::kLess},
    {SWQ_GT, FilterOp::kGreater},
    {SWQ_LIKE, FilterOp::kLike},
    {SWQ_ILIKE, FilterOp::kILike},
    {SWQ_ISNULL, FilterOp::kIsNull},
    {SWQ_IN, FilterOp::kIn},
    {SWQ_BETWEEN, FilterOp::kBetween},
    {SWQ_ADD, FilterOp::kAdd},
    {SWQ_SUBTRACT, FilterOp::kSubtract},
    {SWQ_MULTIPLY, FilterOp::kMultiply},
    {SWQ_DIVIDE, FilterOp::kDivide},
    {SWQ_MODULUS, FilterOp::kModulus},
    {SWQ_CONCAT, FilterOp::kConcat},
    {SWQ_SUBSTR, FilterOp::kSubstring},
    {SWQ_CAST, FilterOp::kCast},
};

// The server's name of a type a CAST names; nullptr for a type a filter has no use for.
const char* ServerType(const std::string& name) {
  struct Type {
    const char* cast;
    const char* server;
  };
  static constexpr Type kTypes[] = {
      {"character", "text"},      {"varchar", "text"},     {"string", "text"},
      {"integer", "integer"},     {"smallint", "integer"}, {"bigint", "bigint"},
      {"integer64", "bigint"},    {"float", "float8"},     {"real", "float8"},
      {"numeric", "numeric"},     {"date", "date"},        {"time", "time"},
      {"timestamp", "timestamp"}, {"boolean", "boolean"},
  };
  for (const Type& type : kTypes) {
    if (EQUAL(type.cast, name.c_str())) return type.server;
  }
  return nullptr;
}

// The layer's fields as the parser takes them, and the feature id column after them as FID.
struct Fields {
  std::vector<std::string> names;
  std::vector<swq_field_type> types;
  std::string fid;
};

swq_field_type SwqType(const OGRFieldDefn& field) {
  if (field.GetSubType() == OFSTBoolean) return SWQ_BOOLEAN;
  switch (field.GetType()) {
    case OFTInteger:
      return SWQ_INTEGER;
    case OFTInteger64:
      return SWQ_INTEGER64;
    case OFTReal:
      return SWQ_FLOAT;
    case OFTString:
      return SWQ_STRING;
    case OFTDate:
      return SWQ_DATE;
    case OFTTime:
      return SWQ_TIME;
    case OFTDateTime:
      return SWQ_TIMESTAMP;
    default:
      return SWQ_OTHER;
  }
}

class Converter {
 public:
  Converter(const std::string& where, const Fields* fields) : where_(where), fields_(fields) {}

  FilterNode Convert(const swq_expr_node& node) const {
    switch (node.eNodeType) {
      case SNT_CONSTANT:
        return Constant(node);
      case SNT_COLUMN:
        return Column(node);
      case SNT_OPERATION:
        return Operation(node);
      default:
        Refuse(where_, "这种写法");
    }
  }

 private:
  FilterNode Constant(const swq_expr_node& node) const {
    FilterNode constant;
    if (node.is_null) return constant;
    switch (node.field_type) {
      case SWQ_INTEGER:
      case SWQ_INTEGER64:
        constant.kind = FilterNode::Kind::kInteger;
        constant.integer = node.int_value;
        return constant;
      case SWQ_BOOLEAN:
        constant.kind = FilterNode::Kind::kBoolean;
        constant.integer = node.int_value != 0;
        return constant;
      case SWQ_FLOAT:
        constant.kind = FilterNode::Kind::kReal;
        constant.real = node.float_value;
        return constant;
      case SWQ_STRING:
      case SWQ_DATE:
      case SWQ_TIME:
      case SWQ_TIMESTAMP:
        constant.kind = FilterNode::Kind::kText;
        constant.text = node.string_value != nullptr ? node.string_value : "";
        return constant;
      default:
        Refuse(where_, "几何图形常量");
    }
  }

  FilterNode Column(const swq_expr_node& node) const {
    if (node.table_name != nullptr && *node.table_name != '\0') {
      Refuse(where_, std::string("带表名的字段 ") + node.table_name + "." +
                         (node.string_value != nullptr ? node.string_value : ""));
    }
    FilterNode column;
    column.kind = FilterNode::Kind::kColumn;
    const int index = node.field_index;
    if (fields_ == nullptr) {
      column.text = node.string_value != nullptr ? node.string_value : "";
    } else if (index >= 0 && static_cast<size_t>(index) < fields_->names.size()) {
      column.text = fields_->names[static_cast<size_t>(index)];
    } else if (static_cast<size_t>(index) <= fields_->names.size() + 1 && !fields_->fid.empty()) {
      column.text = fields_->fid;
    } else {
      Refuse(where_, std::string("字段 ") + (node.string_value ? node.string_value : "?"));
    }
    return column;
  }

  FilterNode Operation(const swq_expr_node& node) const {
    const auto* found =
        std::find_if(std::begin(kOperations), std::end(kOperations),
                     [&](const auto& known) { return known.swq == node.nOperation; });
    if (found == std::end(kOperations)) {
      const swq_operation* operation = swq_op_registrar::GetOperator(node.nOperation);
      Refuse(where_, std::string("函数 ") + (operation != nullptr ? operation->pszName : "?"));
    }
    FilterNode operation;
    operation.kind = FilterNode::Kind::kOperation;
    operation.op = found->op;
    if (found->op == FilterOp::kCast) return Cast(node, std::move(operation));
    for (int i = 0; i < node.nSubExprCount; ++i) {
      operation.operands.push_back(Convert(*node.papoSubExpr[i]));
    }
    return operation;
  }

  FilterNode Cast(const swq_expr_node& node, FilterNode cast) const {
    const swq_expr_node* type = node.nSubExprCount >= 2 ? node.papoSubExpr[1] : nullptr;
    const std::string name = type != nullptr && type->string_value ? type->string_value : "";
    const char* server = ServerType(name);
    if (server == nullptr) Refuse(where_, "转换为 " + name + " 类型");
    cast.text = server;
    cast.operands.push_back(Convert(*node.papoSubExpr[0]));
    return cast;
  }

  const std::string& where_;
  const Fields* fields_;
};

// The parsed filter, or a refusal naming the function OGR's parser does not know.
Node Parsed(const std::string& where, Fields* fields, OGRLayer* layer) {
  std::vector<char*> names;
  if (fields != nullptr) {
    for (std::string& name : fields->names) names.push_back(name.data());
  }
  // The feature id column, by its own name and as FID: both after the fields.
  std::string fid = "FID";
  const bool has_fid = fields != nullptr && !fields->fid.empty();
  if (has_fid) names.push_back(fid.data());
  if (has_fid && !EQUAL(fields->fid.c_str(), "FID")) names.push_back(fields->fid.data());
  std::vector<swq_field_type> types;
  if (fields != nullptr) types = fields->types;
  types.resize(names.size(), SWQ_INTEGER64);
  CPLErrorReset();
  swq_expr_node* root = nullptr;
  const CPLErr parsed =
      swq_expr_compile(where.c_str(), static_cast<int>(names.size()), names.data(), types.data(),
                       fields != nullptr, nullptr, &root);
  Node node(root);
  if (parsed == CE_None && node) return node;
  const std::string said = LastGdalError("");
  static const std::regex kFunction(R"re(Undefined function '([^']+)')re", std::regex::icase);
  std::smatch match;
  if (std::regex_search(said, match, kFunction)) Refuse(where, "函数 " + match[1].str());
  const std::string list = layer != nullptr ? NumberedFieldList(*layer->GetLayerDefn()) : "";
  ThrowLayerError(FilterProblemText(where, said, list));
}

}  // namespace

void CheckDatabaseFilter(const std::string& where) {
  // OGR's parser needs the layer's fields, known only once connected; what no field can make
  // allowed is refused here already: a function call and a second statement.
  std::string outside;  // the filter without its quoted texts and names
  for (size_t i = 0; i < where.size();) {
    const char quote = where[i++];
    if (quote != '\'' && quote != '"') {
      outside += quote;
      continue;
    }
    while (i < where.size()) {  // to the closing quote; a doubled one stays inside
      if (where[i++] != quote) continue;
      if (i >= where.size() || where[i] != quote) break;
      ++i;
    }
    outside += ' ';
  }
  if (outside.find(';') != std::string::npos) Refuse(where, "分号 (第二条语句)");
  static const std::regex kCall(R"re(([A-Za-z_][A-Za-z_0-9]*)\s*\()re");
  static const std::regex kAllowedWord(R"re(substr|concat|cast|in|and|or|not|like|ilike|between|is|null|escape)re",
                                       std::regex::icase);
  for (std::sregex_iterator call(outside.begin(), outside.end(), kCall), end; call != end; ++call) {
    if (!std::regex_match((*call)[1].str(), kAllowedWord))
      Refuse(where, "函数 " + (*call)[1].str());
  }
}

FilterNode ParseDatabaseFilter(const std::string& where, OGRLayer& layer) {
  const OGRFeatureDefn& definition = *layer.GetLayerDefn();
  Fields fields{{}, {}, layer.GetFIDColumn()};
  for (int i = 0; i < definition.GetFieldCount(); ++i) {
    fields.names.emplace_back(definition.GetFieldDefn(i)->GetNameRef());
    fields.types.push_back(SwqType(*definition.GetFieldDefn(i)));
  }
  Node node = Parsed(where, &fields, &layer);
  return Converter(where, &fields).Convert(*node);
}

}  // namespace quilmark
