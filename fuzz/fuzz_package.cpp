// Fuzzes the workbook reader with whole package bytes: the zip container, the relationships, the
// workbook part and the sheets as they come.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path input = quilmark::fuzz::WorkFolder() / "in.xlsx";
  quilmark::fuzz::WriteBytes(input, std::string(reinterpret_cast<const char*>(data), size));
  quilmark::fuzz::RunOnWorkbook(input);
  return 0;
}
