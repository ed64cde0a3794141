// Writing back: what the written cells hold, what stays byte for byte, formulas that lose their
// cell, and saving that never leaves a half-written file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/write/row_xml.h"
#include "src/host/xlsx/write/sheet_writer.h"
#include "src/host/xlsx/xlsx_host.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

using testing::Entries;
using testing::OneSheetWorkbook;
using testing::ReadZip;
using testing::SheetXml;
using testing::TempFolder;
using testing::WriteZip;

const char kSheetPart[] = "xl/worksheets/sheet1.xml";

// Loads `entries`, lets `edit` write, saves to out.xlsx and returns the saved entries.
Entries WriteAndSave(const Entries& entries, const std::function<void(Worksheet&)>& edit) {
  TempFolder folder;
  WriteZip(folder / "in.xlsx", entries);
  XlsxFileHost host(folder / "in.xlsx", {"", folder / "out.xlsx"});
  Worksheet* sheet = host.ActiveWorkbook()->ActiveSheet();
  edit(*sheet);
  host.ActiveWorkbook()->Save();
  return ReadZip(folder / "out.xlsx");
}

std::optional<CellValue> ReadBack(const Entries& entries, int32_t row, int32_t column) {
  TempFolder folder;
  WriteZip(folder / "back.xlsx", entries);
  XlsxFileHost host(folder / "back.xlsx");
  return host.ActiveWorkbook()->ActiveSheet()->Read(row, column);
}

TEST(XlsxWrite, ValuesAsWritten) {
  const Entries saved =
      WriteAndSave(OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="A1" s="3"><v>5</v></c></row>)")),
                   [](Worksheet& sheet) {
                     sheet.Write(1, 1, std::string("002"));
                     sheet.Write(12, 2, 0.0);
                     sheet.Write(12, 3, -0.0);
                     sheet.Write(12, 4, 0.1 + 0.2);
                     sheet.Write(12, 5, std::string(" a&b<c>\r"));
                     sheet.Write(13, 1, 1e21);
                     sheet.Write(13, 2, true);
                     sheet.Write(13, 3, std::string("_x0041_"));
                   });
  const std::string& xml = saved.at(kSheetPart);
  // The style of the cell written over stays; text stays text; numbers round-trip exactly.
  EXPECT_NE(xml.find(R"(<c r="A1" s="3" t="inlineStr"><is><t>002</t></is></c>)"),
            std::string::npos);
  EXPECT_NE(xml.find(R"(<c r="B12"><v>0</v></c><c r="C12"><v>0</v></c>)"), std::string::npos);
  EXPECT_NE(xml.find("<v>0.30000000000000004</v>"), std::string::npos);
  EXPECT_NE(xml.find(R"(<dimension ref="A1:E13"/>)"), std::string::npos);
  EXPECT_EQ(ReadBack(saved, 1, 1), CellValue{std::string("002")});
  EXPECT_EQ(ReadBack(saved, 12, 4), CellValue{0.1 + 0.2});
  EXPECT_EQ(ReadBack(saved, 12, 5), CellValue{std::string(" a&b<c>\r")});
  EXPECT_EQ(ReadBack(saved, 13, 1), CellValue{1e21});
  EXPECT_EQ(ReadBack(saved, 13, 2), CellValue{true});
  EXPECT_EQ(ReadBack(saved, 13, 3), CellValue{std::string("_x0041_")});
}

TEST(XlsxWrite, TheEmptyTextClearsTheCell) {
  const Entries saved = WriteAndSave(
      OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="A1" s="3"><v>5</v></c><c r="B1"><v>6</v></c>)"
                                R"(</row>)")),
      [](Worksheet& sheet) {
        EXPECT_TRUE(sheet.Write(1, 1, std::string()));
        EXPECT_TRUE(sheet.Write(20, 1, std::string()));  // nothing there: nothing added
        EXPECT_EQ(sheet.Read(1, 1), CellValue{});
        EXPECT_EQ(sheet.LastUsedRow(), 1);
      });
  EXPECT_EQ(ReadBack(saved, 1, 1), CellValue{});
  EXPECT_EQ(ReadBack(saved, 1, 2), CellValue{6.0});
  EXPECT_EQ(saved.at(kSheetPart).find("A20"), std::string::npos);
}

