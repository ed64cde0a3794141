// Load-to-save time and peak memory of a land-use plus cross-tab run on generated workbooks,
// next to the floors for the same sheet, measured in the same run: inflating its XML, inflating
// it and deflating it again at level 1 with zlib, and the same with ISA-L's command-line tool
// (`igzip -d | igzip -1`, two processes, so both cores).
//
//   quilmark_bench [--rows=10000,100000,1000000] [benchmark flags]
//   quilmark_bench --generate ROWS FOLDER      writes the workbook only
//   quilmark_bench --job WORKBOOK OUTPUT [--convert]   runs the job once
//
// It prints each measurement's median, then a summary: the job's time as a multiple of the
// zlib inflate+deflate floor and of the igzip pipeline, the cost per row, the peak memory of the job (measured in a child
// process) against the size of the sheet XML, and the converting run's time and peak memory.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "src/app/run_driver.h"
#include "src/host/xlsx/xlsx_host.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace {

namespace fs = std::filesystem;

// Eighteen zone codes that the zone-code conversion knows, so that a converting run rewrites a
// cell in every row.
const char* const kZones[] = {"001", "003", "004", "005", "101", "102", "103", "104", "105",
                              "106", "107", "108", "109", "110", "111", "112", "113", "114"};
const char* const kClasses[] = {"011", "012", "013", "021", "021K", "023", "031",  "032",
                                "033", "041", "043", "111", "114",  "117", "121K", "122",
                                "201", "202", "203", "204", "205",  "311", "317",  "122K"};

struct Workbook {
  fs::path path;
  uint64_t xml_bytes = 0;
};

// A sheet of zone code, class code and area per row, with shared strings, as spreadsheet
// programs write it.
Workbook Generate(int rows, const fs::path& folder) {
  constexpr int kZoneCount = sizeof kZones / sizeof *kZones;
  constexpr int kClassCount = sizeof kClasses / sizeof *kClasses;
  std::string strings;  // the inside of the shared strings part
  for (const char* zone : kZones) strings += std::string("<si><t>") + zone + "</t></si>";
  for (const char* cls : kClasses) strings += std::string("<si><t>") + cls + "</t></si>";

  std::string sheet;
  sheet.reserve(static_cast<size_t>(rows) * 140 + 1024);
  sheet += R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
           R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)";
  sheet += "<dimension ref=\"A1:C" + std::to_string(rows) + "\"/>";
  sheet += R"(<sheetViews><sheetView tabSelected="1" workbookViewId="0"/></sheetViews>)"
           R"(<sheetFormatPr defaultRowHeight="15"/><sheetData>)";
  std::mt19937 random(42);
  char buffer[256];
  for (int row = 1; row <= rows; ++row) {
    const int zone = static_cast<int>(random() % kZoneCount);
    const int cls = static_cast<int>(random() % kClassCount);
    const double area = static_cast<double>(random() % 100000000) / 1000.0;
    const int n = std::snprintf(buffer, sizeof buffer,
                                "<row r=\"%d\" spans=\"1:3\"><c r=\"A%d\" t=\"s\"><v>%d</v></c>"
                                "<c r=\"B%d\" t=\"s\"><v>%d</v></c><c r=\"C%d\"><v>%.17g</v></c>"
                                "</row>",
                                row, row, zone, row, kZoneCount + cls, row, area);
    sheet.append(buffer, static_cast<size_t>(n));
  }
  sheet += R"(</sheetData><pageMargins left="0.7" right="0.7" top="0.75" bottom="0.75" )"
           R"(header="0.3" footer="0.3"/></worksheet>)";

  Workbook workbook;
  workbook.path = folder / ("sheet-" + std::to_string(rows) + ".xlsx");
  workbook.xml_bytes = sheet.size();
  quilmark::testing::WriteZip(workbook.path, quilmark::testing::OneSheetWorkbook(sheet, strings));
  return workbook;
}

// Inflates the sheet XML; with `deflate`, compresses it again at level 1 as it comes.
uint64_t InflateSheet(const fs::path& path, bool deflate) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  zip_file_t* file = zip_fopen(archive, "xl/worksheets/sheet1.xml", 0);
  std::vector<char> in(1 << 18), out(1 << 18);
  z_stream stream{};
  if (deflate) deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  uint64_t total = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(file, in.data(), in.size());
    if (n <= 0) break;
    total += static_cast<uint64_t>(n);
    if (!deflate) continue;
    stream.next_in = reinterpret_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(n);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(out.data());
      stream.avail_out = static_cast<uInt>(out.size());
      ::deflate(&stream, Z_NO_FLUSH);
    } while (stream.avail_out == 0);
    total += crc32(0, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(n)) & 1;
  }
  if (deflate) {
    int status;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(out.data());
      stream.avail_out = static_cast<uInt>(out.size());
      status = ::deflate(&stream, Z_FINISH);
    } while (status == Z_OK);
    deflateEnd(&stream);
  }
  zip_fclose(file);
  zip_discard(archive);
  return total;
}

