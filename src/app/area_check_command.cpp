#include "src/app/area_check_command.h"

#include <cstdio>
#include <string>

#include "src/app/layer_input.h"
#include "src/host/gdal/ellipsoid_check.h"
#include "src/host/layer_path.h"

namespace quilmark {
namespace {

std::string Square(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

void PrintCheck(const EllipsoidCheck& check, const std::string& field, std::ostream& out) {
  out << "共 " << check.patches << " 个图斑; ";
  if (check.off == 0) {
    out << "字段 " << field << " 与椭球面积都相符 (相差不超过 0.01 平方米, 最大相差 "
        << Square(check.largest) << ")\n";
    return;
  }
  out << check.off << " 个图斑的字段 " << field << " 与椭球面积相差超过 0.01 平方米 (最大相差 "
      << Square(check.largest) << " 平方米)";
  if (check.first.size() < static_cast<size_t>(check.off)) {
    out << ", 以下是前 " << check.first.size() << " 个";
  }
  out << ":\n";
  for (const AreaMismatch& off : check.first) {
    out << "  " << off.label << ": " << field << " " << Square(off.field) << ", 椭球面积 "
        << Square(off.computed) << ", 相差 " << Square(off.field - off.computed) << "\n";
  }
}

}  // namespace

ExitCode RunAreaCheck(const RunRequest& request, std::ostream& out, std::ostream& err) {
  LayerRequest layer = ChosenLayerRequest(request.options, request.input);
  bool all_agree = true;
  for (const std::string& source : request.input.sources) {
    layer.source = source;
    out << "核对面积: " << HidePassword(source) << "\n";
    try {
      const EllipsoidCheck check = CheckEllipsoidAreas(layer);
      PrintCheck(check, *layer.area_field, out);
      all_agree = all_agree && check.off == 0;
    } catch (const HostError& error) {
      err << error.what() << "\n";
      return kExitHostFailure;
    }
  }
  return all_agree ? kExitCompleted : kExitStopped;
}

}  // namespace quilmark
