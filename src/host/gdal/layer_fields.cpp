#include "src/host/gdal/layer_fields.h"

#include <charconv>
#include <string>

#include "src/host/cell_value.h"
#include "src/host/gdal/dataset_open.h"
#include "src/host/text_encoding.h"

namespace quilmark {
namespace {

// A field's name as text: a table saved by Chinese office software (a CSV file) can carry GBK
// names that GDAL passes on as they are.
std::string NameText(const OGRFeatureDefn& fields, int index) {
  const char* name = fields.GetFieldDefn(index)->GetNameRef();
  return DecodeChineseText(name).value_or(name);
}

// The field whose name, read as text, is `name`; -1 when none is.
int FieldByDecodedName(const OGRFeatureDefn& fields, const std::string& name) {
  for (int i = 0; i < fields.GetFieldCount(); ++i) {
    if (NameText(fields, i) == name) return i;
  }
  return -1;
}

}  // namespace

int ChooseField(const OGRFeatureDefn& fields, std::string_view choice, std::string_view role,
                std::string_view layer) {
  const std::string_view text = TrimBlanks(choice);
  const std::string name(text);
  int by_name = fields.GetFieldIndex(name.c_str());
  if (by_name < 0) by_name = FieldByDecodedName(fields, name);
  if (by_name >= 0) return by_name;
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (!text.empty() && error == std::errc() && end == text.data() + text.size() && number >= 1 &&
      number <= fields.GetFieldCount()) {
    return number - 1;
  }
  ThrowLayerError("图层 " + std::string(layer) + " 没有" + std::string(role) + "字段 \"" + name +
                  "\"; 它的字段是: " + NumberedFieldList(fields) +
                  "; 请用字段名或字段序号 (从 1 起) 指定");
}

std::string NumberedFieldList(const OGRFeatureDefn& fields) {
  std::string list;
  for (int i = 0; i < fields.GetFieldCount(); ++i) {
    if (i > 0) list += ", ";
    list += std::to_string(i + 1) + " " + NameText(fields, i);
  }
  return list.empty() ? "(没有属性字段)" : list;
}

std::vector<std::string> FieldNames(const OGRFeatureDefn& fields) {
  std::vector<std::string> names;
  for (int i = 0; i < fields.GetFieldCount(); ++i) {
    names.push_back(NameText(fields, i));
  }
  return names;
}

std::vector<std::string> FieldAliases(const OGRFeatureDefn& fields) {
  std::vector<std::string> aliases;
  for (int i = 0; i < fields.GetFieldCount(); ++i) {
    const char* alias = fields.GetFieldDefn(i)->GetAlternativeNameRef();
    aliases.push_back(DecodeChineseText(alias).value_or(alias));
  }
  return aliases;
}

}  // namespace quilmark
