// What both fuzz targets do with a workbook they have made: a land-use and cross-tab run as the
// command line makes it with -o, in a folder of their own; any fault of the result aborts, so
// that the fuzzer keeps the input.
#pragma once

#include <filesystem>
#include <string>

namespace quilmark::fuzz {

// A folder for one fuzzing process, on a memory file system where there is one.
const std::filesystem::path& WorkFolder();

// Runs on the workbook file `input` and aborts when the run or its saved result is at fault, or
// when the run with the sheet's rows streamed and with the sheet loaded first end differently.
void RunOnWorkbook(const std::filesystem::path& input);

// Writes `bytes` to `path`; aborts when it cannot.
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace quilmark::fuzz
