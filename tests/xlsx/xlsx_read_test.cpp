// Reading workbook files: cell values as stored, placement without references, the sheet in
// front, and the refusals of damaged or hostile files.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "src/host/xlsx/xlsx_host.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

using testing::OneSheetWorkbook;
using testing::SheetXml;
using testing::TempFolder;
using testing::WriteZip;

struct Expected {
  int32_t row, column;
  std::optional<CellValue> value;
};

TEST(XlsxRead, CellValuesAsStored) {
  struct Case {
    const char* name;
    std::string rows;
    std::string shared;
    int32_t last_row;
    std::vector<Expected> cells;
  };
  const std::string sst =
      "<si><t>甲镇</t></si><si><r><t>12</t></r><r><rPr/><t>1K</t></r>"
      "<rPh><t>ふり</t></rPh></si><si><t>a_x000D_b</t></si>";
  const Case cases[] = {
      {"numbers, shared and inline strings",
       R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>)"
       R"(<c r="C1"><v>12.5</v></c><c r="D1" t="inlineStr"><is><t>002</t></is></c></row>)",
       sst,
       1,
       {{1, 1, std::string("甲镇")},
        {1, 2, std::string("121K")},
        {1, 3, 12.5},
        {1, 4, std::string("002")},
        {1, 5, CellValue{}}}},
      {"booleans, errors, dates, formula results",
       R"(<row r="2"><c r="A2" t="b"><v>1</v></c><c r="B2" t="e"><v>#N/A</v></c>)"
       R"(<c r="C2" t="d"><v>2024-01-05</v></c><c r="D2" t="str"><f>A1&amp;""</f><v>x</v></c>)"
       R"(<c r="E2"><f>1+1</f><v>2</v></c><c r="F2" t="s"><v>2</v></c></row>)",
       sst,
       2,
       {{2, 1, true},
        {2, 2, CellError{"#N/A"}},
        {2, 3, CellDate{"2024-01-05"}},
        {2, 4, std::string("x")},
        {2, 5, 2.0},
        {2, 6, std::string("a\rb")}}},
      {"cells and rows without references follow their neighbours",
       R"(<row><c><v>1</v></c><c><v>2</v></c></row><row r="4"><c r="C4"><v>3</v></c><c><v>4</v></c></row>)"
       R"(<row><c r="0"><v>5</v></c></row>)",
       "",
       5,
       {{1, 1, 1.0}, {1, 2, 2.0}, {4, 3, 3.0}, {4, 4, 4.0}, {5, 1, 5.0}, {2, 1, CellValue{}}}},
      {"formatting only is no value; lower-case references",
       R"(<row r="3"><c r="a3"><v>7</v></c></row><row r="9" s="2" customFormat="1"><c r="B9" s="1"/></row>)",
       "",
       3,
       {{3, 1, 7.0}, {9, 2, CellValue{}}}},
      {"unreadable values read as failures, outside the sheet too",
       R"(<row r="1"><c r="A1" t="s"><v>99</v></c><c r="B1"><v>abc</v></c></row>)",
       sst,
       1,
       {{1, 1, std::nullopt},
        {1, 2, std::nullopt},
        {0, 1, std::nullopt},
        {1, 16385, std::nullopt},
        {1048577, 1, std::nullopt}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    WriteZip(folder / "a.xlsx", OneSheetWorkbook(SheetXml(c.rows), c.shared));
    XlsxFileHost host(folder / "a.xlsx");
    ASSERT_TRUE(host.Attach());
    Workbook* workbook = host.ActiveWorkbook();
    EXPECT_EQ(workbook->Name(), "a.xlsx");
    Worksheet* sheet = workbook->ActiveSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->Name(), "图斑");
    EXPECT_EQ(sheet->LastUsedRow(), c.last_row);
    for (const Expected& e : c.cells) {
      SCOPED_TRACE(std::to_string(e.row) + "," + std::to_string(e.column));
      EXPECT_EQ(sheet->Read(e.row, e.column), e.value);
    }
  }
}

