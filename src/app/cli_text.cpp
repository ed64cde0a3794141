#include "src/app/cli_text.h"

#include <algorithm>
#include <cstddef>
#include <iomanip>
#include <memory>
#include <regex>
#include <sstream>
#include <string_view>

#include "src/output/text_width.h"
#include "src/resources/window_controls.h"

namespace quilmark {
namespace {

// What CLI11 prints in its own words, and ours.
constexpr std::pair<const char*, const char*> kLabels[] = {
    {"Usage", "用法"},    {"OPTIONS", "选项"}, {"Positionals", "参数"},  {"Options", "选项"},
    {"REQUIRED", "必需"}, {"Needs", "需要"},   {"Excludes", "不能同用"}, {"TEXT", "文本"},
    {"INT", "整数"},      {"UINT", "整数"},    {"FLOAT", "数值"},        {"NUMBER", "数值"},
};

constexpr const char* kFooter =
    "示例:\n"
    "  quilmark --land-use 2008-level3 --cross-tab -o 结果.xlsx 图斑.xlsx\n"
    "    按三级地类统计各区域面积, 再统计各区域各类地块的宗数和面积, 结果写入 结果.xlsx。\n"
    "\n"
    "不给 -o 时结果写回原工作簿 (数据下方第十行之后)。退出码: 0 统计完毕; 1 提示信息中止了统计;\n"
    "2 选项有误; 3 工作簿无法读取或保存。";

constexpr const char* kSeeHelp = "用 quilmark --help 查看全部选项。";

// Where the window lists its control of that name; past the end when it has none.
size_t ControlIndex(std::string_view control) {
  const size_t count = std::size(kWindowControls);
  for (size_t i = 0; i < count; ++i) {
    if (control == kWindowControls[i].name) return i;
  }
  return count;
}

// The help screen with the group headings in Chinese.
class ChineseFormatter : public CLI::Formatter {
 public:
  ChineseFormatter() {
    for (const auto& [key, text] : kLabels) label(key, text);
    column_width(28);
  }
  std::string make_group(std::string group, bool is_positional,
                         std::vector<const CLI::Option*> opts) const override {
    return CLI::Formatter::make_group(get_label(group), is_positional, std::move(opts));
  }
  // A value's choices stand alone: {m2,ha,mu} rather than TEXT:{m2,ha,mu}.
  std::string make_option_opts(const CLI::Option* opt) const override {
    std::string opts = CLI::Formatter::make_option_opts(opt);
    const size_t typed = opts.find(" TEXT:{");
    if (typed != std::string::npos) opts.erase(typed + 1, 5);
    static const std::regex kRange(R"( INT:INT in \[(\S+) - (\S+)\])");
    return std::regex_replace(opts, kRange, " 整数 ($1 到 $2)");
  }
  // As CLI11 lays it out, with the name column padded by the columns a terminal shows rather
  // than by bytes: a Chinese character takes two columns and three bytes.
  std::string make_option(const CLI::Option* opt, bool is_positional) const override {
    const std::string name = "  " + make_option_name(opt, is_positional) + make_option_opts(opt);
    const size_t width = get_column_width();
    const size_t shown = DisplayWidth(name);
    std::string line = name;
    if (shown < width) {
      line += std::string(width - shown, ' ');
    } else {
      line += "\n" + std::string(width, ' ');
    }
    for (char c : make_option_desc(opt)) {
      line += c;
      if (c == '\n') line += std::string(width, ' ');
    }
    return line + "\n";
  }
};

// The text after "NAME: " in a CLI11 message, and the name.
std::pair<std::string, std::string> SplitName(const std::string& what) {
  const size_t colon = what.find(": ");
  if (colon == std::string::npos) return {"", what};
  return {what.substr(0, colon), what.substr(colon + 2)};
}

// CLI11's own validators speak English; say the same in Chinese.
std::string ValidationDetail(const std::string& detail) {
  std::smatch match;
  static const std::regex kNotIn(R"((.*) not in \{(.*)\})");
  static const std::regex kRange(R"(Value (.*) not in range (\S+) to (\S+))");
  if (std::regex_match(detail, match, kNotIn)) {
    return match[1].str() + " 不是可选的取值, 可选: " + match[2].str();
  }
  if (std::regex_match(detail, match, kRange)) {
    return match[1].str() + " 不在 " + match[2].str() + " 到 " + match[3].str() + " 之间";
  }
  return detail;
}

template <typename Kind>
bool Is(const CLI::Error& error) {
  return dynamic_cast<const Kind*>(&error) != nullptr;
}

// An option as a sentence names it; the workbooks or layers by what they are.
std::string Named(const std::string& name) {
  return name == "SOURCE" ? "工作簿文件或图层 (SOURCE)" : "选项 " + name;
}

std::string ErrorSentence(const CLI::Error& error) {
  const std::string what = error.what();
  std::smatch match;
  if (Is<CLI::ExtrasError>(error)) {
    return "无法识别的参数: " + SplitName(what).second + " (选项拼写有误, 或给了不止一个工作簿)";
  }
  if (Is<CLI::RequiredError>(error)) {
    static const std::regex kRequired(R"((\S+) is required)");
    if (std::regex_match(what, match, kRequired)) {
      if (match[1] == "SOURCE") {
        return "缺少工作簿或图层: 请在选项之后给出要汇总的 .xlsx 工作簿文件, 或一个或多个 GIS 图层";
      }
      return "缺少必需的选项 " + match[1].str();
    }
  }
  if (Is<CLI::ConversionError>(error)) {
    static const std::regex kConvert(R"(Could not convert: (\S+) = (.*))");
    if (std::regex_match(what, match, kConvert)) {
      return Named(match[1].str()) + " 的取值 " + match[2].str() + " 不是所需的数值";
    }
    const auto [name, detail] = SplitName(what);
    if (detail.find("flag") != std::string::npos ||
        detail.find("true/false") != std::string::npos) {
      return Named(name) + " 不带取值";
    }
  }
  if (Is<CLI::ValidationError>(error)) {
    const auto [name, detail] = SplitName(what);
    return Named(name) + " 的取值无效: " + ValidationDetail(detail);
  }
  if (Is<CLI::ArgumentMismatch>(error)) {
    const auto [name, detail] = SplitName(what);
    if (detail.find("missing") != std::string::npos) return Named(name) + " 缺少取值";
    return Named(name) + " 的取值个数不对";
  }
  if (Is<CLI::RequiresError>(error)) {
    static const std::regex kRequires(R"((\S+) requires (\S+))");
    if (std::regex_match(what, match, kRequires)) {
      return Named(match[1].str()) + " 只能与 " + match[2].str() + " 一起使用";
    }
  }
  if (Is<CLI::ExcludesError>(error)) {
    static const std::regex kExcludes(R"((\S+) excludes (\S+))");
    if (std::regex_match(what, match, kExcludes)) {
      return Named(match[1].str()) + " 不能与 " +
             (match[2] == "SOURCE" ? std::string("工作簿文件或图层") : match[2].str()) + " 同时使用";
    }
  }
  return "选项有误: " + what;
}

}  // namespace

void UseChineseText(CLI::App& app) {
  app.formatter(std::make_shared<ChineseFormatter>());
  app.set_help_flag("-h,--help", "显示此帮助后退出");
  app.footer(kFooter);
  app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
    return UsageErrorText(*failed, error);
  });
}

