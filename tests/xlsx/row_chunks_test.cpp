// The rows of a worksheet read in chunks against the same rows read by the streaming parse: the
// two must give the same rows, cells, byte ranges and layout, and the chunked reading must step
// aside for anything it does not expect, even after it has read many rows.
#include "src/host/xlsx/read/row_chunks.h"

#include <gtest/gtest.h>

#include <bit>

#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/read/sheet_reader.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark::xlsx {
namespace {

using quilmark::testing::OneSheetWorkbook;
using quilmark::testing::SheetXml;

struct Loaded {
  SheetModel model;
  ByteChunks xml;
  SheetLayout layout;
  bool in_chunks = false;
  std::string error;
};

// The worksheet `sheet` of the package in `bytes`, with the shared strings when it has them.
std::unique_ptr<Loaded> LoadPart(const std::string& bytes, const std::string& sheet,
                                 RowReading reading) {
  auto loaded = std::make_unique<Loaded>();
  try {
    const Package package(bytes);
    if (package.Has("xl/sharedStrings.xml")) {
      ReadSharedStrings(package, "xl/sharedStrings.xml", loaded->model);
    }
    loaded->in_chunks =
        ReadWorksheet(package, sheet, loaded->model, loaded->xml, loaded->layout, reading);
  } catch (const PackageError& e) {
    loaded->error = e.what();
  }
  return loaded;
}

std::unique_ptr<Loaded> Load(const std::string& sheet_xml, const std::string& shared,
                             RowReading reading) {
  quilmark::testing::TempFolder folder;
  quilmark::testing::WriteZip(folder / "in.xlsx", OneSheetWorkbook(sheet_xml, shared));
  return LoadPart(quilmark::testing::ReadFile(folder / "in.xlsx"), "xl/worksheets/sheet1.xml",
                  reading);
}

// Everything the host and the writer use of a loaded sheet, compared field by field.
void ExpectSame(const Loaded& fast, const Loaded& slow) {
  ASSERT_EQ(fast.error, slow.error);
  if (!slow.error.empty()) return;
  EXPECT_EQ(fast.model.LastUsedRow(), slow.model.LastUsedRow());
  EXPECT_EQ(fast.model.rows_in_order(), slow.model.rows_in_order());
  EXPECT_EQ(fast.model.repeated_rows(), slow.model.repeated_rows());
  ASSERT_EQ(fast.model.rows().size(), slow.model.rows().size());
  for (size_t i = 0; i < slow.model.rows().size(); ++i) {
    const Row& a = fast.model.rows()[i];
    const Row& b = slow.model.rows()[i];
    SCOPED_TRACE("row element " + std::to_string(i));
    EXPECT_EQ(a.number, b.number);
    EXPECT_EQ(a.xml_begin, b.xml_begin);
    EXPECT_EQ(a.xml_length, b.xml_length);
    ASSERT_EQ(a.cell_count, b.cell_count);
    for (uint32_t k = 0; k < b.cell_count; ++k) {
      const Cell& x = fast.model.cells()[a.first_cell + k];
      const Cell& y = slow.model.cells()[b.first_cell + k];
      EXPECT_EQ(x.column, y.column);
      EXPECT_EQ(x.type, y.type);
      EXPECT_EQ(x.flags, y.flags);
      EXPECT_EQ(fast.model.ValueOf(x), slow.model.ValueOf(y)) << "column " << y.column;
    }
  }
  ASSERT_EQ(fast.model.shared_formulas().size(), slow.model.shared_formulas().size());
  for (size_t i = 0; i < slow.model.shared_formulas().size(); ++i) {
    const SharedFormula& a = fast.model.shared_formulas()[i];
    const SharedFormula& b = slow.model.shared_formulas()[i];
    EXPECT_EQ(std::tie(a.row, a.column, a.index, a.ref, a.formula),
              std::tie(b.row, b.column, b.index, b.ref, b.formula));
  }
  const SheetLayout& a = fast.layout;
  const SheetLayout& b = slow.layout;
  EXPECT_EQ(a.prefix, b.prefix);
  EXPECT_EQ(a.namespaces, b.namespaces);
  EXPECT_EQ(std::tie(a.has_sheet_data, a.sheet_data_empty, a.sheet_data_begin, a.sheet_data_end,
                     a.sheet_data_close, a.insert_sheet_data, a.dimension, a.dimension_qname),
            std::tie(b.has_sheet_data, b.sheet_data_empty, b.sheet_data_begin, b.sheet_data_end,
                     b.sheet_data_close, b.insert_sheet_data, b.dimension, b.dimension_qname));
  EXPECT_EQ(fast.xml.size(), slow.xml.size());
}

const char kShared[] = "<si><t>甲镇</t></si><si><t>011</t></si><si><t>121K</t></si>";

// A sheet whose main namespace has the prefix x.
std::string PrefixedSheetXml(const std::string& rows) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>)"
         R"(<x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
         R"(<x:dimension ref="A1:B2"/><x:sheetData>)" +
         rows + "</x:sheetData><x:pageMargins left=\"1\"/></x:worksheet>";
}