TEST(XlsxWrite, UntouchedBytesStayAsTheyWere) {
  const std::string rows =
      R"(<row r="1" spans="1:2" ht="20" customHeight="1"><c r="A1" t="s"><v>0</v></c><c r="B1"><v>1.5</v></c></row>)"
      R"(<row r="5"><c r="A5"><v>2</v></c></row>)"
      R"(<row r="9"><c r="A9"><v>3</v></c></row>)";
  const std::string after = R"(<mergeCells count="1"><mergeCell ref="A1:B1"/></mergeCells>)";
  Entries entries = OneSheetWorkbook(SheetXml(rows, after), "<si><t>甲镇</t></si>");
  entries["xl/media/image1.png"] = std::string("\x89PNG\r\n\x1a\n\0\0binary", 18);
  entries["customXml/item1.xml"] = "<unknown>kept</unknown>";
  const Entries saved = WriteAndSave(entries, [](Worksheet& sheet) {
    sheet.Write(1, 3, std::string("新"));  // into an existing row
    sheet.Write(7, 1, 4.0);                // a new row between two rows
    sheet.Write(20, 2, 5.0);               // a new row after the last
  });
  for (const auto& [name, bytes] : entries) {
    if (name != kSheetPart) EXPECT_EQ(saved.at(name), bytes) << name;
  }
  const std::string& xml = saved.at(kSheetPart);
  const auto head = [](const std::string& text) { return text.substr(0, text.find("<dimension")); };
  EXPECT_EQ(head(xml), head(entries.at(kSheetPart)));
  EXPECT_NE(xml.find(R"(<dimension ref="A1:C20"/><sheetData>)"), std::string::npos) << xml;
  EXPECT_NE(
      xml.find(R"(<row r="1" spans="1:3" ht="20" customHeight="1"><c r="A1" t="s"><v>0</v></c>)"
               R"(<c r="B1"><v>1.5</v></c><c r="C1" t="inlineStr"><is><t>新</t></is></c></row>)"
               R"(<row r="5"><c r="A5"><v>2</v></c></row><row r="7"><c r="A7"><v>4</v></c></row>)"
               R"(<row r="9"><c r="A9"><v>3</v></c></row><row r="20"><c r="B20"><v>5</v></c></row>)"
               R"(</sheetData><mergeCells count="1"><mergeCell ref="A1:B1"/></mergeCells>)"),
      std::string::npos)
      << xml;
}

// A sheet of several megabytes is not held between loading and saving: its untouched rows are
// inflated again from the file, whichever way its rows were read.
TEST(XlsxWrite, LargeSheetsAreCopiedThroughFromTheFile) {
  std::string rows;
  for (int row = 1; row <= 50000; ++row) {
    const std::string r = std::to_string(row);
    rows += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"inlineStr\"><is><t>" +
            std::string(row % 50, 'k') + "</t></is></c><c r=\"B" + r + "\"><v>" + r +
            "</v></c></row>";
  }
  for (const char* late : {"", "<!-- read again by the streaming parse -->"}) {
    SCOPED_TRACE(late);
    const std::string sheet = SheetXml(rows + late);
    const Entries saved = WriteAndSave(OneSheetWorkbook(sheet), [](Worksheet& sheet) {
      sheet.Write(1, 3, 7.0);
      sheet.Write(50000, 1, std::string("末"));
    });
    const std::string& xml = saved.at(kSheetPart);
    // Everything between the two rewritten rows is as it was.
    const size_t from = sheet.find("<row r=\"2\">");
    const std::string middle = sheet.substr(from, sheet.find("<row r=\"50000\">") - from);
    EXPECT_NE(xml.find(middle), std::string::npos);
    EXPECT_EQ(ReadBack(saved, 1, 3), CellValue{7.0});
    EXPECT_EQ(ReadBack(saved, 50000, 1), CellValue{std::string("末")});
    EXPECT_EQ(ReadBack(saved, 49999, 2), CellValue{49999.0});
  }
}

