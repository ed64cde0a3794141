#include "src/host/zone_transform.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "src/host/sheet_host.h"
#include "src/host/text_encoding.h"

namespace quilmark {
namespace {

constexpr std::string_view kNamesError = "无法读取区域名称表: ";

[[noreturn]] void Fail(const std::string& path, const std::string& text) {
  throw HostError(std::string(kNamesError) + path + ": " + text);
}

// One line's fields: split at tabs when it has any, else at commas, honouring CSV quotes.
std::vector<std::string> SplitLine(std::string_view line) {
  const char separator = line.find('\t') != std::string_view::npos ? '\t' : ',';
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"' && TrimBlanks(fields.back()).empty()) {
      fields.back().clear();
      quoted = true;
    } else if (c == separator) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The byte length of the first `count` UTF-8 characters of the text.
size_t PrefixBytes(std::string_view text, int count) {
  size_t i = 0;
  for (int n = 0; n < count && i < text.size(); ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

// The text trimmed of blanks and cut to its first `count` characters, in its own buffer.
void KeepTrimmedPrefix(std::string& text, int count) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return text.clear();
  text.erase(text.find_last_not_of(' ') + 1);
  text.erase(0, first);
  text.resize(PrefixBytes(text, count));
}

class TransformedRows : public RowSource {
 public:
  TransformedRows(std::unique_ptr<RowSource> inner, ZoneTransform transform)
      : inner_(std::move(inner)), transform_(std::move(transform)) {}

  bool Next(SourceRow& row) override {
    if (!inner_->Next(row)) return false;
    if (row.zone && std::holds_alternative<double>(*row.zone)) {
      row.inexact_zone = row.inexact_zone || LosesDigits(std::get<double>(*row.zone));
    }
    ApplyZoneTransform(transform_, row.zone);
    return true;
  }
  std::string RowLabel(int64_t number) const override { return inner_->RowLabel(number); }
  bool RewriteZone(const SourceRow& row, std::string_view text) override {
    return inner_->RewriteZone(row, text);
  }
  int64_t RowCount() const override { return inner_->RowCount(); }
  bool ReadAhead() const override { return inner_->ReadAhead(); }
  HiddenFaults Hidden() const override { return inner_->Hidden(); }

 private:
  std::unique_ptr<RowSource> inner_;
  ZoneTransform transform_;
};

}  // namespace

std::unordered_map<std::string, std::string> ReadZoneNames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(path, std::strerror(errno));
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::optional<std::string> decoded = DecodeChineseText(text);
  if (!decoded) {
    Fail(path, "第 " + std::to_string(FirstUndecodableLine(text)) +
                   " 行既不是 UTF-8 也不是 GBK 编码的文本");
  }
  text = std::move(*decoded);
  std::unordered_map<std::string, std::string> names;
  std::unordered_map<std::string, int> lines;
  std::istringstream stream(text);
  std::string line;
  for (int number = 1; std::getline(stream, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (TrimBlanks(line).empty()) continue;
    std::vector<std::string> fields = SplitLine(line);
    const std::string code(TrimBlanks(fields[0]));
    const std::string name(fields.size() > 1 ? TrimBlanks(fields[1]) : "");
    if (code.empty() || name.empty()) {
      Fail(path, "第 " + std::to_string(number) + " 行应有两列: 代码和名称, 以制表符或逗号分隔");
    }
    auto [it, added] = names.emplace(code, name);
    if (!added && it->second != name) {
      Fail(path, "代码 " + code + " 有两个名称 (第 " + std::to_string(lines[code]) + " 行和第 " +
                     std::to_string(number) + " 行)");
    }
    lines.emplace(code, number);
  }
  return names;
}

void ApplyZoneTransform(const ZoneTransform& transform, std::optional<CellValue>& zone) {
  if (transform.IsIdentity() || !zone || IsEmpty(*zone)) return;
  if (const double* number = std::get_if<double>(&*zone);
      number != nullptr && std::trunc(*number) == *number && std::fabs(*number) < 0x1p63) {
    // A whole number is a code: its digits, not its 15-digit display ("4.50312211000205E+17"),
    // so that a prefix keeps the leading digits, which a Real holds exactly.
    zone.emplace(std::to_string(static_cast<int64_t>(*number)));
  } else if (!std::holds_alternative<std::string>(*zone)) {
    zone.emplace(CellText(*zone));
  }
  std::string& text = std::get<std::string>(*zone);
  if (transform.prefix) KeepTrimmedPrefix(text, *transform.prefix);
  if (transform.names.empty()) return;
  // Trimmed in place above, the text is looked up as it stands, without a copy.
  const std::string_view trimmed = TrimBlanks(text);
  auto it = trimmed.size() == text.size() ? transform.names.find(text)
                                          : transform.names.find(std::string(trimmed));
  if (it != transform.names.end()) text = it->second;
}

std::unique_ptr<RowSource> TransformZones(std::unique_ptr<RowSource> inner,
                                          ZoneTransform transform) {
  if (transform.IsIdentity()) return inner;
  return std::make_unique<TransformedRows>(std::move(inner), std::move(transform));
}

}  // namespace quilmark
