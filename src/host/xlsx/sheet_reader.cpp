#include "src/host/xlsx/sheet_reader.h"

#include <expat.h>
#include <iconv.h>

#include <cstring>
#include <memory>

#include "src/host/sheet_host.h"
#include "src/host/xlsx/cell_reading.h"
#include "src/host/xlsx/row_chunks.h"
#include "src/host/xlsx/xml_util.h"

namespace quilmark::xlsx {
namespace {

constexpr char kNsSeparator = '\x01';

// An element or attribute name as expat reports it with namespace triplets:
// "uri\x01local\x01prefix", "uri\x01local" or just "local".
struct QName {
  std::string_view uri;
  std::string_view local;
  std::string_view prefix;
};

QName Split(const char* name) {
  const std::string_view all(name);
  const size_t first = all.find(kNsSeparator);
  if (first == std::string_view::npos) return {{}, all, {}};
  QName q;
  q.uri = all.substr(0, first);
  const size_t second = all.find(kNsSeparator, first + 1);
  if (second == std::string_view::npos) {
    q.local = all.substr(first + 1);
  } else {
    q.local = all.substr(first + 1, second - first - 1);
    q.prefix = all.substr(second + 1);
  }
  return q;
}

std::string Qualified(const QName& q) {
  if (q.prefix.empty()) return std::string(q.local);
  return std::string(q.prefix) + ":" + std::string(q.local);
}

bool IsMain(const QName& q) { return IsMainNs(q.uri); }

// The value of an unqualified attribute, or nullptr.
const char* Attribute(const char** attributes, const char* local) {
  for (const char** a = attributes; *a != nullptr; a += 2) {
    if (std::strcmp(local, a[0]) == 0) return a[1];
  }
  return nullptr;
}

// The common frame of an expat parse: creation, DTD refusal, and turning a stop or a syntax error
// into a PackageError that names the part. With `namespaces`, names come as triplets (Split);
// without, as written ("x:row"), which is much faster for the large parts: there the prefix of
// the main namespace is learnt from the root element (MainPrefix).
class ExpatParse {
 public:
  ExpatParse(std::string part, bool namespaces) : part_(std::move(part)) {
    parser_ = namespaces ? XML_ParserCreateNS(nullptr, kNsSeparator) : XML_ParserCreate(nullptr);
    if (parser_ == nullptr) throw std::bad_alloc();
    if (namespaces) XML_SetReturnNSTriplet(parser_, 1);
    RefuseDeclarations();
  }
  virtual ~ExpatParse() { XML_ParserFree(parser_); }
  ExpatParse(const ExpatParse&) = delete;
  ExpatParse& operator=(const ExpatParse&) = delete;

  // Stops the parse with a reason.
  void Fail(std::string reason) {
    if (failure_.empty()) failure_ = std::move(reason);
    XML_StopParser(parser_, XML_FALSE);
  }

  // Returns false when a handler suspended the parse (the rest of `data` is left unread).
  bool Feed(const char* data, size_t length, bool last) {
    const XML_Status status = XML_Parse(parser_, data, static_cast<int>(length), last ? 1 : 0);
    if (status == XML_STATUS_SUSPENDED) return false;
    if (status != XML_STATUS_OK) ThrowError();
    return true;
  }

 protected:
  // A fresh parser without namespace processing in place of the current one.
  void ReplaceParser() {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) throw std::bad_alloc();
    XML_ParserFree(parser_);
    parser_ = parser;
    RefuseDeclarations();
  }

 private:
  void RefuseDeclarations() {
    XML_SetStartDoctypeDeclHandler(
        parser_, [](void* self, const char*, const char*, const char*, int) {
          static_cast<ExpatParse*>(self)->Fail("含有文档类型声明 (DTD), 出于安全考虑拒绝读取");
        });
    XML_SetEntityDeclHandler(parser_, [](void* self, const char*, int, const char*, int,
                                         const char*, const char*, const char*, const char*) {
      static_cast<ExpatParse*>(self)->Fail("含有实体声明, 出于安全考虑拒绝读取");
    });
  }