// A run that writes to every row: rows are rewritten in batches, half of each on another thread,
// and must come out whole and in order, across batches and around a row left as it was.
TEST(XlsxWrite, EveryRowRewrittenInOrder) {
  std::string rows, expected;
  for (int row = 1; row <= 9000; ++row) {
    const std::string r = std::to_string(row);
    const std::string b = "<c r=\"B" + r + "\"><v>" + r + "</v></c></row>";
    rows += "<row r=\"" + r + "\"><c r=\"A" + r + "\"><v>1</v></c>" + b;
    expected += "<row r=\"" + r + "\">";
    expected += row == 5000 ? "<c r=\"A5000\"><v>1</v></c>"
                            : "<c r=\"A" + r + "\" t=\"inlineStr\"><is><t>z" + r + "</t></is></c>";
    expected += b;
  }
  const Entries saved = WriteAndSave(OneSheetWorkbook(SheetXml(rows)), [](Worksheet& sheet) {
    for (int row = 1; row <= 9000; ++row) {
      if (row != 5000) sheet.Write(row, 1, "z" + std::to_string(row));
    }
  });
  EXPECT_NE(saved.at(kSheetPart).find("<sheetData>" + expected + "</sheetData>"),
            std::string::npos);
}

TEST(XlsxWrite, CellsWithoutReferencesKeepTheirPlace) {
  const Entries saved = WriteAndSave(
      OneSheetWorkbook(
          SheetXml(R"(<row><c><v>1</v></c><c r="9"><v>2</v></c><c><v>3</v></c></row>)")),
      [](Worksheet& sheet) { sheet.Write(1, 2, CellValue{}); });
  EXPECT_EQ(ReadBack(saved, 1, 1), CellValue{1.0});
  EXPECT_EQ(ReadBack(saved, 1, 2), CellValue{});
  EXPECT_EQ(ReadBack(saved, 1, 3), CellValue{3.0});
}