TEST(XlsxRead, StrictNamespacesAndPrefixesAndUtf16) {
  const std::string strict =
      R"(<?xml version="1.0"?><x:worksheet xmlns:x="http://purl.oclc.org/ooxml/spreadsheetml/main">)"
      R"(<x:sheetData><x:row r="2"><x:c r="B2" t="inlineStr"><x:is><x:t>乙镇</x:t></x:is></x:c></x:row>)"
      R"(</x:sheetData></x:worksheet>)";
  TempFolder folder;
  WriteZip(folder / "strict.xlsx", OneSheetWorkbook(strict));
  XlsxFileHost strict_host(folder / "strict.xlsx");
  Worksheet* sheet = strict_host.ActiveWorkbook()->ActiveSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->Read(2, 2), CellValue{std::string("乙镇")});

  // The same sheet in UTF-16 with a byte order mark.
  const std::string utf8 =
      SheetXml(R"(<row r="1"><c r="A1" t="inlineStr"><is><t>丙</t></is></c></row>)");
  std::string utf16 = "\xFF\xFE";
  for (size_t i = 0; i < utf8.size();) {
    uint32_t code = static_cast<unsigned char>(utf8[i]);
    size_t length = code < 0x80 ? 1 : code < 0xE0 ? 2 : 3;
    if (length == 2) code = ((code & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
    if (length == 3)
      code = ((code & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
    utf16.push_back(static_cast<char>(code & 0xFF));
    utf16.push_back(static_cast<char>(code >> 8));
    i += length;
  }
  WriteZip(folder / "utf16.xlsx", OneSheetWorkbook(utf16));
  XlsxFileHost utf16_host(folder / "utf16.xlsx", {"", folder / "utf16-out.xlsx"});
  Workbook* workbook = utf16_host.ActiveWorkbook();
  ASSERT_NE(workbook->ActiveSheet(), nullptr);
  EXPECT_EQ(workbook->ActiveSheet()->Read(1, 1), CellValue{std::string("丙")});
  // Written back, the sheet is UTF-8 throughout and reads the same.
  workbook->ActiveSheet()->Write(3, 1, std::string("丁"));
  workbook->Save();
  XlsxFileHost again(folder / "utf16-out.xlsx");
  EXPECT_EQ(again.ActiveWorkbook()->ActiveSheet()->Read(1, 1), CellValue{std::string("丙")});
  EXPECT_EQ(again.ActiveWorkbook()->ActiveSheet()->Read(3, 1), CellValue{std::string("丁")});
}

TEST(XlsxRead, TheSheetInFront) {
  testing::Entries entries =
      OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)"));
  entries["xl/workbook.xml"] =
      R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
      R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
      R"(<bookViews><workbookView activeTab="1"/></bookViews><sheets>)"
      R"(<sheet name="Data" sheetId="1" r:id="rId1"/><sheet name="Chart1" sheetId="2" r:id="rId9"/>)"
      R"(</sheets></workbook>)";
  entries["xl/_rels/workbook.xml.rels"] =
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
      R"(<Relationship Id="rId9" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/chartsheet" Target="/xl/chartsheets/sheet1.xml"/>)"
      R"(</Relationships>)";
  entries["xl/chartsheets/sheet1.xml"] = "<chartsheet/>";
  TempFolder folder;
  WriteZip(folder / "b.xlsx", entries);

  XlsxFileHost active(folder / "b.xlsx");
  EXPECT_EQ(active.ActiveWorkbook()->ActiveSheet(), nullptr);  // a chart sheet is in front
  EXPECT_TRUE(active.ActiveWorkbook()->HasWorksheet("data"));
  EXPECT_FALSE(active.ActiveWorkbook()->HasWorksheet("Chart1"));

  XlsxFileHost named(folder / "b.xlsx", {"Data", {}});
  ASSERT_NE(named.ActiveWorkbook()->ActiveSheet(), nullptr);
  EXPECT_EQ(named.ActiveWorkbook()->ActiveSheet()->Name(), "Data");

  XlsxFileHost missing(folder / "b.xlsx", {"Nope", {}});
  EXPECT_THROW(missing.ActiveWorkbook(), HostError);
}

// Each damaged input gives the load prefix, the file's name and a reason; never a crash.
TEST(XlsxRead, RefusesDamagedAndHostileFiles) {
  const std::string good_sheet = SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)");
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    const char* reason;
  };
  const auto zip_of = [](testing::Entries entries) {
    return [entries](const std::filesystem::path& path) { WriteZip(path, entries); };
  };
  const auto bytes = [](std::string text) {
    return [text](const std::filesystem::path& path) {
      std::ofstream(path, std::ios::binary) << text;
    };
  };
  // The sheet's stored bytes damaged after the zip was written: `patch` gets the file and the
  // offsets of the sheet's local header and its directory record.
  const auto damaged_sheet = [](std::function<void(std::string&, size_t, size_t)> patch) {
    return [patch](const std::filesystem::path& path) {
      std::string rows;
      for (int row = 1; row <= 200; ++row) {
        rows += "<row r=\"" + std::to_string(row) + "\"><c r=\"A" + std::to_string(row) +
                "\"><v>1</v></c></row>";
      }
      WriteZip(path, OneSheetWorkbook(SheetXml(rows)));
      std::string file = testing::ReadFile(path);
      const std::string name = "xl/worksheets/sheet1.xml";
      size_t header = 0, record = 0;
      for (size_t at = 0; (at = file.find("PK", at)) != std::string::npos; ++at) {
        if (file.compare(at + 2, 2, "\x03\x04") == 0 &&
            file.compare(at + 30, name.size(), name) == 0)
          header = at;
        if (file.compare(at + 2, 2, "\x01\x02") == 0 &&
            file.compare(at + 46, name.size(), name) == 0)
          record = at;
      }
      patch(file, header, record);
      std::ofstream(path, std::ios::binary) << file;
    };
  };
  testing::Entries no_types = OneSheetWorkbook(good_sheet);
  no_types.erase("[Content_Types].xml");
  testing::Entries no_sheet = OneSheetWorkbook(good_sheet);
  no_sheet.erase("xl/worksheets/sheet1.xml");
  testing::Entries broken_workbook = OneSheetWorkbook(good_sheet);
  broken_workbook["xl/workbook.xml"] = "<workbook><sheets>";
  const Case cases[] = {
      {"missing file", [](const std::filesystem::path&) {}, "文件不存在"},
      {"not a zip", bytes("name,class,area\n"), "不是 zip"},
      {"encrypted or old format", bytes(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "x"),
       "加密"},
      {"zip without a workbook", zip_of({{"readme.txt", "hello"}}), "没有工作簿"},
      {"no content types", zip_of(no_types), "[Content_Types].xml"},
      {"broken workbook XML", zip_of(broken_workbook), "xl/workbook.xml"},
      {"sheet named but missing", zip_of(no_sheet), "xl/worksheets/sheet1.xml"},
      {"broken sheet XML", zip_of(OneSheetWorkbook(SheetXml("<row><c></row>"))), "第 1 行"},
      {"row beyond the sheet", zip_of(OneSheetWorkbook(SheetXml(R"(<row r="1048577"/>)"))),
       "1048577"},
      {"column beyond the sheet",
       zip_of(OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)"))), "XFE1"},
      {"a zip bomb (40 MB of one value, a thousand times its compressed size)",
       zip_of(OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="A1"><v>)" + std::string(40 << 20, '0') +
                                        "</v></c></row>"))),
       "压缩比异常"},
      {"sheet data that does not match its checksum",
       damaged_sheet([](std::string& file, size_t header, size_t record) {
         file[header + 14] ^= 1;  // the CRC-32 in both headers
         file[record + 16] ^= 1;
       }),
       "校验和不符"},
      {"sheet data that is no deflate stream",
       damaged_sheet([](std::string& file, size_t header, size_t) {
         const size_t data = header + 30 + static_cast<uint8_t>(file[header + 26]) +
                             static_cast<uint8_t>(file[header + 28]);
         file[data] = '\xFF';  // a block of the reserved type 3
       }),
       "压缩数据无效"},
      {"document type declaration",
       zip_of(OneSheetWorkbook(
           R"(<?xml version="1.0"?><!DOCTYPE w [<!ENTITY a "aaaa">]><worksheet/>)")),
       "DTD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::filesystem::path path = folder / "坏.xlsx";
    c.make(path);
    XlsxFileHost host(path, {"", folder / "out.xlsx"});
    try {
      host.ActiveWorkbook();
      ADD_FAILURE() << "loaded";
    } catch (const HostError& error) {
      const std::string text = error.what();
      EXPECT_TRUE(text.starts_with("无法读取工作簿: ")) << text;
      EXPECT_NE(text.find("坏.xlsx"), std::string::npos) << text;
      EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "out.xlsx"));
  }
}

}  // namespace
}  // namespace quilmark