 protected:
  [[noreturn]] void ThrowError() {
    if (!failure_.empty()) throw PackageError("部件 " + part_ + " " + failure_);
    throw PackageError("部件 " + part_ + " 不是格式正确的 XML (第 " +
                       std::to_string(XML_GetCurrentLineNumber(parser_)) +
                       " 行: " + XML_ErrorString(XML_GetErrorCode(parser_)) + ")");
  }

  // From the root element's attributes: the prefix bound to the main namespace ("" for the
  // default namespace, and when none is bound, so that unqualified names count as main).
  void LearnMainPrefix(const char** attributes) {
    for (const char** a = attributes; *a != nullptr; a += 2) {
      const std::string_view name(a[0]);
      if (!IsMainNs(a[1])) continue;
      if (name == "xmlns") {
        main_prefix_.clear();
        return;
      }
      if (name.starts_with("xmlns:")) main_prefix_ = std::string(name.substr(6));
    }
  }

  // The local name of an element of the main namespace. Without a prefix it is the name itself:
  // a prefixed name of another namespace then matches none of the names looked for.
  std::string_view MainLocal(const char* name) const {
    if (main_prefix_.empty()) return std::string_view(name);
    if (std::strncmp(name, main_prefix_.data(), main_prefix_.size()) == 0 &&
        name[main_prefix_.size()] == ':') {
      return std::string_view(name + main_prefix_.size() + 1);
    }
    return {};
  }

  XML_Parser parser_;
  std::string part_;
  std::string failure_;
  std::string main_prefix_;
  bool root_seen_ = false;
};

// Reading the shared strings: the plain text of each <si>, runs joined, phonetic runs left out.
class SharedStringsParse : public ExpatParse {
 public:
  SharedStringsParse(std::string part, SheetModel& model)
      : ExpatParse(std::move(part), false), model_(model) {
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Start, &End);
    XML_SetCharacterDataHandler(parser_, &Text);
  }

 private:
  static void Start(void* data, const char* name, const char** attributes) {
    auto* self = static_cast<SharedStringsParse*>(data);
    if (!self->root_seen_) {
      self->root_seen_ = true;
      self->LearnMainPrefix(attributes);
    }
    const std::string_view local = self->MainLocal(name);
    if (local == "si") {
      self->in_item_ = true;
      self->text_.clear();
    } else if (local == "rPh") {
      ++self->phonetic_;
    } else if (local == "t" && self->in_item_ && self->phonetic_ == 0) {
      self->collecting_ = true;
    }
  }
  static void End(void* data, const char* name) {
    auto* self = static_cast<SharedStringsParse*>(data);
    const std::string_view local = self->MainLocal(name);
    if (local == "si") {
      self->model_.shared_strings().push_back(self->model_.arena().Add(DecodeEscapes(self->text_)));
      self->in_item_ = false;
    } else if (local == "rPh") {
      --self->phonetic_;
    } else if (local == "t") {
      self->collecting_ = false;
    }
  }
  static void Text(void* data, const char* s, int length) {
    auto* self = static_cast<SharedStringsParse*>(data);
    if (self->collecting_) self->text_.append(s, length);
  }

  SheetModel& model_;
  std::string text_;
  bool in_item_ = false;
  bool collecting_ = false;
  int phonetic_ = 0;
};

class WorksheetParse : public ExpatParse {
 public:
  // With `rows_apart`, the XML the parse is fed: the parse then suspends itself (Feed returns
  // false) after the start tag of a <sheetData> that holds rows, at rows_begin(), so that the
  // rows can be read another way; ResumeAfterRows continues after them.
  WorksheetParse(std::string part, SheetModel& model, SheetLayout& layout,
                 const ByteChunks* rows_apart)
      : ExpatParse(std::move(part), false), model_(model), layout_(layout), xml_(rows_apart) {
    InstallHandlers();
  }

  uint64_t rows_begin() const { return rows_begin_; }

  // Continues from `close`, where "</sheetData>" starts. The new parser is first given the
  // start tags of the root and of <sheetData> again, which puts it in the same context.
  void ResumeAfterRows(uint64_t close) {
    ReplaceParser();
    InstallHandlers();
    std::string context(root_length_ + sheet_data_start_length_, '\0');
    xml_->CopyOut(root_begin_, root_length_, context.data());
    xml_->CopyOut(layout_.sheet_data_begin, sheet_data_start_length_,
                  context.data() + root_length_);
    base_ = static_cast<int64_t>(close) - static_cast<int64_t>(context.size());
    replaying_ = true;
    depth_ = 0;
    Feed(context.data(), context.size(), false);
  }