TEST(XlsxWrite, OverwritingFormulasLeavesNoDanglingReferences) {
  const std::string rows =
      R"(<row r="1"><c r="A1"><v>1</v></c><c r="B1"><f t="shared" ref="B1:B3" si="0">A1*2</f><v>2</v></c></row>)"
      R"(<row r="2"><c r="A2"><v>2</v></c><c r="B2"><f t="shared" si="0"/><v>4</v></c></row>)"
      R"(<row r="3"><c r="A3"><v>3</v></c><c r="B3"><f t="shared" si="0"/><v>6</v></c></row>)";
  Entries entries = OneSheetWorkbook(SheetXml(rows));
  entries["xl/calcChain.xml"] =
      R"(<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><c r="B1" i="1"/></calcChain>)";
  entries["xl/_rels/workbook.xml.rels"].insert(
      entries["xl/_rels/workbook.xml.rels"].find("</Relationships>"),
      R"(<Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain" Target="calcChain.xml"/>)");
  entries["[Content_Types].xml"].insert(
      entries["[Content_Types].xml"].find("</Types>"),
      R"(<Override PartName="/xl/calcChain.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/>)");

  const Entries saved =
      WriteAndSave(entries, [](Worksheet& sheet) { sheet.Write(1, 2, std::string("甲")); });
  EXPECT_EQ(saved.count("xl/calcChain.xml"), 0u);
  EXPECT_EQ(saved.at("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
  EXPECT_EQ(saved.at("[Content_Types].xml").find("calcChain"), std::string::npos);
  const std::string& xml = saved.at(kSheetPart);
  EXPECT_EQ(xml.find("t=\"shared\""), std::string::npos) << xml;
  EXPECT_NE(xml.find(R"(<c r="B2"><f>A2*2</f><v>4</v></c>)"), std::string::npos) << xml;
  EXPECT_NE(xml.find(R"(<c r="B3"><f>A3*2</f><v>6</v></c>)"), std::string::npos) << xml;
  EXPECT_EQ(ReadBack(saved, 3, 2), CellValue{6.0});

  // Writing over a plain value keeps the chain.
  const Entries kept = WriteAndSave(entries, [](Worksheet& sheet) { sheet.Write(9, 1, 1.0); });
  EXPECT_EQ(kept.at("xl/calcChain.xml"), entries.at("xl/calcChain.xml"));
}

TEST(XlsxWrite, SaveReplacesAtomicallyOrLeavesEverythingAsItWas) {
  TempFolder folder;
  const Entries entries = OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)"));
  WriteZip(folder / "in.xlsx", entries);

  {  // In place: the file is replaced, and no temporary file stays behind.
    XlsxFileHost host(folder / "in.xlsx");
    host.ActiveWorkbook()->ActiveSheet()->Write(2, 1, 2.0);
    host.ActiveWorkbook()->Save();
    EXPECT_EQ(ReadBack(ReadZip(folder / "in.xlsx"), 2, 1), CellValue{2.0});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
  }
  // Written anew, and read back only now: the archive's times may differ from the first one's.
  WriteZip(folder / "in.xlsx", entries);
  const std::string original = testing::ReadFile(folder / "in.xlsx");

  // Into a folder that cannot be written: the save fails with its prefix and nothing changes.
  // Root may write anywhere, so the save runs in a child without root's rights.
  const std::filesystem::path locked = folder / "locked";
  std::filesystem::create_directory(locked);
  ::chmod(folder.path().c_str(), 0755);
  ::chmod((folder / "in.xlsx").c_str(), 0644);
  ::chmod(locked.c_str(), 0555);
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(2);
    std::string message = "saved";
    try {
      XlsxFileHost host(folder / "in.xlsx", {"", locked / "out.xlsx"});
      host.ActiveWorkbook()->ActiveSheet()->Write(2, 1, 2.0);
      host.ActiveWorkbook()->Save();
    } catch (const HostError& error) {
      message = error.what();
    }
    (void)!::write(pipe_fds[1], message.data(), message.size());
    _exit(0);
  }
  ::close(pipe_fds[1]);
  char buffer[1024];
  const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  const std::string message(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  EXPECT_TRUE(message.starts_with("无法保存工作簿: ")) << message;
  EXPECT_TRUE(std::filesystem::is_empty(locked));
  EXPECT_EQ(testing::ReadFile(folder / "in.xlsx"), original);
}

TEST(XlsxWrite, CustomPropertiesSurviveASaveAndKeepOtherPrograms) {
  const std::string kOthers =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" )"
      R"(xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">)"
      R"(<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="2" name="Owner">)"
      R"(<vt:lpwstr>县局</vt:lpwstr></property>)"
      R"(<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="3" name="Blocks">)"
      R"(<vt:i4>7</vt:i4></property></Properties>)";
  Entries with_others = OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="A1"><v>1</v></c></row>)"));
  with_others["docProps/custom.xml"] = kOthers;
  with_others["_rels/.rels"].insert(
      with_others["_rels/.rels"].find("</Relationships>"),
      R"(<Relationship Id="rId9" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties" Target="docProps/custom.xml"/>)");
  struct Case {
    const char* name;
    Entries entries;
    bool write_cell;
    std::vector<std::string> changed;  // every other part stays byte for byte
  };
  const Case cases[] = {
      {"none before, sheet untouched",
       OneSheetWorkbook(SheetXml("")),
       false,
       {"[Content_Types].xml", "_rels/.rels", "docProps/custom.xml"}},
      {"another program's, cell written",
       with_others,
       true,
       {"[Content_Types].xml", kSheetPart, "docProps/custom.xml"}},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    WriteZip(folder / "in.xlsx", c.entries);
    {
      XlsxFileHost host(folder / "in.xlsx");
      Workbook* workbook = host.ActiveWorkbook();
      ASSERT_TRUE(workbook->SetCustomProperty("blocks", "图斑!A10:D20"));  // case as others use
      ASSERT_TRUE(workbook->SetCustomProperty("Run", "1"));
      ASSERT_TRUE(workbook->SetCustomProperty("Run", "2"));
      if (c.write_cell) workbook->ActiveSheet()->Write(1, 2, 5.0);
      workbook->Save();
    }
    const Entries saved = ReadZip(folder / "in.xlsx");
    for (const auto& [name, bytes] : c.entries) {
      if (std::find(c.changed.begin(), c.changed.end(), name) == c.changed.end()) {
        EXPECT_EQ(saved.at(name), bytes) << c.name << ": " << name;
      }
    }
    XlsxFileHost again(folder / "in.xlsx");
    const Workbook* workbook = again.ActiveWorkbook();
    EXPECT_EQ(workbook->CustomProperty("Blocks"), "图斑!A10:D20") << c.name;
    EXPECT_EQ(workbook->CustomProperty("Run"), "2") << c.name;
    EXPECT_EQ(workbook->CustomProperty("Missing"), std::nullopt) << c.name;
    if (c.entries.count("docProps/custom.xml") != 0) {
      EXPECT_EQ(workbook->CustomProperty("Owner"), "县局");
    }
    const std::string& xml = saved.at("docProps/custom.xml");
    EXPECT_EQ(xml.find("pid=\"4\" name=\"Run\"") == std::string::npos,
              c.entries.count("docProps/custom.xml") == 0)
        << xml;
    EXPECT_NE(saved.at("[Content_Types].xml").find(R"(PartName="/docProps/custom.xml")"),
              std::string::npos);
  }
}