TEST(XlsxRowChunks, BothReadingsGiveTheSameSheet) {
  struct Case {
    const char* name;
    std::string sheet;
    bool in_chunks;  // whether the chunked reading is expected to keep the rows
  };
  const std::string plain =
      R"(<row r="1" spans="1:4"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>2</v></c>)"
      R"(<c r="C1" s="3"><v>12.5</v></c><c r="D1" t="inlineStr"><is><r><t>00</t></r>)"
      R"(<r><rPr><b/></rPr><t>2</t></r><rPh><t>ふり</t></rPh></is></c></row>)"
      "\n  <row r=\"2\">\r\n<c r=\"A2\" t=\"b\"><v>1</v></c><c r=\"B2\" t=\"e\"><v>#N/A</v></c>"
      R"(<c r="C2" t="d"><v>2024-01-05</v></c><c r="D2" t="str"><f>A1</f><v> x_x000D_</v></c>)"
      R"(<c r="E2"><f t="shared" ref="E2:E4" si="0">C1*2</f><v>25</v></c>)"
      R"(<c r="F2" t="inlineStr"><is><t> </t></is></c><c r="G2" t="s"><v>9</v></c>)"
      R"(<c r="H2" t="n"><v>abc</v></c><c r="I2" t="q"><v>1</v></c><c r="J2" s="1"/>)"
      "<c r=\"K2\" t=\"inlineStr\"><is><t>a\r\nb</t></is></c></row >"
      R"(<row r="3" hidden="1"/><row r="4"><c r="E4"><f t="shared" si="0"/><v>4</v></c></row>)";
  const Case cases[] = {
      {"plain rows: every kind of value, spaces, line ends, self-closing rows", SheetXml(plain),
       true},
      {"rows and cells without references, and references that are none",
       SheetXml(R"(<row><c><v>1</v></c><c><v>2</v></c></row><row r="5"><c r="C5"><v>3</v></c>)"
                R"(<c><v>4</v></c></row><row r="x"><c r="9"><v>5</v></c></row><row/>)"),
       true},
      {"repeated and unordered rows and cells",
       SheetXml(
           R"(<row r="4"><c r="C4"><v>1</v></c><c r="A4"><v>2</v></c></row>)"
           R"(<row r="2"><c r="A2"><v>3</v></c></row><row r="4"><c r="B4"><v>5</v></c></row>)"),
       true},
      {"a prefixed sheet",
       PrefixedSheetXml(R"(<x:row r="1"><x:c r="A1" t="s"><x:v>1</x:v></x:c>)"
                        R"(</x:row><x:row><x:c><x:v>7</x:v></x:c></x:row>)"),
       true},
      {"a comment among the rows",
       SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row><!-- </row> -->)"
                R"(<row r="2"><c r="A2"><v>2</v></c></row>)"),
       false},
      {"a CDATA section in a value",
       SheetXml(R"(<row r="1"><c r="A1" t="str"><v><![CDATA[a</row>b]]></v></c></row>)"), false},
      {"a processing instruction", SheetXml(R"(<row r="1"><?note x?><c r="A1"><v>1</v></c></row>)"),
       false},
      {"references in text",
       SheetXml(R"(<row r="1"><c r="A1" t="inlineStr"><is><t>R&amp;D &#x41;</t></is></c></row>)"),
       false},
      {"an extension inside a row",
       SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c><extLst><ext uri="u"><c r="B1"><v>2</v></c>)"
                R"(</ext></extLst></row>)"),
       false},
      {"markup inside a value", SheetXml(R"(<row r="1"><c r="A1"><v>1<b/>2</v></c></row>)"), false},
      {"text between rows", SheetXml(R"(<row r="1"/>stray<row r="2"/>)"), false},
      {"a NUL byte, after which nothing may be lost",
       SheetXml(std::string("<row r=\"1\"/>\0<row r=\"2\"><c><v>1</v></c></row>", 45)), false},
      {"a row number beyond the sheet",
       SheetXml(R"(<row r="1048577"><c r="A1"><v>1</v></c></row>)"), false},
      {"a column beyond the sheet", SheetXml(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)"),
       false},
      {"a sheetData without rows", SheetXml(""), true},
      {"one row longer than a chunk, the last chunk empty",
       SheetXml(R"(<row r="1"><c r="A1" t="inlineStr"><is><t>)" + std::string(300000, 'k') +
                "</t></is></c></row>"),
       true},
      // Ill-formed sheets are refused alike, whatever else they hold.
      {"bytes that are not UTF-8",
       SheetXml("<row r=\"1\"><c r=\"A1\"><v>\xC2"
                "e</v></c></row>"),
       false},
      {"a character XML does not allow",
       SheetXml("<row r=\"1\"><c r=\"A1\" t=\"str\"><v>a\x01</v></c></row>"), false},
      {"a CDATA section's end in a value",
       SheetXml(R"(<row r="1"><c r="A1" t="b"><v>]]>1</v></c></row>)"), false},
      {"a character XML does not allow in an attribute's name",
       SheetXml("<row r=\"1\" sp\xE2\x88\xBDans=\"1:2\"><c r=\"A1\"><v>1</v></c></row>"), false},
      {"a letter XML allows in an attribute's name, left to the streaming parse",
       SheetXml("<row r=\"1\" \xE5\x90\x8D=\"1\"><c r=\"A1\"><v>1</v></c></row>"), false},
      {"an attribute given twice",
       SheetXml(R"(<row r="1"><c r="A1" t="s" t="inlineStr"><v>0</v></c></row>)"), false},
      {"ill-formed rows", SheetXml(R"(<row r="1"><c r="A1"><v>1</c></row>)"), false},
      {"ill-formed XML after the rows",
       SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)", "<mergeCells>"), true},
      {"ill-formed XML after rows on several lines: the error names its line",
       SheetXml("<row r=\"1\">\n<c r=\"A1\"><v>1</v></c>\n</row>\n", "\n<mergeCells>"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto fast = Load(c.sheet, kShared, RowReading::kChunksWherePlain);
    const auto slow = Load(c.sheet, kShared, RowReading::kStreamingOnly);
    ExpectSame(*fast, *slow);
    if (fast->error.empty()) EXPECT_EQ(fast->in_chunks, c.in_chunks);
  }
}

