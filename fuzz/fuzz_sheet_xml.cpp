// Fuzzes the worksheet readers: the input is the XML of the one worksheet of an otherwise valid
// package (with shared strings that its t="s" cells can name), so every mutation reaches the row
// readers, the formula shifting and the writer instead of stopping at the zip container.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_workbook.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace {

constexpr char kSharedStrings[] =
    "<si><t>001</t></si><si><t>011</t></si><si><t>121K</t></si><si><t>石碣镇</t></si>"
    "<si><r><t>20</t></r><r><t>4</t></r></si>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path input = quilmark::fuzz::WorkFolder() / "in.xlsx";
  quilmark::testing::WriteZip(
      input, quilmark::testing::OneSheetWorkbook(
                 std::string(reinterpret_cast<const char*>(data), size), kSharedStrings));
  quilmark::fuzz::RunOnWorkbook(input);
  return 0;
}