// The writer re-reads each row it rewrites; the quick scan of plain rows must read them as the
// XML parse does.
TEST(XlsxWrite, RowRereadingsAgree) {
  xlsx::SheetLayout layout;
  layout.namespaces = {{"", "http://schemas.openxmlformats.org/spreadsheetml/2006/main"},
                       {"e", "urn:example:extension"}};
  const char* const rows[] = {
      R"(<row r="3" spans="1:4" e:height="0.2"><c r="A3" s="2" t="s"><v>0</v></c>)"
      R"(<c s="1"><v>2</v></c><c r="9"/><c r="D3"><f t="shared" si="0"/><v>4</v></c>)"
      R"(<c r="E3"><f t="shared" ref="E3:E4" si="1">A3</f></c><extLst><ext/></extLst></row>)",
      "<row\n r='4' ht=\"a\tb\r\nc\"  ><c t=\"inlineStr\"><is><t>x</t></is></c>\n</row >",
      R"(<row/>)",
      R"(<row r="5"><c r="B5"><f t="shared" si="2"></f></c></row>)",
      R"(<row r="6"><c r="A6" t="inlineStr"><is><t>a &amp; b &lt; xmlns</t></is></c></row>)",
      R"(<row r="7" e:x="a&amp;b"><c r="A7" s="&#49;"/></row>)",
  };
  for (const char* text : rows) {
    SCOPED_TRACE(text);
    const xlsx::RowXml fast = xlsx::ReadRowXml(text, layout);
    const xlsx::RowXml slow = xlsx::ReadRowXml(text, layout, false);
    EXPECT_EQ(fast.qname, slow.qname);
    EXPECT_EQ(fast.attributes, slow.attributes);
    EXPECT_EQ(std::tie(fast.tail_begin, fast.tail_end), std::tie(slow.tail_begin, slow.tail_end));
    ASSERT_EQ(fast.cells.size(), slow.cells.size());
    for (size_t i = 0; i < slow.cells.size(); ++i) {
      const xlsx::RowCellXml& a = fast.cells[i];
      const xlsx::RowCellXml& b = slow.cells[i];
      EXPECT_EQ(std::tie(a.column, a.begin, a.end, a.start_tag_end, a.qname_length, a.has_ref,
                         a.attributes, a.style, a.shared_index, a.shared_member, a.formula_begin,
                         a.formula_end),
                std::tie(b.column, b.begin, b.end, b.start_tag_end, b.qname_length, b.has_ref,
                         b.attributes, b.style, b.shared_index, b.shared_member, b.formula_begin,
                         b.formula_end))
          << "cell " << i;
    }
  }
}