// The sheet's stored deflate data wrapped as a gzip file, for the igzip pipeline.
fs::path WriteSheetGzip(const fs::path& workbook, const fs::path& gzip) {
  int error = 0;
  zip_t* archive = zip_open(workbook.c_str(), ZIP_RDONLY, &error);
  zip_stat_t st;
  zip_stat(archive, "xl/worksheets/sheet1.xml", 0, &st);
  zip_file_t* file = zip_fopen(archive, "xl/worksheets/sheet1.xml", ZIP_FL_COMPRESSED);
  std::FILE* out = std::fopen(gzip.c_str(), "wb");
  const unsigned char header[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};
  std::fwrite(header, 1, sizeof header, out);
  std::vector<char> buffer(1 << 18);
  for (zip_int64_t n; (n = zip_fread(file, buffer.data(), buffer.size())) > 0;) {
    std::fwrite(buffer.data(), 1, static_cast<size_t>(n), out);
  }
  const uint32_t trailer[2] = {st.crc, static_cast<uint32_t>(st.size)};  // little-endian host
  std::fwrite(trailer, 1, sizeof trailer, out);
  std::fclose(out);
  zip_fclose(file);
  zip_discard(archive);
  return gzip;
}

// Inflates the gzip file and compresses the text again at level 1, in a pipe of two processes.
bool IgzipPipeline(const fs::path& gzip) {
  const std::string command = "igzip -d -c '" + gzip.string() + "' | igzip -1 -c > /dev/null";
  return std::system(command.c_str()) == 0;
}

class NullSink : public quilmark::MessageSink {
 public:
  void Show(quilmark::MessageKind, std::string_view) override {}
  // With QUILMARK_BENCH_PHASES set, each stage's start is printed with the time since the first.
  void Progress(std::string_view stage) override {
    if (std::getenv("QUILMARK_BENCH_PHASES") == nullptr) return;
    const auto now = std::chrono::steady_clock::now();
    if (!started_) started_ = now;
    std::fprintf(stderr, "%8.3f s  %.*s\n", std::chrono::duration<double>(now - *started_).count(),
                 static_cast<int>(stage.size()), stage.data());
  }

 private:
  std::optional<std::chrono::steady_clock::time_point> started_;
};

// The job: land-use summary by third-level class plus the cross-tab, load to save; with
// `convert`, the zone codes of every row are rewritten as names first (a write in every row).
bool RunJob(const fs::path& input, const fs::path& output, bool convert = false) {
  quilmark::RunOptions options;
  options.CheckTDLY = true;
  options.CheckZQDM2MC = convert;
  options.OptClassC_2008 = true;
  options.ChkNumArea = true;
  quilmark::XlsxHostOptions host_options{"", output};
  host_options.stream_rows_from = quilmark::kStreamRowsFrom;  // as the programs load a workbook
  quilmark::XlsxFileHost host(input, host_options);
  NullSink sink;
  // The sheet run itself rather than CarryOut: the input kinds would link the GIS sources, and
  // loading GDAL's libraries (some 25 MB and 50 ms) would count in every job's figures.
  const quilmark::RunResult result = quilmark::RunOnSheet({options, {}, {}}, host, sink);
  sink.Progress("(the run returned)");
  return result.outcome == quilmark::RunResult::Outcome::kCompleted;
}

// The peak resident memory of this process since it started its program, in bytes. Unlike the
// child's rusage, it leaves out the pages of the parent that the child held before its exec.
uint64_t OwnPeakMemory() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  uint64_t kilobytes = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %lu kB", &kilobytes) == 1) break;
  }
  std::fclose(status);
  return kilobytes * 1024;
}

// Peak resident memory of the job in a child process, in bytes; the child reports it through
// a pipe.
uint64_t PeakMemoryOfJob(const fs::path& input, const fs::path& output, bool convert) {
  int fds[2];
  if (pipe(fds) != 0) return 0;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const std::string fd = "--peak-fd=" + std::to_string(fds[1]);
    execl("/proc/self/exe", "quilmark_bench", "--job", input.c_str(), output.c_str(), fd.c_str(),
          convert ? "--convert" : nullptr, nullptr);
    _exit(127);
  }
  close(fds[1]);
  uint64_t peak = 0;
  if (read(fds[0], &peak, sizeof peak) != sizeof peak) peak = 0;
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
  return peak;
}

