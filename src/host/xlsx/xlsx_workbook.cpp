#include "src/host/xlsx/xlsx_workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <pugixml.hpp>

#include "src/host/xlsx/file_guard.h"
#include "src/host/xlsx/package.h"
#include "src/host/xlsx/parallel_deflate.h"
#include "src/host/xlsx/sheet_writer.h"
#include "src/host/xlsx/xml_util.h"

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

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// libzip source callback that hands over the new worksheet XML already compressed: libzip
// copies compressed data as it is when the entry's method matches it.
struct SheetSource {
  const DeflatedPart* part;
  size_t block = 0;
  size_t offset = 0;
  zip_error_t error;
};

zip_int64_t SheetSourceCallback(void* state, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
  auto* source = static_cast<SheetSource*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      source->block = 0;
      source->offset = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      auto* out = static_cast<char*>(data);
      zip_uint64_t written = 0;
      const std::vector<std::string>& blocks = source->part->blocks;
      while (written < length && source->block < blocks.size()) {
        const std::string& block = blocks[source->block];
        const size_t n = std::min<size_t>(length - written, block.size() - source->offset);
        std::memcpy(out + written, block.data() + source->offset, n);
        written += n;
        source->offset += n;
        if (source->offset == block.size()) {
          ++source->block;
          source->offset = 0;
        }
      }
      return static_cast<zip_int64_t>(written);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->mtime = std::time(nullptr);
      st->size = source->part->size;
      st->comp_size = source->part->compressed_size;
      st->crc = source->part->crc;
      st->comp_method = ZIP_CM_DEFLATE;
      st->valid |=
          ZIP_STAT_MTIME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(std::filesystem::path path, const std::string& sheet,
                           std::filesystem::path output)
    : path_(std::move(path)), output_(std::move(output)) {
  try {
    Load(sheet);
  } catch (const PackageError& e) {
    LoadFailure(path_, e.what());
  } catch (const std::bad_alloc&) {
    LoadFailure(path_, "内存不足");
  }
}

std::string XlsxWorkbook::Name() const { return path_.filename().string(); }

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

  pugi::xml_document workbook;
  const std::string workbook_text = package.Read(workbook_part_);
  ParseSmallXml(workbook, workbook_text, workbook_part_);
  const pugi::xml_node root = workbook.document_element();
  if (LocalName(root.name()) != "workbook") {
    throw PackageError("部件 " + workbook_part_ + " 不是工作簿 (文档可能是其他类型)");
  }

  std::string shared_strings_part;
  const std::vector<Relationship> rels = package.RelationshipsOf(workbook_part_);
  for (const Relationship& rel : rels) {
    if (TypeIs(rel.type, "sharedStrings")) shared_strings_part = rel.target;
    if (TypeIs(rel.type, "calcChain")) calc_chain_part_ = rel.target;
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

  size_t active = 0;
  if (!wanted_sheet.empty()) {
    active = sheets_.size();
    for (size_t i = 0; i < sheets_.size() && active == sheets_.size(); ++i) {
      if (sheets_[i].name == wanted_sheet) active = i;
    }
    for (size_t i = 0; i < sheets_.size() && active == sheets_.size(); ++i) {
      if (EqualsIgnoringAsciiCase(sheets_[i].name, wanted_sheet)) active = i;
    }
    if (active == sheets_.size()) {
      throw PackageError("工作簿中没有名为 \"" + wanted_sheet + "\" 的工作表");
    }
  } else {
    const pugi::xml_node view = Child(Child(root, "bookViews"), "workbookView");
    const int tab = view.attribute("activeTab").as_int(0);
    // A tab number that names no sheet opens the first one.
    if (tab >= 0 && static_cast<size_t>(tab) < sheets_.size()) active = static_cast<size_t>(tab);
  }

  const SheetEntry& entry = sheets_[active];
  active_name_ = entry.name;
  if (entry.part.empty()) {
    throw PackageError("工作表 \"" + entry.name + "\" 在工作簿的关系中找不到它的部件");
  }
  if (!package.Has(entry.part)) {
    throw PackageError("工作表 \"" + entry.name + "\" 的部件 " + entry.part + " 不在压缩包中");
  }
  if (!entry.worksheet) {  // a chart, dialog or macro sheet: nothing to read
    package.VerifyAll({});
    return;
  }

  sheet_part_ = entry.part;
  sheet_ = std::make_unique<XlsxSheet>(entry.name);
  if (!shared_strings_part.empty() && package.Has(shared_strings_part)) {
    ReadSharedStrings(package, shared_strings_part, sheet_->model());
  }
  ReadWorksheet(package, sheet_part_, sheet_->model(), sheet_->xml(), sheet_->layout());
  package.VerifyAll({sheet_part_, shared_strings_part});
}

void XlsxWorkbook::Save() {
  if (saved_) SaveFailure(output_.empty() ? path_ : output_, "工作簿已经保存过一次");
  saved_ = true;
  CheckWritableTarget(output_.empty() ? path_ : output_);  // again: the run may have taken a while
  std::filesystem::path target = output_.empty() ? path_ : output_;
  std::error_code ec;
  // Saving through a link writes the file it points to.
  if (std::filesystem::is_symlink(target, ec)) {
    const std::filesystem::path resolved = std::filesystem::canonical(target, ec);
    if (!ec) target = resolved;
  }
  const bool changed = sheet_ != nullptr && sheet_->model().changed();
  if (!changed) {
    if (!output_.empty()) {
      WriteFileAtomically(target, [&](int fd) {
        size_t done = 0;
        while (done < bytes_.size()) {
          const ssize_t n = ::write(fd, bytes_.data() + done, bytes_.size() - done);
          if (n < 0 && errno == EINTR) continue;
          if (n < 0) SaveFailure(target, "写入出错 (" + SystemReason(errno) + ")");
          done += static_cast<size_t>(n);
        }
      });
    }
    return;
  }
  WritePackage(target);
}

void XlsxWorkbook::WritePackage(const std::filesystem::path& target) {
  zip_error_t error;
  zip_error_init(&error);
  // libzip takes ownership of the bytes it writes over (and frees them with free()), so it
  // gets a copy of its own.
  void* copy = std::malloc(std::max<size_t>(bytes_.size(), 1));
  if (copy == nullptr) SaveFailure(target, "内存不足");
  std::memcpy(copy, bytes_.data(), bytes_.size());
  zip_source_t* memory = zip_source_buffer_create(copy, bytes_.size(), 1, &error);
  if (memory == nullptr) {
    std::free(copy);
    SaveFailure(target, zip_error_strerror(&error));
  }
  zip_source_keep(memory);
  std::unique_ptr<zip_source_t, void (*)(zip_source_t*)> memory_owner(memory, zip_source_free);
  zip_t* archive = zip_open_from_source(memory, 0, &error);
  if (archive == nullptr) {
    const std::string reason = zip_error_strerror(&error);
    zip_error_fini(&error);
    SaveFailure(target, reason);
  }
  zip_error_fini(&error);
  std::unique_ptr<zip_t, void (*)(zip_t*)> archive_owner(archive, zip_discard);
  const auto fail = [&](const std::string& reason) { SaveFailure(target, reason); };

  DeflatedPart sheet_xml;  // filled in just before the package is written
  SheetSource sheet_source{&sheet_xml, 0, 0, {}};
  zip_error_init(&sheet_source.error);
  const zip_int64_t sheet_index = zip_name_locate(archive, sheet_part_.c_str(), ZIP_FL_ENC_RAW);
  zip_source_t* source = zip_source_function(archive, SheetSourceCallback, &sheet_source);
  if (sheet_index < 0 || source == nullptr) fail(zip_strerror(archive));
  // libzip keeps an entry's method only for one it did not have before, so the sheet is removed
  // and added again (at the end of the package, where order does not matter).
  zip_int64_t new_index = -1;
  if (zip_delete(archive, static_cast<zip_uint64_t>(sheet_index)) < 0 ||
      (new_index = zip_file_add(archive, sheet_part_.c_str(), source, ZIP_FL_ENC_UTF_8)) < 0) {
    zip_source_free(source);
    fail(zip_strerror(archive));
  }
  zip_set_file_compression(archive, static_cast<zip_uint64_t>(new_index), ZIP_CM_DEFLATE, 1);
  // A package may hold a second entry of the same name, which other readers might take for the
  // sheet; only the one that was read and written stays.
  const zip_int64_t entries = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (i != new_index && name != nullptr && sheet_part_ == name) {
      zip_delete(archive, static_cast<zip_uint64_t>(i));
    }
  }

  // A calculation chain that lists a cell which no longer holds a formula makes spreadsheet
  // programs report the file as damaged; they rebuild a missing one, so it goes.
  std::vector<std::string> replacements;
  replacements.reserve(2);
  const auto replace_part = [&](const std::string& part, std::string text) {
    replacements.push_back(std::move(text));
    const std::string& kept = replacements.back();
    const zip_int64_t index = zip_name_locate(archive, part.c_str(), ZIP_FL_ENC_RAW);
    zip_source_t* part_source = zip_source_buffer(archive, kept.data(), kept.size(), 0);
    if (index < 0 || part_source == nullptr ||
        zip_file_replace(archive, static_cast<zip_uint64_t>(index), part_source, 0) < 0) {
      if (part_source != nullptr) zip_source_free(part_source);
      fail(zip_strerror(archive));
    }
  };
  if (sheet_->model().formula_overwritten() && !calc_chain_part_.empty()) {
    const zip_int64_t chain = zip_name_locate(archive, calc_chain_part_.c_str(), ZIP_FL_ENC_RAW);
    if (chain >= 0) {
      try {
        const Package package(bytes_);
        const std::string rels_part = RelationshipsPartOf(workbook_part_);
        pugi::xml_document rels;
        ParseSmallXml(rels, package.Read(rels_part), rels_part);
        for (pugi::xml_node node = rels.document_element().first_child(); node;) {
          const pugi::xml_node next = node.next_sibling();
          if (TypeIs(node.attribute("Type").value(), "calcChain")) {
            rels.document_element().remove_child(node);
          }
          node = next;
        }
        pugi::xml_document types;
        ParseSmallXml(types, package.Read("[Content_Types].xml"), "[Content_Types].xml");
        const std::string chain_name = "/" + calc_chain_part_;
        for (pugi::xml_node node = types.document_element().first_child(); node;) {
          const pugi::xml_node next = node.next_sibling();
          if (LocalName(node.name()) == "Override" &&
              EqualsIgnoringAsciiCase(node.attribute("PartName").value(), chain_name)) {
            types.document_element().remove_child(node);
          }
          node = next;
        }
        if (zip_delete(archive, static_cast<zip_uint64_t>(chain)) < 0) fail(zip_strerror(archive));
        replace_part(rels_part, SerializeSmallXml(rels));
        replace_part("[Content_Types].xml", SerializeSmallXml(types));
      } catch (const PackageError& e) {
        fail(e.what());
      }
    }
  }

  // The loaded bytes are no longer needed (libzip has its own copy); freeing them keeps the
  // peak memory of saving a large workbook down.
  std::string().swap(bytes_);
  // The new worksheet, made from the kept XML and the run's changes and compressed at level 1
  // (several times faster than the default on a large sheet) on every core.
  try {
    SheetXmlWriter writer(sheet_->xml(), sheet_->layout(), sheet_->model());
    // The writer reads the kept XML from front to back, so what it has passed is freed as it goes.
    sheet_xml = DeflateInParallel(
        [&](char* out, size_t capacity) {
          const size_t n = writer.Read(out, capacity);
          sheet_->xml().ReleaseBefore(writer.position());
          return n;
        },
        1);
  } catch (const PackageError& e) {
    fail(std::string("无法生成工作簿 (") + e.what() + ")");
  } catch (const std::bad_alloc&) {
    fail("内存不足");
  }
  // Only the compressed sheet is needed from here on; the kept XML is the largest thing held.
  sheet_->xml().Release();
  if (zip_close(archive) < 0) {
    fail(std::string("无法生成工作簿 (") + zip_strerror(archive) + ")");
  }
  archive_owner.release();

  WriteFileAtomically(target, [&](int fd) {
    if (zip_source_open(memory) < 0) fail(zip_error_strerror(zip_source_error(memory)));
    std::vector<char> buffer(1 << 20);
    for (;;) {
      const zip_int64_t n = zip_source_read(memory, buffer.data(), buffer.size());
      if (n < 0) {
        zip_source_close(memory);
        fail(zip_error_strerror(zip_source_error(memory)));
      }
      if (n == 0) break;
      size_t done = 0;
      while (done < static_cast<size_t>(n)) {
        const ssize_t w = ::write(fd, buffer.data() + done, static_cast<size_t>(n) - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) {
          const int error_number = errno;
          zip_source_close(memory);
          fail("写入出错 (" + SystemReason(error_number) + ")");
        }
        done += static_cast<size_t>(w);
      }
    }
    zip_source_close(memory);
  });
}

void WriteFileAtomically(const std::filesystem::path& target,
                         const std::function<void(int fd)>& write_all) {
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    SaveFailure(target,
                "无法在文件夹 " + folder.string() + " 中建立文件 (" + SystemReason(errno) + ")");
  }
  // The result keeps the permissions of the file it replaces, or gets the usual ones.
  struct stat existing {};
  mode_t mode;
  const bool replacing = ::stat(target.c_str(), &existing) == 0;
  if (replacing) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool open = true;
  try {
    write_all(fd);
    // And its owner where this process may give it (root saving a user's file); the owner is
    // set first because changing it clears the set-id bits.
    if (replacing) (void)!::fchown(fd, existing.st_uid, existing.st_gid);
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
      SaveFailure(target, "写入出错 (" + SystemReason(errno) + ")");
    }
    open = false;
    if (::close(fd) != 0) SaveFailure(target, "写入出错 (" + SystemReason(errno) + ")");
  } catch (...) {
    if (open) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    SaveFailure(target, "无法替换文件 (" + SystemReason(error) + ")");
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace quilmark::xlsx
