#include "src/host/gdal/pushdown.h"

#include <cstdlib>
#include <string_view>

namespace quilmark {
namespace {

bool PushdownTurnedOff() {
  const char* setting = std::getenv("QUILMARK_PG_PUSHDOWN");
  return setting != nullptr &&
         (std::string_view(setting) == "off" || std::string_view(setting) == "0");
}

// A zone or class the server gives as the run reads it: a text as it is, a whole number as its
// digits. A real number (read as the digits of its value where whole), a truth value or a date
// would read otherwise.
bool ReadsAsCode(const OGRFieldDefn& field) {
  const OGRFieldType type = field.GetType();
  if (field.GetSubType() == OFSTBoolean) return false;
  return type == OFTString || type == OFTInteger || type == OFTInteger64;
}

bool ReadsAsNumber(const OGRFieldDefn& field) {
  const OGRFieldType type = field.GetType();
  if (field.GetSubType() == OFSTBoolean) return false;
  return type == OFTInteger || type == OFTInteger64 || type == OFTReal;
}

}  // namespace

std::optional<GroupedQuery> PushdownQuery(GDALDataset& dataset, OGRLayer& layer,
                                          const PushdownFields& fields,
                                          std::optional<int> zone_prefix) {
  if (PushdownTurnedOff() || fields.extras) return std::nullopt;
  if (!EQUAL(dataset.GetDriver()->GetDescription(), "PostgreSQL")) return std::nullopt;
  const std::string fid = layer.GetFIDColumn();
  if (fid.empty()) return std::nullopt;  // no order to give the groups
  const OGRFeatureDefn& definition = *layer.GetLayerDefn();
  const auto field = [&](int index) -> const OGRFieldDefn& {
    return *definition.GetFieldDefn(index);
  };
  GroupedQuery query;
  query.table = layer.GetName();
  query.fid = fid;
  query.zone_prefix = zone_prefix;
  if (!ReadsAsCode(field(fields.zone))) return std::nullopt;
  query.zone = field(fields.zone).GetNameRef();
  if (fields.class_ >= 0) {
    if (!ReadsAsCode(field(fields.class_))) return std::nullopt;
    query.class_ = field(fields.class_).GetNameRef();
  }
  if (fields.area >= 0) {
    if (!ReadsAsNumber(field(fields.area))) return std::nullopt;
    query.area = field(fields.area).GetNameRef();
  } else {
    query.geometry = layer.GetGeometryColumn();
    if (query.geometry.empty()) return std::nullopt;
  }
  if (fields.deduction >= 0) {
    if (!ReadsAsNumber(field(fields.deduction))) return std::nullopt;
    query.deduction = field(fields.deduction).GetNameRef();
  }
  return query;
}

}  // namespace quilmark
