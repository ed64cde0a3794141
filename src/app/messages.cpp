#include "src/app/messages.h"

#include "src/host/cell_value.h"

namespace quilmark {

std::string_view MessageText(StopReason reason) {
  switch (reason) {
    case StopReason::kNoTask: return "没有选择统计汇总工作内容!";
    case StopReason::kNoApplication: return "当前没有运行Excel程序!";
    case StopReason::kNoWorkbook: return "当前没有Excel文件被打开!";
    case StopReason::kNotWorksheet: return "当前活动表不是工作表!";
    case StopReason::kNoLandUseMethod: return "请选择一种地类占用情况的统计汇总方式!";
    case StopReason::kNoMasterPlanMethod: return "请选择一种规划用途占用情况的统计汇总方式!";
    case StopReason::kBadZoneColumn: return "区域名称所在列号无效!";
    case StopReason::kBadClassColumn: return "地块类别所在列号无效!";
    case StopReason::kBadAreaColumn: return "地块面积所在列号无效!";
    case StopReason::kBlockOutsideSheet: return "汇总结果超出工作表范围!";
    case StopReason::kBadDeductionColumn: return "田坎系数所在列号无效!";
    case StopReason::kBadDecimals: return "小数位数无效, 应为 0 到 6 的整数!";
    case StopReason::kBadUnit: return "面积单位无效, 应为 m2、ha 或 mu!";
    case StopReason::kBadCoefficient: return "田坎系数无效!";
    case StopReason::kNoPatch: return "没有可统计的图斑!";
    case StopReason::kBadReport:
      return "统计报表的名称或行政区级别无效!";
    case StopReason::kReportNeedsLayer:
      return "统计报表从 GIS 图层 (三调地类图斑层) 生成, 请选择图层而不是工作簿!";
    case StopReason::kReportField:
      return "图层缺少统计报表需要的字段!";
    case StopReason::kReportsDisagree:
      return "统计报表之间不一致!";
    case StopReason::kDataError:
      return "数据检查发现错误, 统计未完成!";
    case StopReason::kUselessColumn:
      return "所选的列中没有可统计的内容!";
  }
  return {};
}

std::string BadCoefficientText(int32_t row, std::string_view cell_text) {
  return "第 " + std::to_string(row) + " 行的田坎系数 \"" + std::string(cell_text) +
         "\" 不是 0 到 1 之间的数 (可为 0, 不可为 1), 统计未进行, 工作簿未改动。";
}

std::string BadSourceCoefficientText(std::string_view row_label, std::string_view cell_text) {
  return std::string(row_label) + " 的田坎系数 \"" + std::string(cell_text) +
         "\" 不是 0 到 1 之间的数 (可为 0, 不可为 1), 统计已停止, 没有写入任何结果。";
}

std::string ConfirmationText(std::string_view workbook_name, std::string_view sheet_name) {
  std::string text = "确认: 需要统计的工作薄为 ";
  text += workbook_name;
  text += '\r';  // a carriage return alone: the two lines of the confirmation box
  text += "                工作表为 ";
  text += sheet_name;
  return text;
}

std::string LayerConfirmationText(std::string_view layer_name, std::string_view source) {
  return "确认: 需要统计的图层为 " + std::string(layer_name) + ", 数据源为 " + std::string(source);
}

std::string NoPatchText(std::string_view where, std::string_view layer_name,
                        std::string_view source) {
  const std::string layer = "图层 " + std::string(layer_name) + " (" + std::string(source) + ")";
  const std::string outcome = ", 统计未进行, 没有写入任何结果。";
  if (where.empty()) return layer + " 中没有任何图斑" + outcome + "请检查数据源和图层是否选对。";
  return "筛选条件 \"" + std::string(where) + "\" 在" + layer + " 中没有选中任何图斑" + outcome +
         "请检查筛选条件中的字段名和取值。";
}

std::string NoPatchInPartsText(std::string_view where, size_t count) {
  const std::string layers = " " + std::to_string(count) + " 个数据源的图层中";
  const std::string outcome = ", 没有写入任何结果。";
  if (where.empty()) {
    return "这" + layers + "都没有任何图斑" + outcome + "请检查数据源和图层是否选对。";
  }
  return "筛选条件 \"" + std::string(where) + "\" 在这" + layers + "都没有选中任何图斑" + outcome +
         "请检查筛选条件中的字段名和取值。";
}

std::string OddAreasText(int64_t count, double counted, const std::vector<std::string>& first) {
  std::string text = "注意: 地块面积有 " + std::to_string(count) +
                     " 个单元格不是纯数字, 已按开头的数字计入, 共计入面积 " + NumberText(counted) +
                     ": ";
  for (size_t i = 0; i < first.size(); ++i) {
    if (i > 0) text += "; ";
    text += first[i];
  }
  if (static_cast<size_t>(count) > first.size()) text += "; 等";
  text += "。如需按实际面积统计, 请把这些单元格改为数字后重新统计。";
  return text;
}

std::string NoAreaNumberText(std::string_view column) {
  std::string text = "注意: 地块面积所在列 (";
  text += column;
  text += ") 中没有数字, 面积都按 0 计入。请检查地块面积所在列号。";
  return text;
}

}  // namespace quilmark
