// quilmark [options] SOURCE...: one run on a workbook file or on GIS layers, with the choices of
// the window given as options. A workbook's result goes into the same file, or into the one named
// with -o; the tables of one or more layers go into a new workbook.
#include <CLI/CLI.hpp>
#include <iostream>

#include "src/app/area_check_command.h"
#include "src/app/cli_options.h"
#include "src/app/cli_text.h"
#include "src/app/console_sink.h"
#include "src/app/run_request.h"
#include "src/host/postgis/pg_cancel.h"

int main(int argc, char** argv) {
  // Ctrl-C stops what the database servers run for this process before the process ends.
  quilmark::CancelServerStatementsOnSignals();
  CLI::App app{"汇总工作表中的图斑: 按区域和地类统计面积, 结果写在数据下方第十行之后。",
               "quilmark"};
  quilmark::UseChineseText(app);
  quilmark::CommandLine line;
  quilmark::DefineOptions(app, line);
  try {
    app.parse(argc, argv);
    quilmark::CheckParsed(app, line);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? quilmark::kExitCompleted : quilmark::kExitUsage;
  }
  if (const auto refused = quilmark::FinishRequest(app, line)) return *refused;
  if (line.check_area) return quilmark::RunAreaCheck(line.request, std::cout, std::cerr);
  // CSV on standard output carries the result: every message goes to standard error.
  const quilmark::RunOutput& output = line.request.output;
  quilmark::ConsoleSink sink(output.target == "csv" && !output.file);
  return quilmark::ExitCodeOf(quilmark::CarryOut(line.request, sink));
}
