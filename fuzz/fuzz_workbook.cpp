#include "fuzz/fuzz_workbook.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/xlsx/round_trip.h"

namespace quilmark::fuzz {

const std::filesystem::path& WorkFolder() {
  static const std::filesystem::path folder = [] {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/quilmark-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(WorkFolder()); });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) std::abort();
}

void RunOnWorkbook(const std::filesystem::path& input) {
  const std::filesystem::path output = WorkFolder() / "out.xlsx";
  std::error_code ec;
  std::filesystem::remove(output, ec);
  const testing::RoundTrip trip = testing::RunAndReload(input, output);
  std::string problem = trip.problem;
  // The rows streamed to the run and the sheet loaded first must come to the same.
  if (problem.empty()) {
    problem =
        testing::LoadedDiffers(input, testing::RoundTripOptions(), trip.run, output, WorkFolder());
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "quilmark fuzz: %s\n", problem.c_str());
    std::abort();
  }
}

}  // namespace quilmark::fuzz