 private:
  void InstallHandlers() {
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Start, &End);
    XML_SetCharacterDataHandler(parser_, &Text);
  }

  // Byte offsets in the part.
  uint64_t Index() const { return static_cast<uint64_t>(XML_GetCurrentByteIndex(parser_) + base_); }
  uint64_t Count() const { return static_cast<uint64_t>(XML_GetCurrentByteCount(parser_)); }

  // Keeps the namespace declarations of the root and of <sheetData>, in scope for every row.
  void KeepDeclarations(const char** attributes) {
    for (const char** a = attributes; *a != nullptr; a += 2) {
      const std::string_view name(a[0]);
      if (name != "xmlns" && !name.starts_with("xmlns:")) continue;
      const std::string prefix(name == "xmlns" ? std::string_view() : name.substr(6));
      bool known = false;
      for (const auto& declared : layout_.namespaces) known = known || declared.first == prefix;
      if (!known) layout_.namespaces.emplace_back(prefix, a[1]);
    }
  }

  static void Start(void* data, const char* name, const char** attributes) {
    static_cast<WorksheetParse*>(data)->OnStart(name, attributes);
  }
  static void End(void* data, const char* name) { static_cast<WorksheetParse*>(data)->OnEnd(name); }
  static void Text(void* data, const char* s, int length) {
    auto* self = static_cast<WorksheetParse*>(data);
    if (self->collect_ != nullptr) self->collect_->append(s, length);
  }

  void OnStart(const char* name, const char** attributes) {
    ++depth_;
    if (replaying_) {
      replaying_ = depth_ < 2;
      return;
    }
    if (depth_ == 1) {
      root_begin_ = Index();
      root_length_ = Count();
      LearnMainPrefix(attributes);
      KeepDeclarations(attributes);
      layout_.insert_sheet_data = Index() + Count();
      return;
    }
    const std::string_view local = MainLocal(name);
    if (local.empty()) return;
    if (in_cell_) {
      OnCellChild(local, attributes);
    } else if (in_row_ && local == "c") {
      BeginCell(attributes);
    } else if (in_sheet_data_ && depth_ == 3 && local == "row") {
      BeginRow(attributes);
    } else if (depth_ == 2) {
      element_begin_ = Index();
      element_start_length_ = Count();
      if (local == "sheetData") {
        in_sheet_data_ = true;
        layout_.has_sheet_data = true;
        layout_.prefix = main_prefix_;
        layout_.sheet_data_begin = Index();
        sheet_data_start_length_ = Count();
        KeepDeclarations(attributes);
        const uint64_t tag_end = Index() + Count();
        if (xml_ != nullptr && rows_begin_ == 0 && xml_->Piece(tag_end - 2, 1) != "/" &&
            RowChunkReader::Supports(main_prefix_)) {
          rows_begin_ = tag_end;
          XML_StopParser(parser_, XML_TRUE);
        }
      } else if (local == "dimension") {
        layout_.dimension_qname = name;
        if (const char* ref = Attribute(attributes, "ref"))
          layout_.dimension_ref = ParseRangeRef(ref);
      }
    }
  }

  void OnEnd(const char* name) {
    const int depth = depth_--;
    const std::string_view local = MainLocal(name);
    if (local.empty()) return;
    if (in_cell_) {
      if (depth == cell_depth_) {
        EndCell();
      } else if (local == "v" || local == "f" || (local == "t" && collect_ == &inline_)) {
        if (local == "f" && shared_master_) {
          model_.shared_formulas().push_back({model_.rows().back().number, column_,
                                              std::move(shared_index_), std::move(shared_ref_),
                                              std::move(formula_)});
          formula_.clear();
          shared_ref_.clear();
        }
        collect_ = nullptr;
      } else if (local == "rPh") {
        --phonetic_;
      }
    } else if (in_row_ && depth == 3) {
      const uint64_t count = Count();
      const uint64_t end = count == 0 ? row_begin_ + row_start_length_ : Index() + count;
      model_.EndRow(static_cast<uint32_t>(end));
      in_row_ = false;
    } else if (depth == 2 && local == "sheetData") {
      in_sheet_data_ = false;
      const uint64_t count = Count();
      if (count == 0) {
        layout_.sheet_data_empty = true;
        layout_.sheet_data_end = layout_.sheet_data_begin + sheet_data_start_length_;
        layout_.sheet_data_close = layout_.sheet_data_end;
      } else {
        layout_.sheet_data_close = Index();
        layout_.sheet_data_end = Index() + count;
      }
    } else if (depth == 2) {
      const uint64_t count = Count();
      const uint64_t end = count == 0 ? element_begin_ + element_start_length_ : Index() + count;
      if (local == "dimension") layout_.dimension = std::make_pair(element_begin_, end);
      // A missing <sheetData> would follow these.
      if (!layout_.has_sheet_data &&
          (local == "sheetPr" || local == "dimension" || local == "sheetViews" ||
           local == "sheetFormatPr" || local == "cols")) {
        layout_.insert_sheet_data = end;
      }
    }
  }

  void BeginRow(const char** attributes) {
    int32_t number = previous_row_ + 1;
    // A row number that is not a number is ignored: the row follows the one before.
    if (const char* r = Attribute(attributes, "r"); r != nullptr && IsAsciiDigit(r[0])) {
      const auto parsed = ParseIndex(r);
      if (!parsed || *parsed < 1 || *parsed > static_cast<uint32_t>(kMaxRow)) {
        Fail("的行号 \"" + std::string(r) + "\" 超出工作表的范围 (1 到 1048576)");
        return;
      }
      number = static_cast<int32_t>(*parsed);
    }
    if (number > kMaxRow) {
      Fail("的行数超出工作表的范围 (最多 1048576 行)");
      return;
    }
    row_begin_ = Index();
    row_start_length_ = Count();
    model_.BeginRow(number, static_cast<uint32_t>(row_begin_));
    previous_row_ = number;
    previous_column_ = 0;
    cells_in_row_ = 0;
    in_row_ = true;
  }

  void BeginCell(const char** attributes) {
    int32_t column = previous_column_ + 1;
    // A reference without column letters is no reference: the cell follows its neighbour.
    if (const char* r = Attribute(attributes, "r"); r != nullptr && IsAsciiLetter(r[0])) {
      const auto parsed = ParseColumnOfRef(r);
      if (!parsed) {
        Fail("的单元格引用 \"" + std::string(r) + "\" 超出工作表的范围 (最多 16384 列)");
        return;
      }
      column = *parsed;
    }
    if (column > kMaxColumn || ++cells_in_row_ > kMaxColumn) {
      Fail("第 " + std::to_string(previous_row_) + " 行的单元格超出工作表的范围 (最多 16384 列)");
      return;
    }
    previous_column_ = column;
    column_ = column;
    type_ = ParseTypeAttr(Attribute(attributes, "t"));
    flags_ = 0;
    has_value_ = false;
    has_inline_ = false;
    value_.clear();
    inline_.clear();
    in_cell_ = true;
    cell_depth_ = depth_;
  }

  void OnCellChild(std::string_view local, const char** attributes) {
    if (local == "v" && depth_ == cell_depth_ + 1) {
      has_value_ = true;
      collect_ = &value_;
    } else if (local == "f" && depth_ == cell_depth_ + 1) {
      flags_ |= kHasFormula;
      const char* t = Attribute(attributes, "t");
      const char* ref = Attribute(attributes, "ref");
      shared_master_ = t != nullptr && std::string_view(t) == "shared" && ref != nullptr;
      if (shared_master_) {
        flags_ |= kSharedMaster;
        shared_ref_ = ref;
        const char* si = Attribute(attributes, "si");
        shared_index_ = si != nullptr ? si : "";
        formula_.clear();
        collect_ = &formula_;
      }
    } else if (local == "is" && depth_ == cell_depth_ + 1) {
      has_inline_ = true;
    } else if (local == "rPh") {
      ++phonetic_;
    } else if (local == "t" && has_inline_ && phonetic_ == 0) {
      collect_ = &inline_;
    }
  }

  void EndCell() {
    in_cell_ = false;
    collect_ = nullptr;
    phonetic_ = 0;
    CellXml cell;
    cell.column = column_;
    cell.type = type_;
    cell.flags = flags_;
    cell.has_value = has_value_;
    cell.has_inline = has_inline_;
    cell.value = value_;
    cell.inline_text = inline_;
    model_.AddCell(MakeCell(cell, model_));
  }

  SheetModel& model_;
  SheetLayout& layout_;
  const ByteChunks* xml_;
  int64_t base_ = 0;  // the part's offset of the parser's byte 0, less what was replayed
  bool replaying_ = false;
  uint64_t root_begin_ = 0, root_length_ = 0;
  uint64_t rows_begin_ = 0;
  int depth_ = 0;
  bool in_sheet_data_ = false;
  bool in_row_ = false;
  bool in_cell_ = false;
  int cell_depth_ = 0;
  uint64_t sheet_data_start_length_ = 0;
  uint64_t element_begin_ = 0, element_start_length_ = 0;
  uint64_t row_begin_ = 0, row_start_length_ = 0;
  int32_t previous_row_ = 0;
  int32_t previous_column_ = 0;
  int32_t cells_in_row_ = 0;
  // The cell being read.
  int32_t column_ = 0;
  TypeAttr type_ = TypeAttr::kNumber;
  uint8_t flags_ = 0;
  bool has_value_ = false;
  bool has_inline_ = false;
  bool shared_master_ = false;
  int phonetic_ = 0;
  std::string value_, inline_, formula_, shared_ref_, shared_index_;
  std::string* collect_ = nullptr;
};

