#include "src/host/gdal/shapefile_checks.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "src/host/gdal/dataset_open.h"

namespace quilmark {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The file beside `path` with the same stem and the extension in either case, if it exists.
std::optional<fs::path> Sibling(const fs::path& path, const std::string& lower_extension) {
  std::string upper = lower_extension;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& extension : {lower_extension, upper}) {
    fs::path candidate = path;
    candidate.replace_extension(extension);
    std::error_code error;
    if (fs::exists(candidate, error)) return candidate;
  }
  return std::nullopt;
}

// Language driver bytes that name no particular code page: none, and the "ANSI" of the writing
// machine, which on the machines these files come from is GBK.
bool NamesNoCodePage(uint8_t driver) { return driver == 0x00 || driver == 0x57; }

struct DbfHeader {
  uint32_t records = 0;
  uint16_t header_length = 0;
  uint16_t record_length = 0;
  uint8_t language_driver = 0;
};

std::optional<DbfHeader> ReadHeader(const fs::path& dbf) {
  std::ifstream in(dbf, std::ios::binary);
  std::array<unsigned char, 32> bytes{};
  if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) return std::nullopt;
  DbfHeader header;
  header.records =
      bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24;
  header.header_length = static_cast<uint16_t>(bytes[8] | bytes[9] << 8);
  header.record_length = static_cast<uint16_t>(bytes[10] | bytes[11] << 8);
  header.language_driver = bytes[29];
  return header;
}

}  // namespace

std::optional<fs::path> CheckedDbf(const fs::path& path) {
  const std::string extension = Lower(Utf8(path.extension()));
  if (extension != ".shp" && extension != ".dbf") return std::nullopt;
  std::optional<fs::path> dbf = extension == ".dbf" ? std::optional(path) : Sibling(path, ".dbf");
  if (!dbf) {
    ThrowLayerError(
        Utf8(path.filename()) + " 缺少属性表文件 " +
        Utf8(fs::path(path).replace_extension(".dbf").filename()) +
        " (它应与 .shp 同名并在同一文件夹); 请把整套文件 (.shp .shx .dbf .prj .cpg) 放在一起");
  }
  std::error_code error;
  const uintmax_t size = fs::file_size(*dbf, error);
  if (error) return dbf;  // unreadable: the open reports why
  std::optional<DbfHeader> header = ReadHeader(*dbf);
  const bool whole = header && header->header_length >= 33 && header->record_length >= 1 &&
                     size >= header->header_length +
                                 static_cast<uintmax_t>(header->records) * header->record_length;
  if (!whole) {
    ThrowLayerError(Utf8(dbf->filename()) +
                    " 已损坏: 文件头不是 .dbf 文件头, 或文件比文件头所记的记录数短; "
                    "请从原处重新导出或复制该文件");
  }
  return dbf;
}

std::optional<std::string> FallbackDbfEncoding(const fs::path& dbf) {
  if (Sibling(dbf, ".cpg")) return std::nullopt;
  std::optional<DbfHeader> header = ReadHeader(dbf);
  if (!header || !NamesNoCodePage(header->language_driver)) return std::nullopt;
  return "CP936";
}

}  // namespace quilmark
