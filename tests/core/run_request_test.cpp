#include "src/app/run_request.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "src/app/run_target.h"
#include "src/host/memory_host.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

// Where each kind of request puts its tables, and which requests are refused before anything
// opens. The files need not exist: a path is judged by its text.
TEST(RunRequest, WhereTheTablesGo) {
  struct Case {
    std::vector<std::string> sources;
    std::string target;
    std::optional<std::string> file;  // -o
    bool reports;
    std::string want_target;
    std::optional<std::string> want_file;
    bool refused;
  };
  const Case cases[] = {
      {{"d/图斑.xlsx"}, "", std::nullopt, false, "", "d/图斑.xlsx", false},
      {{"d/图斑.xlsx"}, "", "d/副本.xlsx", false, "", "d/副本.xlsx", false},
      {{"d/图斑.xlsx"}, "xlsx", std::nullopt, false, "xlsx", "d/图斑-汇总.xlsx", false},
      {{"d/图斑.xlsx"}, "csv", std::nullopt, false, "csv", std::nullopt, false},
      {{"d/a.gpkg"}, "", std::nullopt, false, "xlsx", "d/a-汇总.xlsx", false},
      {{"d/a.gpkg"}, "", std::nullopt, true, "xlsx", "d/a-统计报表.xlsx", false},
      {{"d/a.gpkg"}, "preview", std::nullopt, false, "preview", std::nullopt, false},
      {{"d/a.gpkg", "d/b.shp", "e/c.gpkg"}, "", std::nullopt, false, "xlsx",
       "d/a等3个图层-汇总.xlsx", false},
      {{"PG:dbname=survey"}, "", std::nullopt, false, "xlsx", std::nullopt, true},
      {{"PG:dbname=survey"}, "", "r.xlsx", false, "xlsx", "r.xlsx", false},
      {{}, "", std::nullopt, false, "", std::nullopt, false},  // the live office
      {{}, "xlsx", "r.xlsx", false, "xlsx", "r.xlsx", false},
      {{"d/a.gpkg", "d/图斑.xlsx"}, "", std::nullopt, false, "xlsx", "d/a等2个图层-汇总.xlsx", true},
      {{"d/a.gpkg", "d/./a.gpkg"}, "", std::nullopt, false, "xlsx", "d/a等2个图层-汇总.xlsx",
       true},
  };
  for (const Case& c : cases) {
    RunRequest request;
    request.input.sources = c.sources;
    request.output.target = c.target;
    if (c.file) request.output.file = *c.file;
    if (c.reports) request.options.ListReports = "all";
    const std::string label = (c.sources.empty() ? "(live)" : c.sources.front()) + " " + c.target;
    EXPECT_EQ(TargetName(request), c.want_target) << label;
    const std::optional<std::filesystem::path> file = ResultFile(request);
    EXPECT_EQ(file ? std::optional(file->string()) : std::nullopt, c.want_file) << label;
    EXPECT_EQ(RequestRefusal(request).has_value(), c.refused) << label;
  }
}

// A result that could not be written stops the run before the source is touched.
TEST(RunRequest, AnUnwritableResultIsRefusedBeforeTheSourceOpens) {
  MemoryHost host;
  host.OpenWorkbook("图斑.xlsx").AddSheet("Sheet1");
  for (const char* file : {"", "/no/such/folder/结果.xlsx", "结果.txt"}) {
    RunRequest request;
    request.options.CheckZQStat = true;
    request.input.host = &host;
    request.output.target = "xlsx";
    request.output.file = file;
    RecordingSink sink;
    EXPECT_EQ(CarryOut(request, sink).outcome, RunResult::Outcome::kHostFailure) << file;
    EXPECT_EQ(host.attach_count(), 0) << file;
  }
}

}  // namespace
}  // namespace quilmark
