#include "src/app/cli_options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <utility>

#include "src/app/cli_text.h"
#include "src/app/land_use_choice.h"
#include "src/app/plan_choice.h"
#include "src/app/run_driver.h"
#include "src/app/run_target.h"
#include "src/host/ascii_text.h"
#include "src/output/targets.h"
#include "src/report/report_kinds.h"

namespace quilmark {
namespace {

// The names of a method table's rows on the command line (the master-plan ones listed by name, as
// they always were), and the help's list of them with each one's caption in the window.
template <typename Entries>
std::vector<std::pair<std::string, std::string>> Methods(Entries entries, bool sorted = false) {
  std::vector<std::pair<std::string, std::string>> listed;
  for (const auto& entry : entries) {
    listed.emplace_back(std::string(entry.cli_name), std::string(entry.control));
  }
  if (sorted) std::sort(listed.begin(), listed.end());
  return listed;
}

template <typename Entries>
std::string Described(const std::string& lead, Entries entries) {
  return MethodsDescription(lead, Methods(entries));
}

void DefineColumnOptions(CLI::App& app, RunOptions& options) {
  app.add_option("--zone-column", options.TextZQColumn,
                 "区域名称 (如镇区名称、图斑号) 所在列号或列字母 (2 或 B); GIS 图层: 字段名或序号")
      ->type_name("列号")
      ->capture_default_str();
  app.add_option("--class-column", options.TextDKStyleColumn,
                 "地块类别 (如地类、规划用途) 所在列号或列字母; GIS 图层: 字段名或序号")
      ->type_name("列号")
      ->capture_default_str();
  app.add_option("--area-column", options.TextAreaColumn,
                 "地块面积所在列号或列字母; GIS 图层: 字段名或序号, 省略时按几何图形计算")
      ->type_name("列号")
      ->capture_default_str();
}

void DefineLandUseOptions(CLI::App& app, CommandLine& line) {
  RunOptions& options = line.request.options;
  line.land_use_option =
      app.add_option(
             "--land-use", line.land_use,
             Described("土地利用情况分区域汇总, 按以下方式之一归类 (可写方式名或其中文名称):",
                       LandUseMethods()))
          ->type_name("方式")
          ->transform(MethodOneOf(Methods(LandUseMethods())));
  app.add_flag("--convert-zone-codes", options.CheckZQDM2MC,
               "与 --land-use 同用: 汇总前把表中的镇区代码改写为镇区名称 (101 → 石碣镇)")
      ->needs(line.land_use_option);
  line.table_option =
      app.add_option("--classification", options.TextClassTable,
                     "土地利用情况汇总, 按此文件中的 编码<TAB>类别 表归类 (UTF-8 或 GBK)")
          ->type_name("文件")
          ->excludes(line.land_use_option);
  app.add_flag("--split-k", options.CheckSplitK, "带K (可调整) 图斑另列为 带K+地类");
  app.add_option("--deduction-column", options.TextKCXSColumn,
                 "田坎系数 (KCXS) 所在的列号或列字母, 按系数扣除田坎; GIS 图层: 字段名或序号")
      ->type_name("列号");
}

void DefineTaskOptions(CLI::App& app, CommandLine& line) {
  RunOptions& options = line.request.options;
  DefineLandUseOptions(app, line);
  app.add_option("--unit", options.ListUnit, "面积单位: m2 (平方米), ha (公顷), mu (亩)")
      ->check(CLI::IsMember({"m2", "ha", "mu"}));
  app.add_option("--decimals", options.TextDecimals, "保留的小数位数 (0-6), 并平差使合计相符")
      ->check(CLI::IsMember({"0", "1", "2", "3", "4", "5", "6"}));
  app.add_flag("--totals", options.CheckTotals,
               "每个汇总表加 合计 列和 合计 行 (宗数和面积统计只加 合计 行)");
  app.add_option("--master-plan", line.master_plan,
                 Described("总体规划情况分区域汇总, 按以下方式之一归类 (可写方式名或其中文名称):",
                           PlanningMethods()))
      ->type_name("方式")
      ->transform(MethodOneOf(Methods(PlanningMethods(), true)));
  app.add_flag("--zone-totals", options.CheckZQStat, "按区域统计总面积, 不细分用地类别");
  app.add_flag("--cross-tab", options.ChkNumArea, "统计每个区域内每一种类别地块的宗数和面积");
  app.add_option("--zone-prefix", options.ZonePrefix, "区域只取代码的前 N 个字符")
      ->check(CLI::Range(1, 1000));
  app.add_flag("--check", options.CheckOnly,
               "只检查数据, 不汇总: 检查结果列在终端上 (--format csv 以 CSV 输出, -o 写入工作簿); "
               "有错误时退出码为 1");
  app.add_flag("--accept-negative", options.AcceptNegative,
               "面积为负的图斑照常汇总, 只给出警告 (默认为错误, 不写入任何结果)");
  app.add_option("--zone-names", options.ZoneNamesFile, "区域代码与名称对照表 (两列 CSV/TSV)")
      ->type_name("文件");
}

// The targets --format can name: every one but the preview, which --dry-run asks for.
std::vector<std::string> FormatNames() {
  std::vector<std::string> names;
  for (const TargetKind& kind : TargetKinds()) {
    if (kind.name != "preview") names.emplace_back(kind.name);
  }
  return names;
}

void DefineOutputOptions(CLI::App& app, CommandLine& line) {
  app.add_option(
         "-o,--output", line.output,
         "结果写入此文件, 原工作簿保持不变; 与 --live 同用: 汇总表写入这个新的 .xlsx 工作簿, "
         "每项汇总一张工作表")
      ->type_name("文件");
  app.add_option(
         "--format", line.format,
         "结果格式: xlsx (写入工作簿), 或 csv (各汇总表以 CSV 写到 -o 指定的文件, 没有 -o 时"
         "写到标准输出); -o 的文件名以 .csv 结尾时默认为 csv")
      ->type_name("格式")
      ->check(CLI::IsMember(FormatNames()));
  app.add_option("--encoding", line.encoding,
                 "CSV 的编码: utf-8 (默认; 写入文件时带 BOM, 中文电子表格程序据此识别), "
                 "或 gbk (供只认 GBK 的旧程序)")
      ->type_name("编码")
      ->check(CLI::IsMember({"utf-8", "gbk"}));
  app.add_flag("-y,--overwrite", line.overwrite,
               "结果文件 (-o 指定的文件, 或图层旁边的 …-汇总.xlsx) 已存在时直接替换它; "
               "不加此项时, 在终端上运行会先询问 是否替换? (y/N)");
  app.add_flag("--dry-run", line.dry_run,
               "只预览: 照常统计, 把各汇总表按将写入的样子列在终端上, 不写入任何文件");
}

void DefineSourceOptions(CLI::App& app, CommandLine& line) {
  RunInput& input = line.request.input;
  app.add_option("--sheet", input.sheet, "使用此工作表, 而不是工作簿打开时显示的工作表")
      ->type_name("工作表");
  CLI::Option* sources =
      app.add_option(kSourceName, line.sources,
                     "要汇总的 .xlsx 工作簿文件 (结果默认写回此文件), 或 GIS 图层 "
                     "(.shp、.gpkg、.gdb、PG:...; "
                     "结果写入旁边新的工作簿); 可以给多个 GIS 图层, 合为一个图层汇总")
          ->type_name("文件");
  line.office_timeout = static_cast<int>(kDefaultOfficeTimeout.count());
  CLI::Option* live = app.add_flag(
      "--live", line.live,
      "汇总正在运行的 LibreOffice Calc 中打开的工作簿 (结果不保存, 请在 Calc 中查看)");
  app.add_option("--office-port", input.office_port, "与 --live 同用: LibreOffice 在本机监听的端口")
      ->capture_default_str()
      ->check(WholeNumberFrom(1, 65535))
      ->needs(live);
  app.add_option("--office-timeout", line.office_timeout,
                 "与 --live 同用: 等待 LibreOffice 响应的秒数 (连接时, 以及统计中的每一步)")
      ->capture_default_str()
      ->check(WholeNumberFrom(1, 3600))
      ->needs(live);
  live->excludes(sources);
  app.get_option("--sheet")->excludes(live);
  app.add_option("--layer", input.layer, "GIS 数据源中要汇总的图层 (只有一个图层时可省略)")
      ->type_name("图层");
  app.add_option("--where", input.where, "GIS 图层的属性筛选条件, 例如 \"DLBM LIKE '01%'\"")
      ->type_name("条件");
}

// Where a layer's areas come from, the check of the survey's areas, and the overlay.
void DefineAreaOptions(CLI::App& app, CommandLine& line) {
  RunInput& input = line.request.input;
  app.add_option("--area-from", input.area_from,
                 "GIS 图层的面积来源: field (面积字段, 默认), ellipsoid (按几何图形计算椭球面积, "
                 "同三调), plane (按几何图形计算平面面积)")
      ->type_name("来源")
      ->check(CLI::IsMember({"field", "ellipsoid", "plane"}));
  app.add_flag("--check-area", line.check_area,
               "只核对面积: 逐个图斑按几何图形计算椭球面积, 与面积字段 (--area-column, 默认 "
               "TBMJ) 比较, 列出相差超过 0.01 平方米的图斑; 不做汇总");
  app.add_option("--overlay", input.overlay,
                 "叠加图层: 先把此图层 (如规划分区、项目红线) 与各数据源的图斑相交, 再汇总相交"
                 "得到的每一块; 冒号后是它带入的字段, 逗号分隔 (规划.gpkg:YDYH,GHFQ)")
      ->type_name("图层[:字段,…]");
  app.add_option("--overlay-layer", input.overlay_layer,
                 "与 --overlay 同用: 叠加数据源中的图层 (只有一个图层时可省略)")
      ->type_name("图层")
      ->needs(app.get_option("--overlay"));
  app.add_flag("--overlay-inside", input.overlay_inside,
               "与 --overlay 同用: 只汇总落在叠加图层范围内的部分, 范围外的部分不计")
      ->needs(app.get_option("--overlay"));
}

CLI::Validator ReportListCheck() {
  return CLI::Validator(
      [](std::string& names) -> std::string {
        if (ParseReportList(names)) return {};
        return "应为 level1、level2、major、ownership、urban、slope 中的一个或几个 "
               "(逗号分隔), 或 all";
      },
      "");
}

void DefineReportOptions(CLI::App& app, CommandLine& line) {
  RunOptions& options = line.request.options;
  CLI::Option* report =
      app.add_option("--report", options.ListReports,
                     "三调统计报表, 逗号分隔: level1 (一级分类), level2 (二级分类), major (三大类), "
                     "ownership (按权属性质), urban (城镇村及工矿用地), slope (耕地坡度分级), 或 "
                     "all; 从 GIS 地类图斑层生成, 写入新的工作簿 (默认: 图层名-统计报表.xlsx)")
          ->type_name("表名")
          ->check(ReportListCheck());
  line.report_option = report;
  app.add_option("--level", options.ListReportLevel,
                 "与 --report 同用: 统计到哪一级行政区: county (县), township (乡镇, 默认), "
                 "village (村, 每个乡镇加小计)")
      ->type_name("级别")
      ->check(CLI::IsMember({"county", "township", "village"}))
      ->needs(report);
  const std::pair<const char*, std::pair<std::string*, const char*>> fields[] = {
      {"--ownership-column", {&options.TextQSXZColumn, "权属性质 (默认 QSXZ)"}},
      {"--urban-column", {&options.TextCZCSXMColumn, "城镇村属性码 (默认 CZCSXM)"}},
      {"--slope-column", {&options.TextPDJBColumn, "坡度级别 (默认 PDJB)"}},
      {"--terrace-column", {&options.TextGDLXColumn, "耕地类型 梯田/坡地 (默认 GDLX)"}},
  };
  for (const auto& [name, field] : fields) {
    app.add_option(name, *field.first, std::string("与 --report 同用: ") + field.second + " 的字段名")
        ->type_name("字段")
        ->needs(report);
  }
  for (CLI::Option* task : {line.land_use_option, line.table_option}) report->excludes(task);
  // The reports are the survey's own tables, in 公顷 with two decimals and their own totals.
  for (const char* other : {"--master-plan", "--zone-totals", "--cross-tab", "--zone-prefix",
                            "--unit", "--decimals", "--totals"}) {
    report->excludes(app.get_option(other));
  }
}

// Whether a run may write `result`, a file other than its input: where one is there already and
// the user sits at a terminal, when they answer yes (or gave --overwrite); scripts (standard input
// not a terminal) replace it as they always have.
bool MayReplace(const std::filesystem::path& result, const std::string& input, bool overwrite) {
  std::error_code error;
  if (overwrite || ::isatty(STDIN_FILENO) != 1 || !std::filesystem::exists(result, error)) {
    return true;
  }
  if (std::filesystem::equivalent(result, input, error)) return true;  // -o naming the input
  std::cerr << "结果文件已存在: " << result.string() << "\n是否替换? (y/N) " << std::flush;
  std::string answer;
  std::getline(std::cin, answer);
  const std::string_view said = TrimSpace(answer);
  if (said == "y" || said == "Y" || said == "yes" || said == "是") return true;
  std::cerr << "没有替换, 什么也没有写。要保留它请用 -o 指定别的文件名; 不再询问请加 --overwrite "
               "(或 -y)。\n";
  return false;
}

// The options that choose a task, for a command line that chose none.
constexpr const char* kTaskList =
    "请至少选择一项统计:\n"
    "  --land-use 方式       土地利用情况分区域汇总 (如 --land-use 三大类)\n"
    "  --classification 文件 按自己的 编码<TAB>类别 对照表归类\n"
    "  --master-plan 方式    总体规划情况分区域汇总\n"
    "  --zone-totals         按区域统计总面积\n"
    "  --cross-tab           统计每个区域内每一种类别地块的宗数和面积\n"
    "  --report 表名         三调统计报表 (GIS 地类图斑层)\n"
    "例如: quilmark --land-use 三大类 图斑.xlsx; 各方式见 quilmark --help。";

// The methods named on the command line, chosen as the window's controls would be.
void ChooseMethods(CommandLine& line) {
  RunOptions& options = line.request.options;
  if (!options.TextClassTable.empty()) options.CheckTDLY = true;
  if (!line.land_use.empty()) {
    options.CheckTDLY = true;
    ChooseLandUseMethod(options, FindMethodByCliName(line.land_use)->method);
  }
  if (!line.master_plan.empty()) {
    options.CheckZTGH = true;
    ChoosePlanningMethod(options, FindPlanningMethodByCliName(line.master_plan)->method);
  }
}

// The survey reports read a standard survey layer's fields unless told otherwise.
void UseSurveyFields(const CLI::App& app, RunOptions& options) {
  const std::pair<const char*, std::string RunOptions::*> standard[] = {
      {"--zone-column", &RunOptions::TextZQColumn},
      {"--class-column", &RunOptions::TextDKStyleColumn},
      {"--area-column", &RunOptions::TextAreaColumn}};
  const char* names[] = {"ZLDWDM", "DLBM", "TBMJ"};
  for (size_t i = 0; i < std::size(standard); ++i) {
    if (app.count(standard[i].first) == 0) options.*standard[i].second = names[i];
  }
}

// Whether standard output is a file (a redirection), not a terminal or another program.
bool StandardOutputIsFile() {
  struct stat status {};
  return ::fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode);
}

// How CSV is written: GBK when asked; else UTF-8, led by the byte-order mark a Chinese spreadsheet
// program needs to read it where it lands in a file, without it where a script reads it.
CsvEncoding ChooseCsvEncoding(const CommandLine& line) {
  if (line.encoding == "gbk") return CsvEncoding::kGbk;
  const bool file = line.request.output.file.has_value() || StandardOutputIsFile();
  return file ? CsvEncoding::kUtf8WithBom : CsvEncoding::kUtf8;
}

// Where the tables go: CSV (into -o's file, else on standard output) or a preview on standard
// output, a new workbook from the live office with -o (a layer's go into one by default), else
// below the data.
void ChooseOutput(const CLI::App& app, CommandLine& line) {
  RunOutput& output = line.request.output;
  // An -o given empty is refused, not taken for no -o.
  if (app.count("--output") > 0) output.file = line.output;
  const bool csv_named = output.file && LowerAscii(output.file->extension().string()) == ".csv";
  if (app.count("--format") == 0 && csv_named) line.format = "csv";
  if (line.request.options.CheckOnly) {
    // The findings on the terminal unless a format or a file is asked for.
    output.target = line.format != "xlsx" ? line.format : output.file ? "xlsx" : "preview";
  } else if (line.dry_run) {
    output.target = "preview";
  } else if (line.format != "xlsx") {
    output.target = line.format;
  } else if (line.live && output.file) {
    output.target = "xlsx";
  }
  output.csv_encoding = ChooseCsvEncoding(line);
}

// The area options fit the input: they read layers, and the field they name must be given. The
// check alone reads the survey's TBMJ unless told otherwise. The refusal's text, or nullopt.
std::optional<std::string> AreaChoiceRefusal(const CLI::App& app, CommandLine& line, bool layer) {
  RunRequest& request = line.request;
  const bool chosen =
      app.count("--area-from") > 0 || line.check_area || !request.input.overlay.empty();
  if (chosen && !layer) return "--area-from、--check-area 和 --overlay 只用于 GIS 图层";
  if (line.check_area && app.count("--area-column") == 0) request.options.TextAreaColumn = "TBMJ";
  if (request.input.area_from == "field" && app.count("--area-column") == 0) {
    return "--area-from field 需要用 --area-column 指定面积字段";
  }
  const bool geometry = request.input.area_from == "ellipsoid" || request.input.area_from == "plane";
  if (geometry && app.count("--area-column") > 0 && !line.check_area &&
      request.input.overlay.empty()) {
    return "--area-from " + request.input.area_from +
           " 按几何图形计算面积, 不读 --area-column 指定的面积字段; 请只用其中一个";
  }
  return std::nullopt;
}

}  // namespace