// The encoding a document starts in, when it is not UTF-8: from its byte order mark or its
// declaration. Empty for UTF-8.
std::string NonUtf8Encoding(std::string_view head) {
  if (head.starts_with("\xFF\xFE") || (head.size() >= 2 && head[0] == '<' && head[1] == '\0')) {
    return "UTF-16LE";
  }
  if (head.starts_with("\xFE\xFF") || (head.size() >= 2 && head[0] == '\0' && head[1] == '<')) {
    return "UTF-16BE";
  }
  if (!head.starts_with("<?xml")) return {};
  const std::string_view declaration = head.substr(0, head.find("?>"));
  const size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return {};
  const size_t quote = declaration.find_first_of("\"'", at);
  if (quote == std::string_view::npos) return {};
  const size_t close = declaration.find(declaration[quote], quote + 1);
  std::string name(declaration.substr(quote + 1, close - quote - 1));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII") return {};
  return name;
}

// The document converted to UTF-8, its declaration saying so.
std::string ToUtf8(const std::string& text, const std::string& encoding, const std::string& part) {
  iconv_t cd = iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw PackageError("部件 " + part + " 使用了不支持的字符编码 " + encoding);
  }
  std::string out(text.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  if (encoding == "UTF-16LE" && text.starts_with("\xFF\xFE")) in += 2, in_left -= 2;
  if (encoding == "UTF-16BE" && text.starts_with("\xFE\xFF")) in += 2, in_left -= 2;
  char* to = out.data();
  size_t to_left = out.size();
  const size_t result = iconv(cd, &in, &in_left, &to, &to_left);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1)) {
    throw PackageError("部件 " + part + " 的字符编码 (" + encoding + ") 有误");
  }
  out.resize(out.size() - to_left);
  if (out.starts_with("<?xml")) {
    const size_t end = out.find("?>");
    if (end != std::string::npos) {
      out.replace(0, end + 2, R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)");
    }
  }
  return out;
}