// A sheet of several megabytes: many chunks, chunks across the kept XML's blocks, and a comment
// near its end that makes the reader drop thousands of rows it has read and start again.
TEST(XlsxRowChunks, LargeSheetsAndALateFallback) {
  std::string rows;
  for (int row = 1; row <= 60000; ++row) {
    const std::string r = std::to_string(row);
    rows += "<row r=\"" + r + "\" spans=\"1:3\"><c r=\"A" + r + "\" t=\"s\"><v>" +
            std::to_string(row % 3) + "</v></c><c r=\"B" + r + "\" t=\"inlineStr\"><is><t>" +
            std::string(row % 7, 'k') + "</t></is></c><c r=\"C" + r + "\"><v>" +
            std::to_string(row * 0.125) + "</v></c></row>";
    if (row % 1000 == 0) rows += "\n";
  }
  for (const bool late_comment : {false, true}) {
    SCOPED_TRACE(late_comment ? "with a late comment" : "plain");
    const std::string sheet = SheetXml(rows + (late_comment ? "<!-- end -->" : ""));
    ASSERT_GT(sheet.size(), 2 * ByteChunks::kChunk);
    const auto fast = Load(sheet, kShared, RowReading::kChunksWherePlain);
    const auto slow = Load(sheet, kShared, RowReading::kStreamingOnly);
    EXPECT_EQ(fast->in_chunks, !late_comment);
    ExpectSame(*fast, *slow);
  }
}

// Rows and cells without references across many chunks: their numbers depend on every row
// before them, whichever scanning thread took the chunk.
TEST(XlsxRowChunks, NumbersRowsInDocumentOrderAcrossChunks) {
  std::string rows;
  for (int row = 1; row <= 40000; ++row) {
    rows += row % 5000 == 0 ? "<row r=\"" + std::to_string(row * 2) + "\">" : std::string("<row>");
    rows += "<c><v>" + std::to_string(row) + "</v></c><c t=\"s\"><v>1</v></c></row>";
  }
  const std::string sheet = SheetXml(rows);
  const auto fast = Load(sheet, kShared, RowReading::kChunksWherePlain);
  const auto slow = Load(sheet, kShared, RowReading::kStreamingOnly);
  EXPECT_TRUE(fast->in_chunks);
  ExpectSame(*fast, *slow);
}

// The worksheets of the real workbooks kept in the repository, read both ways.
TEST(XlsxRowChunks, RealWorkbooksReadAlike) {
  namespace fs = std::filesystem;
  for (const auto& file : fs::directory_iterator(quilmark::testing::TestData() / "valid")) {
    const std::string bytes = quilmark::testing::ReadFile(file.path());
    for (const auto& entry : quilmark::testing::ReadZip(file.path())) {
      const std::string& name = entry.first;
      if (!name.starts_with("xl/worksheets/") || !name.ends_with(".xml")) continue;
      SCOPED_TRACE(file.path().filename().string() + " " + name);
      ExpectSame(*LoadPart(bytes, name, RowReading::kChunksWherePlain),
                 *LoadPart(bytes, name, RowReading::kStreamingOnly));
    }
  }
}

TEST(XlsxRowChunks, FindsATagAcrossTheBlocksOfTheXml) {
  const std::string needle = "</x:row>";
  for (const uint64_t at : {ByteChunks::kChunk - 8, ByteChunks::kChunk - 5, ByteChunks::kChunk - 1,
                            ByteChunks::kChunk, ByteChunks::kChunk + 3}) {
    ByteChunks xml;
    std::string text(ByteChunks::kChunk + 64, ' ');
    text.replace(at, needle.size(), needle);
    xml.Append(text.data(), text.size());
    EXPECT_EQ(FindIn(xml, 0, xml.size(), needle), at);
    EXPECT_EQ(FindIn(xml, at + 1, xml.size(), needle), xml.size());
    EXPECT_EQ(FindIn(xml, 0, at + needle.size() - 1, needle), at + needle.size() - 1);
  }
}

}  // namespace
}  // namespace quilmark::xlsx
