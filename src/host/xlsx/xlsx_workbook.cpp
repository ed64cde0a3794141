#include "src/host/xlsx/xlsx_workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <set>

#include "src/host/atomic_file.h"
#include "src/host/xlsx/file_guard.h"
#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/package/package_editor.h"
#include "src/host/xlsx/package/package_parts.h"
#include "src/host/xlsx/package/parallel_deflate.h"
#include "src/host/xlsx/package/write_all.h"
#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/workbook_type.h"
#include "src/host/xlsx/write/number_formats.h"
#include "src/host/xlsx/write/part_text.h"
#include "src/host/xlsx/write/sheet_writer.h"

namespace quilmark::xlsx {
namespace {

constexpr std::string_view kLoadPrefix = "无法读取工作簿: ";
constexpr std::string_view kSavePrefix = "无法保存工作簿: ";

[[noreturn]] void LoadFailure(const std::filesystem::path& path, const std::string& reason) {
  throw HostError(std::string(kLoadPrefix) + path.string() + ": " + reason);
}

[[noreturn]] void SaveFailure(const std::filesystem::path& path, const std::string& reason) {
  throw HostError(std::string(kSavePrefix) + path.string() + ": " + reason);
}

std::string SystemReason(int error) { return std::strerror(error); }

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    if (ec && ec != std::errc::no_such_file_or_directory) LoadFailure(path, ec.message());
    LoadFailure(path, "文件不存在");
  }
  if (std::filesystem::is_directory(status)) LoadFailure(path, "这是一个文件夹, 不是工作簿文件");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) LoadFailure(path, "无法打开文件 (" + SystemReason(errno) + ")");
  std::string bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
      ::close(fd);
      LoadFailure(path, "文件大于 1024 MB, 拒绝读取");
    }
    bytes.reserve(static_cast<size_t>(st.st_size));
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      LoadFailure(path, "读取文件出错 (" + SystemReason(error) + ")");
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
    if (bytes.size() > kMaxFileBytes) {
      ::close(fd);
      LoadFailure(path, "文件大于 1024 MB, 拒绝读取");
    }
  }
  ::close(fd);
  return bytes;
}

// The value of a namespaced attribute with this local name (r:id), whatever its prefix.
std::string_view PrefixedAttribute(const pugi::xml_node node, std::string_view local) {
  for (const pugi::xml_attribute attribute : node.attributes()) {
    const std::string_view name = attribute.name();
    if (name.find(':') != std::string_view::npos && LocalName(name) == local &&
        !name.starts_with("xmlns")) {
      return attribute.value();
    }
  }
  return {};
}

pugi::xml_node Child(const pugi::xml_node node, std::string_view local) {
  for (const pugi::xml_node child : node.children()) {
    if (LocalName(child.name()) == local) return child;
  }
  return {};
}