void DefineOptions(CLI::App& app, CommandLine& line) {
  DefineColumnOptions(app, line.request.options);
  DefineTaskOptions(app, line);
  DefineSourceOptions(app, line);
  DefineOutputOptions(app, line);
  DefineReportOptions(app, line);
  DefineAreaOptions(app, line);
  app.set_version_flag("--version", std::string("quilmark ") + QUILMARK_VERSION,
                       "显示版本号后退出");
}

void CheckParsed(const CLI::App& app, const CommandLine& line) {
  if (!line.live && line.sources.empty()) throw CLI::RequiredError(kSourceName);
  if (line.report_option->count() > 0 && line.live) {
    throw CLI::ExcludesError("--report", "--live");
  }
  // The land-use choices mean nothing without a land-use summary.
  const bool land_use = line.land_use_option->count() > 0 || line.table_option->count() > 0;
  for (const char* name : {"--split-k", "--deduction-column"}) {
    if (app.count(name) > 0 && !land_use) {
      throw CLI::RequiresError(name, "--land-use 或 --classification");
    }
  }
}

std::optional<ExitCode> FinishRequest(const CLI::App& app, CommandLine& line) {
  RunRequest& request = line.request;
  ChooseMethods(line);
  // As the run would stop, with the options that choose one; a check alone needs none.
  if (!AnyTask(request.options) && !line.check_area && !request.options.CheckOnly) {
    std::cerr << MessageText(StopReason::kNoTask) << "\n" << kTaskList << "\n";
    return kExitStopped;
  }
  if (line.live && !LiveOfficeBuiltIn()) {
    std::cerr << "这个 quilmark 编译时没有包含 LibreOffice 实时连接 (--live)。"
                 " 请安装 libreoffice-dev 后以 -DQUILMARK_BUILD_LIVE=ON 重新编译。\n";
    return kExitUsage;
  }
  if (!line.live) request.input.sources = line.sources;
  request.input.office_timeout = std::chrono::seconds(line.office_timeout);
  const bool layer = IsLayerInput(request.input);
  const bool reports = !request.options.ListReports.empty();
  if (reports) UseSurveyFields(app, request.options);
  // A worksheet's columns are numbers: a bad one is a usage error, named before anything is read
  // (the reports read no worksheet; the run says so).
  if (!layer && !reports) {
    if (const auto stop = CheckSheetColumnOptions(request.options)) {
      std::cerr << BadColumnOptionText(*stop, request.options) << "\n";
      return kExitUsage;
    }
  }
  // A layer without an area field sums its geometries' areas.
  if (layer && app.count("--area-column") == 0 && !reports) request.options.TextAreaColumn.clear();
  if (const std::optional<std::string> refusal = AreaChoiceRefusal(app, line, layer)) {
    std::cerr << *refusal << "\n";
    return kExitUsage;
  }
  if (line.check_area) return std::nullopt;  // writes nothing: no target to check
  ChooseOutput(app, line);
  if (const std::optional<std::string> refusal = RequestRefusal(request)) {
    std::cerr << *refusal << "\n";
    return kExitUsage;
  }
  const std::optional<std::filesystem::path> result = ResultFile(request);
  const std::string input = line.live ? std::string() : line.sources.front();
  if (result && !MayReplace(*result, input, line.overwrite)) return kExitStopped;
  return std::nullopt;
}

ExitCode ExitCodeOf(RunResult::Outcome outcome) {
  switch (outcome) {
    case RunResult::Outcome::kCompleted:
      return kExitCompleted;
    case RunResult::Outcome::kStopped:
    case RunResult::Outcome::kCancelled:
      return kExitStopped;
    case RunResult::Outcome::kHostFailure:
      return kExitHostFailure;
  }
  return kExitHostFailure;
}

ExitCode ExitCodeOf(const RunResult& result) {
  // A column that holds nothing to sum is a wrong choice on the command line, as a bad column
  // number is.
  if (result.stop == StopReason::kUselessColumn) return kExitUsage;
  return ExitCodeOf(result.outcome);
}

}  // namespace quilmark
