#include "src/app/layer_input.h"

namespace quilmark {

LayerRequest ChosenLayerRequest(const RunOptions& options, const LayerInput& input) {
  LayerRequest request;
  request.source = input.source;
  request.layer = input.layer;
  request.where = input.where;
  request.zone_field = options.TextZQColumn;
  if (options.CheckTDLY || options.CheckZTGH || options.ChkNumArea) {
    request.class_field = options.TextDKStyleColumn;
  }
  if (!TrimBlanks(options.TextAreaColumn).empty()) request.area_field = options.TextAreaColumn;
  if (options.CheckTDLY && !options.TextKCXSColumn.empty()) {
    request.deduction_field = options.TextKCXSColumn;
  }
  return request;
}

ZoneTransform ChosenZoneTransform(const RunOptions& options) {
  ZoneTransform transform;
  if (options.ZonePrefix > 0) transform.prefix = options.ZonePrefix;
  if (!options.ZoneNamesFile.empty()) transform.names = ReadZoneNames(options.ZoneNamesFile);
  return transform;
}

}  // namespace quilmark
