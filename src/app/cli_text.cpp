#include "src/app/cli_text.h"

#include <algorithm>
#include <cstddef>
#include <iomanip>
#include <memory>
#include <regex>
#include <sstream>
#include <string_view>

#include "src/host/ascii_text.h"
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

// The caption of a window's control by its name; a method the window lists is named there by its
// caption, which stands in place of a control's name.
std::string CaptionOf(const std::string& control) {
  const size_t index = ControlIndex(control);
  return index < std::size(kWindowControls) ? kWindowControls[index].caption : control;
}

// The text's characters (UTF-8 code points, each as its leading byte's position).
std::vector<std::string_view> Characters(std::string_view text) {
  std::vector<std::string_view> characters;
  for (size_t i = 0; i < text.size();) {
    size_t next = i + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
    characters.push_back(text.substr(i, next - i));
    i = next;
  }
  return characters;
}

// Edits (insert, delete, replace a character) from one text to the other, either case alike.
size_t EditDistance(const std::string& a, const std::string& b) {
  const std::vector<std::string_view> x = Characters(a), y = Characters(b);
  std::vector<size_t> row(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= y.size(); ++j) {
      const size_t above = row[j];
      const bool same = LowerAscii(std::string(x[i - 1])) == LowerAscii(std::string(y[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
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
  return name == kSourceName ? "工作簿文件或图层" : "选项 " + name;
}

// "; 可能是要用 --land-use" where the first unknown argument misspells an option.
std::string MeantOption(const CLI::App& app, const std::string& extras) {
  const std::string first = extras.substr(0, extras.find(' '));
  if (first.rfind("--", 0) != 0) return "";
  const std::string typed = first.substr(0, first.find('='));
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  }
  const std::optional<std::string> meant = NearestName(typed, names);
  return meant ? "; 可能是要用 " + *meant : "";
}

std::string ErrorSentence(const CLI::App& app, const CLI::Error& error) {
  const std::string what = error.what();
  std::smatch match;
  if (Is<CLI::ExtrasError>(error)) {
    return "无法识别的参数: " + SplitName(what).second + " (选项拼写有误, 或给了不止一个工作簿)" +
           MeantOption(app, SplitName(what).second);
  }
  if (Is<CLI::RequiredError>(error)) {
    static const std::regex kRequired(R"((\S+) is required)");
    if (std::regex_match(what, match, kRequired)) {
      if (match[1] == kSourceName) {
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
    static const std::regex kRequires(R"((\S+) requires (.+))");
    if (std::regex_match(what, match, kRequires)) {
      return Named(match[1].str()) + " 只能与 " + match[2].str() + " 一起使用";
    }
  }
  if (Is<CLI::ExcludesError>(error)) {
    static const std::regex kExcludes(R"((\S+) excludes (\S+))");
    if (std::regex_match(what, match, kExcludes)) {
      return Named(match[1].str()) + " 不能与 " +
             (match[2] == kSourceName ? std::string("工作簿文件或图层") : match[2].str()) +
             " 同时使用";
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
  return app.get_name() + ": " + ErrorSentence(app, error) + "。\n" + kSeeHelp + "\n";
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
    text << "\n  " << std::left << std::setw(static_cast<int>(width)) << name << "  "
         << CaptionOf(control);
  }
  return text.str();
}

std::optional<std::string> NearestName(const std::string& typed,
                                       const std::vector<std::string>& candidates) {
  std::optional<std::string> nearest;
  size_t best = std::max<size_t>(1, Characters(typed).size() / 3) + 1;  // near enough: a third
  for (const std::string& candidate : candidates) {
    const size_t distance = EditDistance(typed, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

// The method `value` names: its name, its caption in the window, or a part of one caption only
// ("三大类"); empty where none or several do (`several` then lists their captions).
std::string MethodNamed(const std::vector<std::pair<std::string, std::string>>& methods,
                        const std::string& value, std::string& several) {
  std::vector<const std::pair<std::string, std::string>*> containing;
  for (const auto& method : methods) {
    const std::string caption = CaptionOf(method.second);
    if (value == method.first || value == caption) return method.first;
    if (!value.empty() && caption.find(value) != std::string::npos) containing.push_back(&method);
  }
  if (containing.size() == 1) return containing.front()->first;
  for (const auto* method : containing) {
    several += (several.empty() ? "" : "、") + CaptionOf(method->second);
  }
  return "";
}

CLI::Validator MethodOneOf(std::vector<std::pair<std::string, std::string>> methods) {
  return CLI::Validator(
      [methods](std::string& value) -> std::string {
        std::string several;
        if (std::string name = MethodNamed(methods, value, several); !name.empty()) {
          value = std::move(name);
          return "";
        }
        if (!several.empty()) return value + " 对应多种方式: " + several + "; 请写得更完整";
        std::vector<std::string> names, typable;
        for (const auto& [name, control] : methods) names.push_back(name);
        typable = names;
        for (const auto& method : methods) typable.push_back(CaptionOf(method.second));
        std::string text = value + " 不是可选的取值";
        if (const auto meant = NearestName(value, typable)) text += ", 是不是 " + *meant + "?";
        std::string list;
        for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
        return text + " 可选: " + list + " (或窗口中的中文名称, 见 --help)";
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
            "\" 不是工作表的列: 应为 1 到 16384 之间的列号 (A 列为 1), 或 A 到 XFD 的列字母; "
            "字段名只用于 GIS 图层。";
  }
  return text;
}

}  // namespace quilmark
