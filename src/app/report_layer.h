// The fields of a survey layer that the chosen reports read: which of the layer's fields each
// one is, where it comes in the rows, and a stop naming the table and the field when the layer
// lacks one.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "src/app/run_driver.h"
#include "src/app/run_options.h"
#include "src/host/gdal/layer_source.h"

namespace quilmark {

// Whether the layer's fields (in order) hold the one chosen by name (in any case) or by number.
bool HasLayerField(const std::vector<std::string>& fields, const std::string& choice);

// Adds to `request` the further fields the chosen reports read, given the layer's field names
// (`fields`, in order) and its name: KCMJ where the layer has it (else the deduction coefficient
// field, KCXS by default, must exist), the ownership, 城镇村, slope and terraced-or-sloping fields
// the tables need, and, for village rows, the unit name field (ZLDWMC, or QSDWMC for ownership
// units) where it exists. Returns where they sit in the rows, or the message naming the first table that lacks a
// field, the field, and the layer's fields.
std::variant<ReportFields, std::string> ChooseReportFields(const RunOptions& options,
                                                           const std::vector<std::string>& fields,
                                                           const std::string& layer,
                                                           LayerRequest& request);

}  // namespace quilmark
