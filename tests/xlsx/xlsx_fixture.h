// Small workbooks built in the test, and reading a package's entries back.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quilmark::testing {

using Entries = std::map<std::string, std::string>;  // entry name -> bytes

// A fresh folder under the system's temporary folder, removed with the fixture.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The parts of a one-sheet workbook whose sheet is `sheet_xml` (the whole part) and whose
// shared strings are `shared_strings` (none when empty).
Entries OneSheetWorkbook(const std::string& sheet_xml, const std::string& shared_strings = "");

// A worksheet part holding `rows` (the inside of <sheetData>).
std::string SheetXml(const std::string& rows, const std::string& after_sheet_data = "");

void WriteZip(const std::filesystem::path& path, const Entries& entries);
Entries ReadZip(const std::filesystem::path& path);
std::string ReadFile(const std::filesystem::path& path);

// The folder of the workbooks copied from the corpus into the repository.
std::filesystem::path TestData();

// That folder, and the whole corpus when it lies beside the clone (or QUILMARK_CORPUS names it);
// each holds valid/ and broken/.
std::vector<std::filesystem::path> CorpusFolders();
// The workbooks in a folder, by name.
std::vector<std::filesystem::path> WorkbookFiles(const std::filesystem::path& folder);

}  // namespace quilmark::testing
