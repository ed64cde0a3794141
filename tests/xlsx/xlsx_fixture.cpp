#include "tests/xlsx/xlsx_fixture.h"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quilmark::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quilmark-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string SheetXml(const std::string& rows, const std::string& after_sheet_data) {
  return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
         R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
         R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
         R"(<dimension ref="A1"/><sheetData>)" +
         rows + "</sheetData>" + after_sheet_data + "</worksheet>";
}

Entries OneSheetWorkbook(const std::string& sheet_xml, const std::string& shared_strings) {
  Entries entries;
  entries["[Content_Types].xml"] =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
      R"(<Default Extension="xml" ContentType="application/xml"/>)"
      R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
      R"(<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
      R"(<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>)"
      R"(</Types>)";
  entries["_rels/.rels"] =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>)"
      R"(</Relationships>)";
  entries["xl/workbook.xml"] =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
      R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
      R"(<sheets><sheet name="图斑" sheetId="1" r:id="rId1"/></sheets></workbook>)";
  entries["xl/_rels/workbook.xml.rels"] =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
      R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>)"
      R"(</Relationships>)";
  entries["xl/worksheets/sheet1.xml"] = sheet_xml;
  if (!shared_strings.empty()) {
    entries["xl/sharedStrings.xml"] =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)" +
        shared_strings + "</sst>";
  }
  return entries;
}

void WriteZip(const std::filesystem::path& path, const Entries& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) throw std::runtime_error("zip_open " + path.string());
  for (const auto& [name, bytes] : entries) {
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
  }
  if (zip_close(archive) != 0) throw std::runtime_error("zip_close " + path.string());
}

Entries ReadZip(const std::filesystem::path& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) throw std::runtime_error("cannot open " + path.string());
  Entries entries;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    std::string bytes(st.size, '\0');
    if (file != nullptr) {
      zip_fread(file, bytes.data(), st.size);
      zip_fclose(file);
    }
    entries[st.name] = std::move(bytes);
  }
  zip_discard(archive);
  return entries;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::filesystem::path TestData() {
  // ctest sets the variable; run by hand, the binary finds the data in the source tree.
  const char* root = std::getenv("QUILMARK_TEST_DATA");
  return std::filesystem::path(root != nullptr ? root : QUILMARK_SOURCE_TEST_DATA) / "xlsx";
}

std::vector<std::filesystem::path> WorkbookFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  if (!std::filesystem::is_directory(folder)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".xlsx" || extension == ".xlsm" || extension == ".xltx") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::filesystem::path> CorpusFolders() {
  std::vector<std::filesystem::path> folders = {TestData()};
  const char* corpus = std::getenv("QUILMARK_CORPUS");
  const std::filesystem::path beside = TestData() / ".." / ".." / ".." / ".." / "shared" / "corpus";
  for (const std::filesystem::path& candidate :
       {corpus ? std::filesystem::path(corpus) : std::filesystem::path(), beside}) {
    if (!candidate.empty() && std::filesystem::is_directory(candidate / "valid")) {
      folders.push_back(candidate);
      break;
    }
  }
  return folders;
}

}  // namespace quilmark::testing