// Keeps the median of each benchmark's repetitions.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") {
        medians[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;  // in the time unit of the benchmark (seconds)
};

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--job") == 0) {
    bool convert = false;
    int peak_fd = -1;
    for (int i = 4; i < argc; ++i) {
      if (std::strcmp(argv[i], "--convert") == 0) convert = true;
      if (std::strncmp(argv[i], "--peak-fd=", 10) == 0) peak_fd = std::atoi(argv[i] + 10);
    }
    const bool completed = RunJob(argv[2], argv[3], convert);
    if (peak_fd >= 0) {
      const uint64_t peak = OwnPeakMemory();
      if (write(peak_fd, &peak, sizeof peak) != sizeof peak) return 1;
    }
    return completed ? 0 : 1;
  }
  // --generate ROWS FOLDER: only writes the workbook, for profiling the job by hand.
  if (argc == 4 && std::strcmp(argv[1], "--generate") == 0) {
    std::puts(Generate(std::atoi(argv[2]), argv[3]).path.c_str());
    return 0;
  }

  std::vector<int> sizes = {10000, 100000, 1000000};
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0) {
      sizes.clear();
      for (const char* p = argv[i] + 7; *p;) {
        sizes.push_back(std::atoi(p));
        while (*p && *p != ',') ++p;
        if (*p == ',') ++p;
      }
    } else {
      rest.push_back(argv[i]);
    }
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());

  const fs::path folder =
      fs::temp_directory_path() / ("quilmark-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  std::map<int, Workbook> workbooks;
  for (const int rows : sizes) {
    workbooks[rows] = Generate(rows, folder);
    const Workbook& workbook = workbooks[rows];
    const fs::path output = folder / ("out-" + std::to_string(rows) + ".xlsx");
    const int repetitions = rows >= 1000000 ? 5 : 7;
    // Every measurement runs once per repetition and reports its median in seconds.
    const auto measure = [&](const char* name, auto body) {
      benchmark::RegisterBenchmark(name, [body](benchmark::State& state) {
        for (auto _ : state) body(state);
      })
          ->Arg(rows)
          ->Unit(benchmark::kSecond)
          ->Iterations(1)
          ->Repetitions(repetitions)
          ->ReportAggregatesOnly(true)
          ->UseRealTime();
    };
    const fs::path path = workbook.path;
    measure("Inflate", [path](benchmark::State&) {
      benchmark::DoNotOptimize(InflateSheet(path, false));
    });
    measure("InflateDeflate1", [path](benchmark::State&) {
      benchmark::DoNotOptimize(InflateSheet(path, true));
    });
    const fs::path gzip = WriteSheetGzip(path, folder / ("sheet-" + std::to_string(rows) + ".gz"));
    measure("IgzipPipeline", [gzip](benchmark::State& state) {
      if (!IgzipPipeline(gzip)) state.SkipWithError("igzip failed (is the isal package installed?)");
    });
    measure("LandUseCrossTab", [path, output](benchmark::State& state) {
      if (!RunJob(path, output)) state.SkipWithError("the run did not complete");
    });
    measure("LandUseCrossTabConvert", [path, output](benchmark::State& state) {
      if (!RunJob(path, output, true)) state.SkipWithError("the run did not complete");
    });
  }
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%10s %10s %9s %9s %9s %9s %7s %7s %9s %10s %8s %9s %8s %10s\n", "rows",
              "xml MB", "inflate", "infl+defl", "igzip", "job", "ratio", "/igzip", "us/row",
              "peak MB", "peak/xml", "convert", "conv/job", "conv peak");
  for (const int rows : sizes) {
    const Workbook& workbook = workbooks[rows];
    const std::string arg = std::to_string(rows);
    const double inflate = reporter.medians["Inflate/" + arg];
    const double floor = reporter.medians["InflateDeflate1/" + arg];
    const double igzip = reporter.medians["IgzipPipeline/" + arg];
    const double job = reporter.medians["LandUseCrossTab/" + arg];
    const double convert = reporter.medians["LandUseCrossTabConvert/" + arg];
    // The median of three runs in a child process, in MB.
    const auto peak_mb = [&](bool converting) {
      std::vector<uint64_t> peaks;
      for (int i = 0; i < 3; ++i) {
        peaks.push_back(
            PeakMemoryOfJob(workbook.path, folder / ("peak-" + arg + ".xlsx"), converting));
      }
      std::sort(peaks.begin(), peaks.end());
      return static_cast<double>(peaks[1]) / (1 << 20);
    };
    const double peak = peak_mb(false);
    const double xml_mb = static_cast<double>(workbook.xml_bytes) / (1 << 20);
    std::printf(
        "%10d %10.1f %8.3fs %8.3fs %8.3fs %8.3fs %6.2fx %6.2fx %9.3f %10.1f %7.2fx %8.3fs %7.2fx "
        "%10.1f\n",
        rows, xml_mb, inflate, floor, igzip, job, floor > 0 ? job / floor : 0,
        igzip > 0 ? job / igzip : 0, job * 1e6 / rows, peak, peak / xml_mb, convert,
        job > 0 ? convert / job : 0, peak_mb(true));
  }
  fs::remove_all(folder);
  return 0;
}