std::string UsageErrorText(const CLI::App& app, const CLI::Error& error) {
  return app.get_name() + ": " + ErrorSentence(error) + "。\n" + kSeeHelp + "\n";
}

std::string MethodsDescription(const std::string& lead,
                               std::vector<std::pair<std::string, std::string>> methods) {
  std::stable_sort(methods.begin(), methods.end(), [](const auto& a, const auto& b) {
    return ControlIndex(a.second) < ControlIndex(b.second);
  });
  size_t width = 0;
  for (const auto& method : methods) width = std::max(width, method.first.size());
  std::ostringstream text;
  text << lead;
  for (const auto& [name, control] : methods) {
    const size_t index = ControlIndex(control);
    // A method the window offers in a list is named there by its caption.
    const std::string caption =
        index < std::size(kWindowControls) ? kWindowControls[index].caption : control;
    text << "\n  " << std::left << std::setw(static_cast<int>(width)) << name << "  " << caption;
  }
  return text.str();
}

CLI::Validator OneOf(std::vector<std::string> names) {
  return CLI::Validator(
      [names](std::string& value) -> std::string {
        if (std::find(names.begin(), names.end(), value) != names.end()) return "";
        std::string list;
        for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
        return value + " 不是可选的取值, 可选: " + list;
      },
      "");
}

CLI::Validator WholeNumberFrom(int low, int high) {
  return CLI::Validator(
      [low, high](std::string& value) -> std::string {
        std::istringstream in(value);
        long long number = 0;
        if (in >> number && in.eof() && number >= low && number <= high) return "";
        return value + " 不是 " + std::to_string(low) + " 到 " + std::to_string(high) +
               " 之间的整数";
      },
      "");
}

std::string BadColumnOptionText(StopReason stop, const RunOptions& options) {
  struct ColumnOption {
    StopReason stop;
    const char* name;
    std::string RunOptions::*text;
  };
  static constexpr ColumnOption kColumnOptions[] = {
      {StopReason::kBadZoneColumn, "--zone-column", &RunOptions::TextZQColumn},
      {StopReason::kBadClassColumn, "--class-column", &RunOptions::TextDKStyleColumn},
      {StopReason::kBadAreaColumn, "--area-column", &RunOptions::TextAreaColumn},
      {StopReason::kBadDeductionColumn, "--deduction-column", &RunOptions::TextKCXSColumn},
  };
  std::string text(MessageText(stop));
  for (const ColumnOption& option : kColumnOptions) {
    if (option.stop != stop) continue;
    text += std::string(" ") + option.name + " 的值 \"" + options.*option.text +
            "\" 不是工作表的列号: 应为 1 到 16384 之间的数 (A 列为 1); 字段名只用于 GIS 图层。";
  }
  return text;
}

}  // namespace quilmark
