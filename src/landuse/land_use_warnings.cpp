// The warnings a land-use run ends with: the codes its table did not know, and the classification
// families that would have known clearly more of its area.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "src/landuse/land_use.h"
#include "src/summary/area_format.h"

namespace quilmark {
namespace {

constexpr const char* kLostZeroAdvice =
    "编码开头的 0 很可能丢了: 编码列 (如 DLBM) 被存成了数字。请把该列设为文本并补回 0 后重新统计。";

// An area as the run's tables give it: in their unit, to their decimals.
std::string AreaText(double square_metres, const AreaFormat& format) {
  return NumberShown(ConvertArea(square_metres, format.unit), format.decimals) + " " +
         std::string(AreaUnitName(format.unit));
}

std::string MethodName(LandUseMethod method) {
  const LandUseMethodEntry& entry = MethodEntry(method);
  return std::string(entry.control) + " (" + std::string(entry.cli_name) + ")";
}

bool Padded(const PaddingCheck& padding, const std::string& code) {
  return std::any_of(padding.padded.begin(), padding.padded.end(),
                     [&](const auto& padded) { return padded.first == code; });
}

// Where the codes as they stand belong to another family: that family and its method, so that
// nobody pads them into codes of the chosen one.
std::string AsIsText(const PaddingCheck& padding) {
  return "\n这些编码按原样是 " + std::string(padding.as_is->name) + " 的编码 (" +
         MethodName(padding.as_is_method) + "), 不是开头丢了 0: 请勿补 0, 改选这一方式后重新统计。";
}

std::string UnknownCodesText(const std::vector<UnknownCode>& codes, const AreaFormat& format,
                             const PaddingCheck& padding) {
  constexpr size_t kListed = 20;
  std::string text = "注意: 下列编码不在分类表中, 已各自单列在汇总结果中, 请核对:";
  bool lost_zero = false;
  for (size_t i = 0; i < codes.size() && i < kListed; ++i) {
    const UnknownCode& code = codes[i];
    text += "\n" + (code.code.empty() ? std::string("(空)") : code.code) + ": " +
            std::to_string(code.patches) + " 个图斑, 面积 " + AreaText(code.area, format);
    if (code.key_with_zero && Padded(padding, code.code)) {
      text += " (补上开头的 0 即 0" + code.code + " " + *code.key_with_zero + ")";
      lost_zero = true;
    }
  }
  if (codes.size() > kListed) {
    text += "\n另有 " + std::to_string(codes.size() - kListed) + " 个编码未列出。";
  }
  if (lost_zero) text += std::string("\n") + kLostZeroAdvice;
  if (padding.as_is != nullptr) text += AsIsText(padding);
  return text;
}

// A rule method keys every text, so a code that lost its 0 is booked under another class without
// being unknown (11 for 011 水田 goes to 未利用地): the texts its family knows only padded.
std::string LostZeroText(LandUseMethod method, const PaddingCheck& padding) {
  std::string text = "注意: 下列编码不是 " + std::string(FamilyOf(method)->name) +
                     " 的编码, 补上开头的 0 才是, 现按规则归入了别的类:";
  for (const auto& [code, padded_class] : padding.padded) {
    text += "\n" + code + " (补上开头的 0 即 0" + code + " " + padded_class + ")";
  }
  return text + "\n" + kLostZeroAdvice;
}

std::string Percent(double share) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", share * 100);
  return text;
}

std::string FamilyText(LandUseMethod chosen, const FamilyCheck& check) {
  std::string text = "注意: 所选的 " + MethodName(chosen) + " 只认得 " +
                     Percent(check.chosen_share) +
                     " 的面积, 下列分类认得的明显更多, 编码可能属于另一套分类 (同一编码在各套分类中"
                     "是不同的类, 如 1001 在三调是铁路用地, 在用地用海分类是工业用地)。"
                     "请核对编码所属的分类, 需要时改选后重新统计:";
  for (const BetterFamily& better : check.better) {
    text += "\n" + MethodName(better.method) + ": 认得 " + Percent(better.share) + " 的面积";
  }
  return text;
}

}  // namespace

std::vector<std::string> LandUseTask::Warnings() const {
  std::vector<std::string> warnings;
  const PaddingCheck padding =
      settings_.user_table == nullptr ? CheckPadding(settings_.method, texts_) : PaddingCheck{};
  if (!unknown_.empty()) warnings.push_back(UnknownCodesText(unknown_, format_, padding));
  const bool by_rules = MethodEntry(settings_.method).control_kind == MethodControl::kOptionButton;
  if (settings_.user_table == nullptr && by_rules && !padding.padded.empty()) {
    warnings.push_back(LostZeroText(settings_.method, padding));
  }
  if (settings_.user_table == nullptr) {
    const FamilyCheck check = CheckFamily(settings_.method, texts_);
    if (!check.better.empty()) warnings.push_back(FamilyText(settings_.method, check));
  }
  return warnings;
}

}  // namespace quilmark
