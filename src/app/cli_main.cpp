// quilmark [options] SOURCE...: one run on a workbook file or on GIS layers, with the choices of
// the window given as options. A workbook's result goes into the same file, or into the one named
// with -o; the tables of one or more layers go into a new workbook.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "src/app/cli_text.h"
#include "src/app/land_use_choice.h"
#include "src/app/layer_input.h"
#include "src/app/messages.h"
#include "src/app/plan_choice.h"
#include "src/app/progress_text.h"
#include "src/app/run_driver.h"
#include "src/app/run_input.h"
#include "src/app/run_options.h"
#include "src/host/gdal/layer_path.h"
#include "src/host/xlsx/file_guard.h"
#include "src/output/new_workbook.h"
#include "src/output/output_targets.h"
#include "src/report/report_kinds.h"
#include "src/summary/area_format.h"
#include "src/summary/csv_target.h"

namespace {

using quilmark::MessageKind;
using quilmark::RunOptions;

enum ExitCode {
  kExitCompleted = 0,
  kExitStopped = 1,  // one of the run's messages stopped it
  kExitUsage = 2,
  kExitHostFailure = 3,  // the workbook could not be read or written
};

// The names of a method table's rows on the command line (the master-plan ones listed by name, as
// they always were), and the help's list of them with each one's caption in the window.
template <typename Entries>
std::vector<std::string> MethodNames(Entries entries, bool sorted = false) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.emplace_back(entry.cli_name);
  if (sorted) std::sort(names.begin(), names.end());
  return names;
}

template <typename Entries>
std::string Described(const std::string& lead, Entries entries) {
  std::vector<std::pair<std::string, std::string>> listed;
  for (const auto& entry : entries) {
    listed.emplace_back(std::string(entry.cli_name), std::string(entry.control));
  }
  return quilmark::MethodsDescription(lead, std::move(listed));
}

// Prints the run's messages: confirmation and completion on standard output, the rest on
// standard error. A run that has taken over a second shows its stage on a terminal's standard
// error, on one line that the next message replaces.
class ConsoleSink : public quilmark::MessageSink {
 public:
  // preview: a run that writes nothing, whose completion says so. all_to_stderr: standard output
  // carries the result itself (CSV), so every message goes to standard error.
  explicit ConsoleSink(bool preview = false, bool all_to_stderr = false)
      : preview_(preview),
        all_to_stderr_(all_to_stderr),
        show_progress_(::isatty(STDERR_FILENO) == 1) {
    if (show_progress_) ticker_ = std::thread([this] { Tick(); });
  }
  ~ConsoleSink() override {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
      ClearLine();
    }
    wake_.notify_all();
    if (ticker_.joinable()) ticker_.join();
  }

  void Show(MessageKind kind, std::string_view text) override {
    std::lock_guard lock(mutex_);
    ClearLine();
    if (kind == MessageKind::kCompletion && preview_) text = kPreviewDone;
    if (kind == MessageKind::kCompletion && all_to_stderr_) text = kCsvDone;
    const bool to_stdout =
        !all_to_stderr_ && (kind == MessageKind::kConfirmation || kind == MessageKind::kCompletion);
    std::ostream& out = to_stdout ? std::cout : std::cerr;
    // On a terminal the confirmation's lone carriage return would send its second line over
    // the first: show it as a line break there; a pipe or file gets the text as it is.
    const bool terminal = ::isatty(&out == &std::cout ? STDOUT_FILENO : STDERR_FILENO) == 1;
    for (char c : text) {
      if (c == '\r' && terminal) {
        out << "\r\n";
      } else {
        out << c;
      }
    }
    out << std::endl;
  }

  void Progress(std::string_view stage) override {
    std::lock_guard lock(mutex_);
    stage_ = stage;
  }

  void RowsRead(int64_t done, int64_t total) override {
    std::lock_guard lock(mutex_);
    done_rows_ = done;
    total_rows_ = total;
  }

 private:
  void Tick() {
    std::unique_lock lock(mutex_);
    while (!done_) {
      wake_.wait_for(lock, std::chrono::milliseconds(250));
      if (done_) break;
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
      if (seconds < 1.0 || stage_.empty()) continue;
      std::cerr << "\r\033[K" << quilmark::ProgressText(stage_, done_rows_, total_rows_, seconds)
                << std::flush;
      line_shown_ = true;
    }
  }

  // Called with the mutex held.
  void ClearLine() {
    if (line_shown_) std::cerr << "\r\033[K" << std::flush;
    line_shown_ = false;
  }

  static constexpr std::string_view kPreviewDone =
      "预览完毕: 以上是将写入的汇总结果, 没有写入任何文件。";
  static constexpr std::string_view kCsvDone = "统计完毕, 汇总结果已以 CSV 写到标准输出。";
  const bool preview_;
  const bool all_to_stderr_;
  const bool show_progress_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string stage_;
  int64_t done_rows_ = 0;   // rows read so far
  int64_t total_rows_ = 0;  // of the source's rows (0: not known)
  bool line_shown_ = false;
  bool done_ = false;
  std::thread ticker_;
};