// Reads a worksheet as its XML arrives: the streaming parse up to the rows, the rows in chunks,
// the streaming parse again from the end tag of <sheetData>. When the chunks meet anything
// unexpected, what was read of the rows is dropped and the streaming parse reads the whole part
// again from its first byte, which the kept XML still holds.
class WorksheetLoader {
 public:
  WorksheetLoader(std::string part, SheetModel& model, ByteChunks& xml, SheetLayout& layout,
                  RowReading reading)
      : part_(std::move(part)), model_(model), xml_(xml), layout_(layout) {
    if (reading == RowReading::kStreamingOnly) {
      stage_ = Stage::kWhole;
      parse_ = std::make_unique<WorksheetParse>(part_, model_, layout_, nullptr);
    } else {
      parse_ = std::make_unique<WorksheetParse>(part_, model_, layout_, &xml_);
    }
  }

  void Add(const char* data, size_t length) {
    xml_.Append(data, length);
    Advance(false);
  }

  // Returns whether the rows were read in chunks.
  bool Finish() {
    Advance(true);
    parse_->Feed("", 0, true);
    return stage_ == Stage::kTail;
  }

 private:
  enum class Stage { kHead, kRows, kTail, kWhole };

  // Feeds the parse what it has not seen yet; false when it suspended itself.
  bool FeedParse() {
    while (fed_ < xml_.size()) {
      const std::string_view piece = xml_.Piece(fed_, xml_.size() - fed_);
      fed_ += piece.size();
      if (!parse_->Feed(piece.data(), piece.size(), false)) return false;
    }
    return true;
  }

