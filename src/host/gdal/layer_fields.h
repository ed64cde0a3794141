// Choosing a layer's fields by name or by number, with a message that lists the fields when the
// choice names none.
#pragma once

#include <ogr_feature.h>

#include <string>
#include <string_view>
#include <vector>

namespace quilmark {

// The 0-based index of the field that `choice` names: a field of that name (case does not
// matter), else, when the text is a whole number from 1 to the field count, that field. Throws
// HostError naming the role ("区域", "类别", "面积") and listing the fields otherwise.
int ChooseField(const OGRFeatureDefn& fields, std::string_view choice, std::string_view role,
                std::string_view layer);

// The fields for a message, numbered as ChooseField takes them: "1 ZLDWDM, 2 DLBM".
std::string NumberedFieldList(const OGRFeatureDefn& fields);

// The names of the fields in their order.
std::vector<std::string> FieldNames(const OGRFeatureDefn& fields);

// Each field's alias (its alternative name, as a geodatabase or GeoPackage keeps one) in the
// fields' order; empty where a field has none.
std::vector<std::string> FieldAliases(const OGRFeatureDefn& fields);

}  // namespace quilmark