// Refuses, before anything is read, a result that must not be written: an empty -o whatever the
// input, and a new workbook under a name or in a place the file host would refuse. A workbook
// file's own target is checked by its host when it loads the file.
bool ResultMayBeWritten(const std::optional<std::filesystem::path>& output,
                        const std::optional<std::filesystem::path>& new_workbook) {
  try {
    if (output) quilmark::xlsx::CheckOutputGiven(*output);
    if (new_workbook) quilmark::xlsx::CheckNewWorkbookTarget(*new_workbook);
  } catch (const quilmark::HostError& error) {
    std::cerr << error.what() << "\n";
    return false;
  }
  return true;
}

// Whether a run may write `result`, a file other than its input: where one is there already and
// the user sits at a terminal, only with --overwrite; scripts (standard input not a terminal)
// replace it as they always have.
bool MayReplace(const std::filesystem::path& result, const std::string& input, bool overwrite) {
  std::error_code error;
  if (overwrite || ::isatty(STDIN_FILENO) != 1 || !std::filesystem::exists(result, error)) {
    return true;
  }
  if (std::filesystem::equivalent(result, input, error)) return true;  // -o naming the input
  std::cerr << "结果文件已存在: " << result.string()
            << "\n要替换它请加 --overwrite (或 -y); 要保留它请用 -o 指定别的文件名。\n";
  return false;
}