  void Advance(bool at_end) {
    if (stage_ == Stage::kHead) {
      if (FeedParse()) return;
      stage_ = Stage::kRows;
      rows_ = std::make_unique<RowChunkReader>(xml_, model_, layout_.prefix, parse_->rows_begin());
    }
    if (stage_ == Stage::kRows) {
      switch (rows_->Advance(at_end)) {
        case RowChunkReader::Status::kMore:
          return;
        case RowChunkReader::Status::kDone:
          stage_ = Stage::kTail;
          fed_ = rows_->close();
          parse_->ResumeAfterRows(fed_);
          rows_.reset();
          break;
        case RowChunkReader::Status::kGiveUp:
          rows_.reset();
          model_.ResetRows();
          layout_ = SheetLayout{};
          parse_ = std::make_unique<WorksheetParse>(part_, model_, layout_, nullptr);
          stage_ = Stage::kWhole;
          fed_ = 0;
          break;
      }
    }
    FeedParse();
  }

  std::string part_;
  SheetModel& model_;
  ByteChunks& xml_;
  SheetLayout& layout_;
  Stage stage_ = Stage::kHead;
  std::unique_ptr<WorksheetParse> parse_;
  std::unique_ptr<RowChunkReader> rows_;
  uint64_t fed_ = 0;
};

}  // namespace

void ReadSharedStrings(const Package& package, const std::string& part, SheetModel& model) {
  SharedStringsParse parse(part, model);
  package.Stream(part, kMaxLargePart,
                 [&](const char* data, size_t n) { parse.Feed(data, n, false); });
  parse.Feed("", 0, true);
}

bool ReadWorksheet(const Package& package, const std::string& part, SheetModel& model,
                   ByteChunks& xml, SheetLayout& layout, RowReading reading) {
  WorksheetLoader loader(part, model, xml, layout, reading);
  bool first = true;
  std::string encoding;
  std::string whole;  // the document, when it must be converted first
  package.StreamInBackground(part, kMaxLargePart, [&](const char* data, size_t n) {
    if (first) {
      encoding = NonUtf8Encoding(std::string_view(data, std::min<size_t>(n, 200)));
      first = false;
    }
    if (!encoding.empty()) {
      whole.append(data, n);
      return;
    }
    loader.Add(data, n);
  });
  if (!encoding.empty()) {
    const std::string utf8 = ToUtf8(whole, encoding, part);
    whole.clear();
    whole.shrink_to_fit();
    if (utf8.size() > kMaxLargePart) throw PackageError("部件 " + part + " 太大, 拒绝读取");
    loader.Add(utf8.data(), utf8.size());
  }
  const bool in_chunks = loader.Finish();
  return in_chunks;
}

namespace {

class RowParse : public ExpatParse {
 public:
  RowParse(RowXml& row, uint32_t offset) : ExpatParse("(row)", true), row_(row), offset_(offset) {
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Start, &End);
    XML_SetStartNamespaceDeclHandler(parser_, &Namespace);
  }

 private:
  uint32_t Index() const {
    return static_cast<uint32_t>(XML_GetCurrentByteIndex(parser_)) - offset_;
  }
  uint32_t Count() const { return static_cast<uint32_t>(XML_GetCurrentByteCount(parser_)); }

