#include "src/host/gdal/layer_filter.h"

#include <cpl_error.h>
#include <cpl_string.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "src/host/filter_problem.h"
#include "src/host/gdal/dataset_open.h"
#include "src/host/gdal/layer_fields.h"
#include "src/host/text_encoding.h"

namespace quilmark {
namespace {

struct ReleaseDefinition {
  void operator()(OGRFeatureDefn* definition) const { definition->Release(); }
};

// The layer's field definitions with every name as text (a GBK CSV's names decoded), so that a
// filter typed in UTF-8 names them as the field lists show them.
OGRFeatureDefn* NamedAsText(const OGRFeatureDefn& fields) {
  OGRFeatureDefn* copy = fields.Clone();
  copy->Reference();
  const std::vector<std::string> names = FieldNames(fields);
  for (int i = 0; i < copy->GetFieldCount(); ++i) {
    copy->GetFieldDefn(i)->SetName(names[static_cast<size_t>(i)].c_str());
  }
  return copy;
}

}  // namespace

struct LayerFilter::Compiled {
  std::unique_ptr<OGRFeatureDefn, ReleaseDefinition> fields;  // the query points into it
  OGRFeatureQuery query;
};

void LayerFilter::ThrowInvalid(const OGRFeatureDefn& fields) const {
  // OGR's reading names the fault in its general dialect; the source's own text (SQLite's, the
  // server's) stands where OGR read the filter and the source still refused it.
  const std::string said = compile_error_.empty() ? LastGdalError("") : compile_error_;
  ThrowLayerError(FilterProblemText(shown_, said, NumberedFieldList(fields)));
}

LayerFilter::LayerFilter(OGRLayer& layer, std::string where, bool decoded, std::string shown)
    : where_(std::move(where)),
      shown_(shown.empty() ? where_ : std::move(shown)),
      decoded_(decoded) {
  if (where_.empty()) return;
  const OGRFeatureDefn& fields = *layer.GetLayerDefn();
  auto compiled = std::make_unique<Compiled>();
  compiled->fields.reset(NamedAsText(fields));
  CPLErrorReset();
  const bool valid = compiled->query.Compile(compiled->fields.get(), where_.c_str()) == OGRERR_NONE;
  if (!valid) compile_error_ = LastGdalError("");
  if (!valid && decoded_) ThrowInvalid(fields);
  char** used = valid ? compiled->query.GetUsedFields() : nullptr;
  if (used == nullptr) {  // not OGR's dialect, or OGR cannot list its fields: keep them all
    for (int i = 0; i < fields.GetFieldCount(); ++i) read_fields_.push_back(i);
    reads_special_ = true;
  }
  for (char** name = used; name != nullptr && *name != nullptr; ++name) {
    const int index = compiled->fields->GetFieldIndex(*name);
    if (index >= 0) {
      read_fields_.push_back(index);
    } else if (!EQUAL(*name, "FID")) {
      reads_special_ = true;
    }
  }
  CSLDestroy(used);
  std::sort(read_fields_.begin(), read_fields_.end());
  for (int index : read_fields_) {
    if (fields.GetFieldDefn(index)->GetType() == OFTString) decoded_texts_.push_back(index);
  }
  if (valid && decoded_) compiled_ = std::move(compiled);
}

LayerFilter::~LayerFilter() = default;

bool LayerFilter::Reads(int field) const {
  return std::binary_search(read_fields_.begin(), read_fields_.end(), field);
}

bool LayerFilter::Install(OGRLayer& layer) {
  const bool evaluated_here = where_.empty() || decoded_;
  const bool accepted = evaluated_here || layer.SetAttributeFilter(where_.c_str()) == OGRERR_NONE;
  layer.ResetReading();
  return accepted;
}

OGRFeatureUniquePtr LayerFilter::Next(OGRLayer& layer) {
  OGRFeatureUniquePtr feature(layer.GetNextFeature());
  while (feature && !Accepts(*feature)) feature.reset(layer.GetNextFeature());
  return feature;
}

bool LayerFilter::Accepts(OGRFeature& feature) {
  if (!decoded_ || !compiled_) return true;
  for (int index : decoded_texts_) {
    if (!feature.IsFieldSetAndNotNull(index)) continue;
    const char* text = feature.GetFieldAsString(index);
    if (IsUtf8(text)) continue;
    // A text that is not GBK either stays as it is: it matches no literal typed as text.
    if (std::optional<std::string> decoded = DecodeChineseText(text)) {
      feature.SetField(index, decoded->c_str());
    }
  }
  return compiled_->query.Evaluate(&feature) != 0;
}

}  // namespace quilmark