// A reader reused from row to row keeps nothing of one row in the next: a declaration made on
// one row must not be written again on a later row that has none.
TEST(XlsxWrite, RowRereadingForgetsTheRowBefore) {
  xlsx::SheetLayout layout;
  layout.namespaces = {{"", "http://schemas.openxmlformats.org/spreadsheetml/2006/main"},
                       {"e", "urn:example:b"}};
  xlsx::RowXmlReader reader(layout);
  reader.Read(R"(<row r="1" xmlns:e="urn:example:a" e:k="1"><c r="A1"/></row>)");
  const xlsx::RowXml& plain = reader.Read(R"(<row r="2" e:k="2"><c r="A2"/></row>)");
  EXPECT_TRUE(plain.declarations.empty());
  EXPECT_EQ(plain.attributes.size(), 2u);
  EXPECT_EQ(plain.cells.size(), 1u);
}

TEST(XlsxWrite, NumbersInShortestRoundTripForm) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {{0.0, "0"},
                        {-0.0, "0"},
                        {111, "111"},
                        {2.5, "2.5"},
                        {1234.5678, "1234.5678"},
                        {1e-7, "1e-07"},
                        {123456789012345680, "123456789012345680"}};
  for (const Case& c : cases) EXPECT_EQ(xlsx::NumberXml(c.value), c.text) << c.value;
}

// A template saved under a workbook's name declares a workbook, or spreadsheet programs refuse
// the file; saved in place it stays a template. Unchanged copies (-o without a change) too.
TEST(XlsxWrite, WorkbookTypeFollowsTheSavedName) {
  const std::string kTemplate =
      "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml";
  const std::string kWorkbook =
      "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
  struct Case {
    const char* name;  // in.xltx: saved in place
    bool write;
    const std::string& expected;
  } cases[] = {{"out.xlsx", true, kWorkbook},
               {"out.XLSX", false, kWorkbook},
               {"in.xltx", true, kTemplate}};
  for (const Case& c : cases) {
    Entries entries = OneSheetWorkbook(SheetXml(R"(<row r="1"><c r="A1"><v>5</v></c></row>)"));
    std::string& types = entries["[Content_Types].xml"];
    types.replace(types.find(kWorkbook), kWorkbook.size(), kTemplate);
    TempFolder folder;
    WriteZip(folder / "in.xltx", entries);
    const bool in_place = std::string(c.name) == "in.xltx";
    XlsxHostOptions options;
    if (!in_place) options.output = folder / c.name;
    XlsxFileHost host(folder / "in.xltx", options);
    if (c.write) host.ActiveWorkbook()->ActiveSheet()->Write(12, 1, 1.0);
    host.ActiveWorkbook()->Save();
    const std::string saved = ReadZip(folder / c.name).at("[Content_Types].xml");
    EXPECT_NE(saved.find(R"(PartName="/xl/workbook.xml" ContentType=")" + c.expected + '"'),
              std::string::npos)
        << c.name << ' ' << c.write << '\n'
        << saved;
  }
}

}  // namespace
}  // namespace quilmark

namespace quilmark::xlsx {
namespace {

// A part read as UTF-16 (Content_Types, custom properties) and written back is UTF-8 and says so.
TEST(XlsxWrite, RewrittenPartsDeclareUtf8) {
  for (const char* encoding : {"UTF-16", "utf-16", "UTF-8"}) {
    pugi::xml_document doc;
    ParseSmallXml(doc,
                  std::string(R"(<?xml version="1.0" encoding=")") + encoding +
                      R"(" standalone="yes"?><Types/>)",
                  "[Content_Types].xml");
    EXPECT_EQ(SerializeSmallXml(doc),
              R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Types/>)")
        << encoding;
  }
}

}  // namespace
}  // namespace quilmark::xlsx