  static void Namespace(void* data, const char* prefix, const char* uri) {
    auto* self = static_cast<RowParse*>(data);
    if (self->depth_ == 1) {
      std::string name = prefix ? std::string("xmlns:") + prefix : std::string("xmlns");
      self->row_.declarations.emplace_back(std::move(name), uri ? uri : "");
    }
  }
  static void Start(void* data, const char* name, const char** attributes) {
    auto* self = static_cast<RowParse*>(data);
    const int depth = ++self->depth_;
    const QName q = Split(name);
    if (depth == 2) {
      self->row_.qname = Qualified(q);
      for (const char** a = attributes; *a != nullptr; a += 2) {
        self->row_.attributes.emplace_back(Qualified(Split(a[0])), a[1]);
      }
      self->row_.tail_begin = self->Index() + self->Count();
    } else if (depth == 3 && IsMain(q) && q.local == "c") {
      RowCellXml cell;
      cell.begin = self->Index();
      cell.start_tag_end = cell.begin + self->Count();
      cell.column = self->previous_column_ + 1;
      cell.qname_length = static_cast<uint32_t>(Qualified(q).size());
      if (const char* r = Attribute(attributes, "r"); r != nullptr && IsAsciiLetter(r[0])) {
        if (const auto column = ParseColumnOfRef(r)) {
          cell.column = *column;
          cell.has_ref = true;
        }
      }
      if (!cell.has_ref) {
        for (const char** a = attributes; *a != nullptr; a += 2) {
          if (std::string_view(a[0]) != "r")
            cell.attributes.emplace_back(Qualified(Split(a[0])), a[1]);
        }
      }
      if (const char* s = Attribute(attributes, "s")) cell.style = s;
      self->previous_column_ = cell.column;
      self->row_.cells.push_back(std::move(cell));
    } else if (depth == 4 && IsMain(q) && q.local == "f" && !self->row_.cells.empty()) {
      const char* t = Attribute(attributes, "t");
      const char* si = Attribute(attributes, "si");
      if (t != nullptr && std::string_view(t) == "shared" && si != nullptr &&
          Attribute(attributes, "ref") == nullptr) {
        RowCellXml& cell = self->row_.cells.back();
        cell.shared_member = true;
        cell.shared_index = si;
        cell.formula_begin = self->Index();
        self->formula_start_length_ = self->Count();
        self->in_member_formula_ = true;
      }
    }
  }
  static void End(void* data, const char* name) {
    auto* self = static_cast<RowParse*>(data);
    const int depth = self->depth_--;
    const QName q = Split(name);
    if (depth == 4 && self->in_member_formula_) {
      const uint32_t count = self->Count();
      RowCellXml& cell = self->row_.cells.back();
      cell.formula_end =
          count == 0 ? cell.formula_begin + self->formula_start_length_ : self->Index() + count;
      self->in_member_formula_ = false;
    } else if (depth == 3 && IsMain(q) && q.local == "c") {
      const uint32_t count = self->Count();
      RowCellXml& cell = self->row_.cells.back();
      cell.end = count == 0 ? cell.start_tag_end : self->Index() + count;
      self->row_.tail_begin = cell.end;
    } else if (depth == 2) {
      const uint32_t count = self->Count();
      self->row_.tail_end = count == 0 ? self->row_.tail_begin : self->Index();
    }
  }

  RowXml& row_;
  uint32_t offset_;
  int depth_ = 0;
  int32_t previous_column_ = 0;
  uint32_t formula_start_length_ = 0;
  bool in_member_formula_ = false;
};

}  // namespace

RowXml ReadRowXml(std::string_view row_text, const SheetLayout& layout) {
  std::string head = "<w";
  for (const auto& [prefix, uri] : layout.namespaces) {
    head += prefix.empty() ? " xmlns=\"" : " xmlns:" + prefix + "=\"";
    AppendEscaped(head, uri);
    head += '"';
  }
  head += '>';
  RowXml row;
  RowParse parse(row, static_cast<uint32_t>(head.size()));
  parse.Feed(head.data(), head.size(), false);
  parse.Feed(row_text.data(), row_text.size(), false);
  parse.Feed("</w>", 4, true);
  return row;
}

}  // namespace quilmark::xlsx