// Several sources are summed as one layer; a workbook's tables go below its own data, so several
// workbooks, or workbooks with layers, are not summed together. A source named twice would count
// its patches twice.
std::optional<std::string> SeveralSourcesRefusal(const std::vector<std::string>& sources) {
  if (sources.size() < 2) return std::nullopt;
  std::set<std::string> seen;
  for (const std::string& source : sources) {
    if (!quilmark::IsLayerPath(source)) {
      return "多个数据源只能都是 GIS 图层 (.shp、.gpkg、.gdb、PG:... 等), 而 " + source +
             " 不是; 工作簿的汇总写在它自己的数据下方, 请每个工作簿单独汇总。";
    }
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(source, error);
    if (!seen.insert(error ? source : path.string()).second) {
      return "数据源 " + quilmark::HidePassword(source) +
             " 给了两次, 其图斑会被重复统计; 请每个数据源只给一次。";
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"汇总工作表中的图斑: 按区域和地类统计面积, 结果写在数据下方第十行之后。",
               "quilmark"};
  quilmark::UseChineseText(app);
  RunOptions options;
  std::string land_use, master_plan;
  std::vector<std::string> sources;
  quilmark::RunInput input;

  app.add_option("--zone-column", options.TextZQColumn,
                 "区域名称 (如镇区名称、图斑号) 所在列号; GIS 图层: 字段名或序号")
      ->type_name("列号")
      ->capture_default_str();
  app.add_option("--class-column", options.TextDKStyleColumn,
                 "地块类别 (如地类、规划用途) 所在列号; GIS 图层: 字段名或序号")
      ->type_name("列号")
      ->capture_default_str();
  app.add_option("--area-column", options.TextAreaColumn,
                 "地块面积所在列号; GIS 图层: 字段名或序号, 省略时按几何图形计算")
      ->type_name("列号")
      ->capture_default_str();
  CLI::Option* land_use_option =
      app.add_option(
             "--land-use", land_use,
             Described("土地利用情况分区域汇总, 按以下方式之一归类:", quilmark::LandUseMethods()))
          ->type_name("方式")
          ->check(quilmark::OneOf(MethodNames(quilmark::LandUseMethods())));
  app.add_flag("--convert-zone-codes", options.CheckZQDM2MC,
               "与 --land-use 同用: 汇总前把表中的镇区代码改写为镇区名称 (101 → 石碣镇)")
      ->needs(land_use_option);
  CLI::Option* table_option =
      app.add_option("--classification", options.TextClassTable,
                     "土地利用情况汇总, 按此文件中的 编码<TAB>类别 表归类 (UTF-8 或 GBK)")
          ->type_name("文件")
          ->excludes(land_use_option);
  CLI::Option* split_k_option =
      app.add_flag("--split-k", options.CheckSplitK, "带K (可调整) 图斑另列为 带K+地类");
  CLI::Option* deduction_option =
      app.add_option("--deduction-column", options.TextKCXSColumn,
                     "田坎系数 (KCXS) 所在的列号, 按系数扣除田坎; GIS 图层: 字段名或序号")
          ->type_name("列号");
  app.add_option("--unit", options.ListUnit, "面积单位: m2 (平方米), ha (公顷), mu (亩)")
      ->check(CLI::IsMember({"m2", "ha", "mu"}));
  app.add_option("--decimals", options.TextDecimals, "保留的小数位数 (0-6), 并平差使合计相符")
      ->check(CLI::IsMember({"0", "1", "2", "3", "4", "5", "6"}));
  app.add_flag("--totals", options.CheckTotals,
               "每个汇总表加 合计 列和 合计 行 (宗数和面积统计只加 合计 行)");
  app.add_option(
         "--master-plan", master_plan,
         Described("总体规划情况分区域汇总, 按以下方式之一归类:", quilmark::PlanningMethods()))
      ->type_name("方式")
      ->check(quilmark::OneOf(MethodNames(quilmark::PlanningMethods(), true)));
  app.add_flag("--zone-totals", options.CheckZQStat, "按区域统计总面积, 不细分用地类别");
  app.add_flag("--cross-tab", options.ChkNumArea, "统计每个区域内每一种类别地块的宗数和面积");
  app.add_option("--sheet", input.sheet, "使用此工作表, 而不是工作簿打开时显示的工作表")
      ->type_name("工作表");
  std::string output;
  app.add_option(
         "-o,--output", output,
         "结果写入此文件, 原工作簿保持不变; 与 --live 同用: 汇总表写入这个新的 .xlsx 工作簿, "
         "每项汇总一张工作表")
      ->type_name("文件");
  std::string format = "xlsx";
  app.add_option("--format", format,
                 "结果格式: xlsx (写入工作簿), 或 csv (各汇总表以 CSV 写到标准输出, 不写任何文件)")
      ->type_name("格式")
      ->check(CLI::IsMember({"xlsx", "csv"}));
  bool overwrite = false;
  app.add_flag("-y,--overwrite", overwrite,
               "结果文件 (-o 指定的文件, 或图层旁边的 …-汇总.xlsx) 已存在时直接替换它; "
               "不加此项时, 在终端上运行会拒绝替换");
  bool dry_run = false;
  app.add_flag("--dry-run", dry_run,
               "只预览: 照常统计, 把各汇总表按将写入的样子列在终端上, 不写入任何文件");
  CLI::Option* workbook_option = app.add_option(
      "SOURCE", sources,
      "要汇总的 .xlsx 工作簿文件 (结果默认写回此文件), 或 GIS 图层 (.shp、.gpkg、.gdb、PG:...; "
      "结果写入旁边新的工作簿); 可以给多个 GIS 图层, 合为一个图层汇总");
  bool live = false;
  int office_timeout = static_cast<int>(quilmark::kDefaultOfficeTimeout.count());
  CLI::Option* live_option =
      app.add_flag("--live", live,
                   "汇总正在运行的 LibreOffice Calc 中打开的工作簿 (结果不保存, 请在 Calc 中查看)");
  app.add_option("--office-port", input.office_port, "与 --live 同用: LibreOffice 在本机监听的端口")
      ->capture_default_str()
      ->check(quilmark::WholeNumberFrom(1, 65535))
      ->needs(live_option);
  app.add_option("--office-timeout", office_timeout,
                 "与 --live 同用: 等待 LibreOffice 响应的秒数 (连接时, 以及统计中的每一步)")
      ->capture_default_str()
      ->check(quilmark::WholeNumberFrom(1, 3600))
      ->needs(live_option);
  live_option->excludes(workbook_option);
  app.get_option("--sheet")->excludes(live_option);
  app.add_option("--layer", input.layer, "GIS 数据源中要汇总的图层 (只有一个图层时可省略)")
      ->type_name("图层");
  app.add_option("--where", input.where, "GIS 图层的属性筛选条件, 例如 \"DLBM LIKE '01%'\"")
      ->type_name("条件");
  app.add_option("--zone-prefix", options.ZonePrefix, "区域只取代码的前 N 个字符")
      ->check(CLI::Range(1, 1000));
  app.add_option("--zone-names", options.ZoneNamesFile, "区域代码与名称对照表 (两列 CSV/TSV)")
      ->type_name("文件");
  CLI::Option* report_option =
      app.add_option(
             "--report", options.ListReports,
             "三调统计报表, 逗号分隔: level1 (一级分类), level2 (二级分类), major (三大类), "
             "ownership (按权属性质), urban (城镇村及工矿用地), slope (耕地坡度分级), 或 all; "
             "从 GIS 地类图斑层生成, 写入新的工作簿 (默认: 图层名-统计报表.xlsx)")
          ->type_name("表名")
          ->check(CLI::Validator(
              [](std::string& names) -> std::string {
                if (quilmark::ParseReportList(names)) return {};
                return "应为 level1、level2、major、ownership、urban、slope 中的一个或几个 "
                       "(逗号分隔), 或 all";
              },
              "表名"));
  app.add_option("--level", options.ListReportLevel,
                 "与 --report 同用: 统计到哪一级行政区: county (县), township (乡镇, 默认), "
                 "village (村, 每个乡镇加小计)")
      ->type_name("级别")
      ->check(CLI::IsMember({"county", "township", "village"}))
      ->needs(report_option);
  const std::pair<const char*, std::pair<std::string*, const char*>> report_fields[] = {
      {"--ownership-column", {&options.TextQSXZColumn, "权属性质 (默认 QSXZ)"}},
      {"--urban-column", {&options.TextCZCSXMColumn, "城镇村属性码 (默认 CZCSXM)"}},
      {"--slope-column", {&options.TextPDJBColumn, "坡度级别 (默认 PDJB)"}},
      {"--terrace-column", {&options.TextGDLXColumn, "耕地类型 梯田/坡地 (默认 GDLX)"}},
  };
  for (const auto& [name, field] : report_fields) {
    app.add_option(name, *field.first,
                   std::string("与 --report 同用: ") + field.second + " 的字段名")
        ->type_name("字段")
        ->needs(report_option);
  }
  for (CLI::Option* task : {land_use_option, table_option}) report_option->excludes(task);
  // The reports are the survey's own tables, in 公顷 with two decimals and their own totals.
  for (const char* other : {"--master-plan", "--zone-totals", "--cross-tab", "--zone-prefix",
                            "--unit", "--decimals", "--totals"}) {
    report_option->excludes(app.get_option(other));
  }
  app.set_version_flag("--version", std::string("quilmark ") + QUILMARK_VERSION,
                       "显示版本号后退出");

  try {
    app.parse(argc, argv);
    if (!live && sources.empty()) throw CLI::RequiredError("SOURCE");
    if (report_option->count() > 0 && live) throw CLI::ExcludesError("--report", "--live");
    // The land-use choices mean nothing without a land-use summary.
    const bool land_use_chosen = land_use_option->count() > 0 || table_option->count() > 0;
    for (const CLI::Option* option : {split_k_option, deduction_option}) {
      if (option->count() > 0 && !land_use_chosen) {
        throw CLI::RequiresError(option->get_name(), "--land-use 或 --classification");
      }
    }
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitCompleted : kExitUsage;
  }

  if (!options.TextClassTable.empty()) options.CheckTDLY = true;
  if (!land_use.empty()) {
    options.CheckTDLY = true;
    quilmark::ChooseLandUseMethod(options, quilmark::FindMethodByCliName(land_use)->method);
  }
  if (!master_plan.empty()) {
    options.CheckZTGH = true;
    quilmark::ChoosePlanningMethod(options,
                                   quilmark::FindPlanningMethodByCliName(master_plan)->method);
  }

  if (live && !quilmark::LiveOfficeBuiltIn()) {
    std::cerr << "这个 quilmark 编译时没有包含 LibreOffice 实时连接 (--live)。"
                 " 请安装 libreoffice-dev 后以 -DQUILMARK_BUILD_LIVE=ON 重新编译。\n";
    return kExitUsage;
  }
  if (!live) input.workbook = sources.front();
  if (const std::optional<std::string> refusal = SeveralSourcesRefusal(sources)) {
    std::cerr << *refusal << "\n";
    return kExitUsage;
  }
  // An -o given empty is refused, not taken for no -o.
  if (app.count("--output") > 0) input.output = output;
  input.office_timeout = std::chrono::seconds(office_timeout);
  const bool layer = IsLayerInput(input);
  quilmark::LayerInput layer_input;
  if (layer) {
    layer_input = {sources.front(), input.layer, input.where, {sources.begin() + 1, sources.end()}};
  }
  const bool reports = !options.ListReports.empty();
  // The survey reports read a standard survey layer's fields unless told otherwise.
  if (reports) {
    const std::pair<const char*, std::string RunOptions::*> standard[] = {
        {"--zone-column", &RunOptions::TextZQColumn},
        {"--class-column", &RunOptions::TextDKStyleColumn},
        {"--area-column", &RunOptions::TextAreaColumn}};
    const char* names[] = {"ZLDWDM", "DLBM", "TBMJ"};
    for (size_t i = 0; i < std::size(standard); ++i) {
      if (app.count(standard[i].first) == 0) options.*standard[i].second = names[i];
    }
  }
  // A worksheet's columns are numbers: a bad one is a usage error, named before anything is read
  // (the reports read no worksheet; the run says so).
  if (!layer && !reports) {
    if (const auto stop = quilmark::CheckSheetColumnOptions(options)) {
      std::cerr << quilmark::BadColumnOptionText(*stop, options) << "\n";
      return kExitUsage;
    }
  }
  const bool csv = format == "csv";
  // A preview or CSV only reads the workbook: it is not checked for writing, and -o is not used.
  input.read_only = csv || dry_run;
  // A layer without an area field sums its geometries' areas.
  if (layer && app.count("--area-column") == 0 && !reports) options.TextAreaColumn.clear();
  // From the live office with -o, or from a layer, the tables go to a new workbook.
  std::optional<std::filesystem::path> new_workbook;
  if (!input.read_only && ((live && input.output) || layer)) {
    new_workbook = input.output ? input.output : quilmark::LayerResultPath(layer_input, reports);
    if (!new_workbook) {
      std::cerr << "数据库连接没有默认的结果文件名, 请用 -o 指定结果工作簿。\n";
      return kExitUsage;
    }
  }
  if (!ResultMayBeWritten(input.output, new_workbook)) return kExitHostFailure;
  if (!input.read_only) {
    const std::optional<std::filesystem::path>& result = new_workbook ? new_workbook : input.output;
    if (result && !MayReplace(*result, live ? std::string() : sources.front(), overwrite))
      return kExitUsage;
  }
  std::unique_ptr<quilmark::SpreadsheetHost> host = layer ? nullptr : quilmark::OpenInput(input);
  // The tables go below the data, unless previewed or sent from the live office to a new file.
  std::unique_ptr<quilmark::ResultTarget> target;
  if (csv && !dry_run) {
    target = std::make_unique<quilmark::CsvTarget>(std::cout);
  } else if (dry_run) {
    target = std::make_unique<quilmark::PreviewTarget>(std::cout, [&]() -> std::optional<int64_t> {
      if (host == nullptr) return std::nullopt;
      quilmark::Workbook* book = host->ActiveWorkbook();
      quilmark::Worksheet* sheet = book != nullptr ? book->ActiveSheet() : nullptr;
      if (sheet == nullptr) return std::nullopt;
      return sheet->LastUsedRow();
    });
  } else if (live && new_workbook) {
    target = std::make_unique<quilmark::NewWorkbookTarget>(
        *new_workbook, quilmark::DecimalsFromText(options.TextDecimals));
  }
  quilmark::RunResult result;
  {
    ConsoleSink sink(dry_run, csv && !dry_run);
    if (layer && new_workbook) {
      result = quilmark::RunLayerToWorkbook(options, layer_input, *new_workbook, sink);
    } else if (layer) {
      result = quilmark::RunLayerSummary(options, layer_input, *target, sink);
    } else {
      result = quilmark::RunSummary(options, *host, sink, target.get());
    }
  }
  switch (result.outcome) {
    case quilmark::RunResult::Outcome::kCompleted:
      return kExitCompleted;
    case quilmark::RunResult::Outcome::kStopped:
    case quilmark::RunResult::Outcome::kCancelled:
      return kExitStopped;
    case quilmark::RunResult::Outcome::kHostFailure:
      return kExitHostFailure;
  }
  return kExitHostFailure;
}
