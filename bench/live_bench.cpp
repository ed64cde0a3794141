// Compares a whole run through the live host (a workbook open in a headless office) with the same
// run through the file host, on 10,000 and 100,000 rows. Prints one line per size and task set:
//
//   quilmark_live_bench [rows...]
//
// The office starts on a free loopback port with a fresh profile and is stopped at the end. The
// live figure is the run alone, the document already open, as a user would have it; the file
// figure includes loading and saving the file, which is what that host does in a run.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "src/app/run_request.h"
#include "src/host/live/live_host.h"
#include "src/host/xlsx/xlsx_host.h"
#include "tests/live/office_documents.h"
#include "tests/live/office_process.h"

namespace quilmark {
namespace {

using namespace std::string_literals;

class SilentSink : public MessageSink {
 public:
  void Show(MessageKind, std::string_view text) override { last = text; }
  std::string last;
};

// Rows like an overlay result: zone codes (the conversion has work), 2008 class codes, some with
// K, planning-zone names, areas with decimals.
Rows MakeRows(int count) {
  const char* zones[] = {"101", "102", "103", "110", "119", "121", "123", "130", "003", "石碣镇"};
  const char* classes[] = {"011", "012", "013", "021", "031", "0121K", "032", "041", "201",
                           "202", "203", "204", "205", "111", "112",   "113", "114", "031K"};
  const char* plans[] = {"城镇建设用地区", "一般农地区-一般耕地区", "基本农田保护区", "林业用地区",
                         "工矿用地区",     "农村居民点建设用地区"};
  Rows rows;
  rows.reserve(count);
  for (int i = 0; i < count; ++i) {
    rows.push_back({std::string(zones[(i * 7) % 10]), std::string(classes[(i * 5) % 18]),
                    (i % 997) * 0.25 + 0.5, std::string(plans[(i * 3) % 6])});
  }
  return rows;
}

struct TaskSet {
  const char* name;
  RunOptions options;
};

std::vector<TaskSet> TaskSets() {
  RunOptions zone_totals;
  zone_totals.CheckZQStat = true;
  RunOptions every;
  every.CheckTDLY = every.CheckZQDM2MC = every.OptClassC_2008 = true;
  every.CheckZTGH = every.IsNewGH = true;
  every.CheckZQStat = every.ChkNumArea = true;
  return {{"zone totals", zone_totals}, {"every task + zone names", every}};
}

double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

int Main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::stoi(argv[i]));
  if (sizes.empty()) sizes = {10000, 100000};

  OfficeProcess office;
  std::printf("%8s  %-26s %10s %10s %8s\n", "rows", "tasks", "file s", "live s", "same");
  int serial = 0;
  for (int size : sizes) {
    const std::string fixture =
        office.DocumentFolder() + "/fixture" + std::to_string(size) + ".xlsx";
    CloseAllDocuments(office.control());
    CreateWorkbookFile(office.control(), fixture, MakeRows(size));
    for (const TaskSet& set : TaskSets()) {
      const std::string folder = office.DocumentFolder() + "/" + std::to_string(++serial);
      std::filesystem::create_directories(folder);
      const std::string file_copy = folder + "/file.xlsx";
      const std::string live_copy = folder + "/live.xlsx";
      std::filesystem::copy_file(fixture, file_copy);
      std::filesystem::copy_file(fixture, live_copy);

      XlsxFileHost file_host(file_copy);
      SilentSink file_sink;
      auto start = std::chrono::steady_clock::now();
      const RunResult file_result = CarryOut({set.options, {.host = &file_host}, {}}, file_sink);
      const double file_seconds = Seconds(std::chrono::steady_clock::now() - start);

      CloseAllDocuments(office.control());
      const auto document = OpenWorkbook(office.control(), live_copy);
      auto live_host = MakeLiveHost({.connect = office.connect()});
      SilentSink live_sink;
      start = std::chrono::steady_clock::now();
      const RunResult live_result = CarryOut({set.options, {.host = live_host.get()}, {}}, live_sink);
      const double live_seconds = Seconds(std::chrono::steady_clock::now() - start);

      // The two results as the office reads them.
      const Cells live_cells = SheetCells(document);
      CloseAllDocuments(office.control());
      const Cells file_cells = SheetCells(OpenWorkbook(office.control(), file_copy));
      const bool same = file_result.outcome == RunResult::Outcome::kCompleted &&
                        live_result.outcome == RunResult::Outcome::kCompleted &&
                        live_cells == file_cells;
      std::printf("%8d  %-26s %10.2f %10.2f %8s\n", size, set.name, file_seconds, live_seconds,
                  same ? "yes" : "NO");
      if (live_result.outcome != RunResult::Outcome::kCompleted) {
        std::printf("  live: %s\n", live_result.message.c_str());
      }
      if (file_result.outcome != RunResult::Outcome::kCompleted) {
        std::printf("  file: %s\n", file_result.message.c_str());
      }
      std::fflush(stdout);
    }
  }
  return 0;
}

}  // namespace
}  // namespace quilmark

int main(int argc, char** argv) { return quilmark::Main(argc, argv); }