// Folders and empty parts: reading skips their local headers, but a save copies each with its
// header, so damage there would show only when the result is written.
void CheckEmptyPartsCopy(const std::string& bytes) {
  try {
    PackageEditor trial(bytes);
    trial.KeepOnlyEmptyParts();
    trial.TryCopy();
  } catch (const PackageError& error) {
    throw PackageError(std::string("压缩包中文件夹或空部件的文件头已损坏 (") + error.what() + ")");
  }
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(std::filesystem::path path, const std::string& sheet,
                           std::filesystem::path output, std::optional<uint64_t> defer_rows_from)
    : path_(std::move(path)), output_(std::move(output)), defer_rows_from_(defer_rows_from) {
  try {
    Load(sheet);
  } catch (const PackageError& e) {
    LoadFailure(path_, e.what());
  } catch (const std::bad_alloc&) {
    LoadFailure(path_, "内存不足");
  }
}

std::string XlsxWorkbook::Name() const { return path_.filename().string(); }

std::optional<std::string> XlsxWorkbook::CustomProperty(std::string_view name) const {
  return properties_readable_ ? properties_.Get(name) : std::nullopt;
}

bool XlsxWorkbook::SetCustomProperty(std::string_view name, std::string value) {
  if (!properties_readable_) return false;
  properties_.Set(name, value);
  return true;
}

void XlsxWorkbook::LoadCustomProperties(const Package& package) {
  properties_part_ = std::string(kCustomPropertiesPart);
  for (const Relationship& rel : package.RelationshipsOf("")) {
    if (IsCustomPropertiesRelationship(rel.type) && !rel.target.empty()) {
      properties_part_ = rel.target;
      properties_related_ = true;
      break;
    }
  }
  try {
    properties_.Load(package.Has(properties_part_) ? package.Read(properties_part_) : "",
                     properties_part_);
  } catch (const PackageError&) {
    // Damaged properties do not stop a run; they are kept as they are, and none is set.
    properties_readable_ = false;
  }
}

bool XlsxWorkbook::HasWorksheet(std::string_view name) const {
  for (const SheetEntry& entry : sheets_) {
    if (entry.worksheet && EqualsIgnoringAsciiCase(entry.name, name)) return true;
  }
  return false;
}

void XlsxWorkbook::Load(const std::string& wanted_sheet) {
  bytes_ = ReadFileBytes(path_);
  if (bytes_.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
    throw PackageError(
        "这是加密的工作簿或旧版 .xls 文件; 请在电子表格程序中取消密码或另存为 .xlsx 后再试");
  }
  Package package(bytes_);
  CheckIsWorkbook(package);
  pugi::xml_document workbook;
  const std::string workbook_text = package.Read(workbook_part_);
  ParseSmallXml(workbook, workbook_text, workbook_part_);
  const pugi::xml_node root = workbook.document_element();
  if (LocalName(root.name()) != "workbook") {
    throw PackageError("部件 " + workbook_part_ + " 不是工作簿 (文档可能是其他类型)");
  }
  const std::string shared_strings_part = ReadSheetList(package, root);
  const SheetEntry& entry = sheets_[ChooseSheet(wanted_sheet, root)];
  active_name_ = entry.name;
  if (entry.part.empty()) {
    throw PackageError("工作表 \"" + entry.name + "\" 在工作簿的关系中找不到它的部件");
  }
  if (!package.Has(entry.part)) {
    throw PackageError("工作表 \"" + entry.name + "\" 的部件 " + entry.part + " 不在压缩包中");
  }
  LoadCustomProperties(package);
  if (!entry.worksheet) {  // a chart, dialog or macro sheet: nothing to read
    package.VerifyAll({});
    CheckEmptyPartsCopy(bytes_);
    return;
  }
  sheet_part_ = entry.part;
  sheet_ = std::make_unique<XlsxSheet>(entry.name);
  if (!shared_strings_part.empty() && package.Has(shared_strings_part)) {
    ReadSharedStrings(package, shared_strings_part, sheet_->model());
  }
  const uint64_t sheet_size = package.DeclaredSize(sheet_part_).value_or(UINT64_MAX);
  if (defer_rows_from_ && sheet_size >= *defer_rows_from_) {
    package.VerifyAll({sheet_part_, shared_strings_part});
    CheckEmptyPartsCopy(bytes_);
    sheet_->DeferRows([this](SheetModel& model, SheetLayout& layout) { LoadRows(model, layout); });
    return;
  }
  ByteChunks xml;  // only a window of it is held while reading; saving inflates it again
  ReadWorksheet(package, sheet_part_, sheet_->model(), xml, sheet_->layout());
  package.VerifyAll({sheet_part_, shared_strings_part});
  CheckEmptyPartsCopy(bytes_);
}

void XlsxWorkbook::LoadRows(SheetModel& model, SheetLayout& layout) const {
  try {
    const Package package(bytes_);
    ByteChunks xml;
    ReadWorksheet(package, sheet_part_, model, xml, layout);
  } catch (const PackageError& e) {
    LoadFailure(path_, e.what());
  } catch (const std::bad_alloc&) {
    LoadFailure(path_, "内存不足");
  }
}

void XlsxWorkbook::CheckIsWorkbook(const Package& package) {
  if (package.Has("mimetype") && !package.Has("[Content_Types].xml")) {
    throw PackageError(
        "这是 OpenDocument 文件 (如 .ods), 不是 .xlsx 工作簿; 请另存为 .xlsx 后再试");
  }
  if (!package.Has("[Content_Types].xml")) {
    throw PackageError("压缩包中没有工作簿 (缺少 [Content_Types].xml), 不是 .xlsx 文件");
  }
  for (const Relationship& rel : package.RelationshipsOf("")) {
    if (TypeIs(rel.type, "officeDocument") && !rel.target.empty()) {
      workbook_part_ = rel.target;
      break;
    }
  }
  if (workbook_part_.empty()) throw PackageError("压缩包中没有工作簿 (包的关系中找不到工作簿部件)");
  if (!package.Has(workbook_part_)) {
    throw PackageError("压缩包中缺少工作簿部件 " + workbook_part_);
  }
  // Only a save under another name reads it again; a content-types part spreadsheet programs
  // open anyway is not refused here for being hard to read.
  try {
    workbook_type_ = OverrideType(package.Read("[Content_Types].xml"), workbook_part_);
  } catch (const PackageError&) {
    workbook_type_.clear();
  }
}

std::string XlsxWorkbook::ReadSheetList(const Package& package, const pugi::xml_node& root) {
  std::string shared_strings_part;
  const std::vector<Relationship> rels = package.RelationshipsOf(workbook_part_);
  for (const Relationship& rel : rels) {
    if (TypeIs(rel.type, "sharedStrings")) shared_strings_part = rel.target;
    if (TypeIs(rel.type, "calcChain")) calc_chain_part_ = rel.target;
    if (TypeIs(rel.type, "styles")) styles_part_ = rel.target;
  }
  for (const pugi::xml_node node : Child(root, "sheets").children()) {
    if (LocalName(node.name()) != "sheet") continue;
    SheetEntry entry;
    entry.name = node.attribute("name").value();
    const std::string_view id = PrefixedAttribute(node, "id");
    for (const Relationship& rel : rels) {
      if (!id.empty() && rel.id == id) {
        entry.part = rel.target;
        entry.worksheet = TypeIs(rel.type, "worksheet");
      }
    }
    sheets_.push_back(std::move(entry));
  }
  if (sheets_.empty()) throw PackageError("工作簿中没有任何工作表");
  return shared_strings_part;
}

size_t XlsxWorkbook::ChooseSheet(const std::string& wanted_sheet,
                                 const pugi::xml_node& root) const {
  if (wanted_sheet.empty()) {
    const pugi::xml_node view = Child(Child(root, "bookViews"), "workbookView");
    const int tab = view.attribute("activeTab").as_int(0);
    // A tab number that names no sheet opens the first one.
    return tab >= 0 && static_cast<size_t>(tab) < sheets_.size() ? static_cast<size_t>(tab) : 0;
  }
  for (size_t i = 0; i < sheets_.size(); ++i) {
    if (sheets_[i].name == wanted_sheet) return i;
  }
  for (size_t i = 0; i < sheets_.size(); ++i) {
    if (EqualsIgnoringAsciiCase(sheets_[i].name, wanted_sheet)) return i;
  }
  throw PackageError("工作簿中没有名为 \"" + wanted_sheet + "\" 的工作表");
}

void XlsxWorkbook::Save() {
  if (saved_) SaveFailure(output_.empty() ? path_ : output_, "工作簿已经保存过一次");
  saved_ = true;
  CheckWritableTarget(output_.empty() ? path_ : output_);  // again: the run may have taken a while
  const std::filesystem::path target = WrittenFileOf(output_.empty() ? path_ : output_);
  const bool changed = (sheet_ != nullptr && sheet_->model().changed()) || properties_.changed() ||
                       WorkbookTypeForName(workbook_type_, target);
  if (changed) {
    WritePackage(target);
  } else if (!output_.empty()) {
    WriteFileAtomically(target, [&](int fd, const std::filesystem::path&) {
      if (!WriteAll(fd, bytes_.data(), bytes_.size())) {
        SaveFailure(target, "写入出错 (" + SystemReason(errno) + ")");
      }
    });
  }
}

// The worksheet as the run left it, made while the package is written: from the sheet's text,
// inflated again from the loaded file as the writer goes, and the run's changes. The blocks are
// planned in order and made and compressed on every core.
struct XlsxWorkbook::SheetOutput {
  SheetOutput(const std::string& bytes, const std::string& part, const SheetLayout& layout,
              const SheetModel& model)
      : package(bytes),
        text(SheetText(package, part, layout.encoding)),
        writer(text, layout, model),
        deflate([this] { return NextBlock(); }) {}

  MakeText NextBlock() {
    auto block = std::make_shared<SheetBlock>();
    if (!Generating([&] { return writer.PlanBlock(*block); })) return {};
    return [this, block](std::string& out) {
      Generating([&] {
        writer.MakeBlock(*block, out);
        return true;
      });
    };
  }

  template <typename Step>
  static bool Generating(Step step) {
    try {
      return step();
    } catch (const PackageError& e) {
      throw PackageError(std::string("无法生成工作簿 (") + e.what() + ")");
    }
  }

  const Package package;
  PartText text;
  SheetXmlWriter writer;
  DeflateStream deflate;  // last: its threads read through the others
};

void XlsxWorkbook::WritePackage(const std::filesystem::path& target) {
  try {
    PackageEditor editor(bytes_);
    for (auto& [part, text] : EditSmallParts(editor, target)) editor.Put(part, std::move(text));
    std::unique_ptr<SheetOutput> sheet_xml;
    if (sheet_ != nullptr && sheet_->model().changed()) {
      sheet_xml =
          std::make_unique<SheetOutput>(bytes_, sheet_part_, sheet_->layout(), sheet_->model());
      editor.PutDeflated(sheet_part_, &sheet_xml->deflate);
    }
    WriteFileAtomically(target, [&](int fd, const std::filesystem::path&) { editor.WriteTo(fd); });
  } catch (const PackageError& e) {
    SaveFailure(target, e.what());
  } catch (const std::bad_alloc&) {
    SaveFailure(target, "内存不足");
  }
}

std::vector<std::pair<std::string, std::string>> XlsxWorkbook::EditSmallParts(
    PackageEditor& editor, const std::filesystem::path& target) {
  const Package package(bytes_);
  std::vector<std::pair<std::string, std::string>> parts;
  // Each edit starts from the text an earlier edit left.
  const auto text = [&](const std::string& part) -> std::string& {
    for (auto& [name, kept] : parts) {
      if (name == part) return kept;
    }
    parts.emplace_back(part, package.Has(part) ? package.Read(part) : std::string());
    return parts.back().second;
  };
  const std::string types = "[Content_Types].xml";
  // A calculation chain that lists a cell which no longer holds a formula makes spreadsheet
  // programs report the file as damaged; they rebuild a missing one, so it goes.
  if (sheet_ != nullptr && sheet_->model().formula_overwritten() && !calc_chain_part_.empty() &&
      package.Has(calc_chain_part_)) {
    const std::string rels = RelationshipsPartOf(workbook_part_);
    text(rels) = WithoutRelationships(text(rels), rels, "calcChain");
    text(types) = WithoutOverride(text(types), calc_chain_part_);
    editor.Remove(calc_chain_part_);
  }
  if (properties_.changed()) {
    text(properties_part_) = properties_.Serialize();
    text(types) = WithOverride(text(types), properties_part_, kCustomPropertiesType);
    if (!properties_related_) {
      const std::string rels = RelationshipsPartOf("");
      text(rels) =
          WithRelationship(text(rels), rels, kCustomPropertiesRelationship, properties_part_);
    }
  }
  if (const auto type = WorkbookTypeForName(workbook_type_, target)) {
    text(types) = WithOverrideType(text(types), workbook_part_, *type);
  }
  AddDecimalStyles(package, text);
  return parts;
}

// Rounded areas the run wrote get a number format with their decimals. A workbook without a styles
// part keeps none: its cells show as they would.
void XlsxWorkbook::AddDecimalStyles(const Package& package,
                                    const std::function<std::string&(const std::string&)>& text) {
  if (sheet_ == nullptr || sheet_->model().decimals().empty()) return;
  if (styles_part_.empty() || !package.Has(styles_part_)) return;
  std::set<int> wanted;
  for (const auto& [cell, decimals] : sheet_->model().decimals()) wanted.insert(decimals);
  std::map<int, uint32_t> styles;
  std::optional<std::string> edited =
      WithDecimalStyles(text(styles_part_), styles_part_, wanted, styles);
  if (!edited) return;
  text(styles_part_) = std::move(*edited);
  for (const auto& [decimals, index] : styles) {
    sheet_->layout().decimal_styles[decimals] = std::to_string(index);
  }
}

}  // namespace quilmark::xlsx
