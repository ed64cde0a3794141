#include "src/host/xlsx/read/sheet_reader.h"

#include <expat.h>

#include <cstring>
#include <memory>

#include "src/host/sheet_host.h"
#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/read/cell_reading.h"
#include "src/host/xlsx/read/expat_parse.h"
#include "src/host/xlsx/read/row_chunks.h"
#include "src/host/xlsx/read/xml_encoding.h"

namespace quilmark::xlsx {
namespace {

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
      : ExpatParse(std::move(part), false), layout_(layout), xml_(rows_apart), rows_(model) {
    InstallHandlers();
  }

  uint64_t rows_begin() const { return rows_begin_; }

  // Continues from `close`, where "</sheetData>" starts. The new parser is first given the
  // start tags of the root and of <sheetData> again, which puts it in the same context.
  void ResumeAfterRows(uint64_t close) {
    ReplaceParser();
    InstallHandlers();
    base_ = static_cast<int64_t>(close) - static_cast<int64_t>(context_.size());
    replaying_ = true;
    depth_ = 0;
    Feed(context_.data(), context_.size(), false);
    context_.clear();
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

  // The rows a handler ends go into the model, which may throw (out of memory, or a streamed
  // sheet's rows out of order or no longer wanted).
  static void Start(void* data, const char* name, const char** attributes) {
    auto* self = static_cast<WorksheetParse*>(data);
    self->Guarded([&] { self->OnStart(name, attributes); });
  }
  static void End(void* data, const char* name) {
    auto* self = static_cast<WorksheetParse*>(data);
    self->Guarded([&] { self->OnEnd(name); });
  }
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
          KeepContext();
          XML_StopParser(parser_, XML_TRUE);
        }
      } else if (local == "dimension") {
        layout_.dimension_qname = name;
        if (const char* ref = Attribute(attributes, "ref"))
          layout_.dimension_ref = ParseRangeRef(ref);
      }
    }
  }

  // The start tags of the root and of <sheetData>, copied while the XML before the rows is
  // still held, for resuming after the rows.
  void KeepContext() {
    context_.assign(root_length_ + sheet_data_start_length_, '\0');
    xml_->CopyOut(root_begin_, root_length_, context_.data());
    xml_->CopyOut(layout_.sheet_data_begin, sheet_data_start_length_,
                  context_.data() + root_length_);
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
          rows_.AddSharedFormula(cell_.column, shared_index_.c_str(), shared_ref_.c_str(),
                                 std::move(formula_));
          formula_.clear();
        }
        collect_ = nullptr;
      } else if (local == "rPh") {
        --phonetic_;
      }
    } else if (in_row_ && depth == 3) {
      const uint64_t count = Count();
      const uint64_t end = count == 0 ? row_begin_ + row_start_length_ : Index() + count;
      rows_.EndRow(end);
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
    std::string failure;
    if (!rows_.BeginRow(Attribute(attributes, "r"), Index(), &failure)) return Fail(failure);
    row_begin_ = Index();
    row_start_length_ = Count();
    in_row_ = true;
  }

  void BeginCell(const char** attributes) {
    std::string failure;
    const std::optional<int32_t> column = rows_.BeginCell(Attribute(attributes, "r"), &failure);
    if (!column) return Fail(failure);
    cell_ = CellXml{};
    cell_.column = *column;
    cell_.type = ParseTypeAttr(Attribute(attributes, "t"));
    value_.clear();
    inline_.clear();
    in_cell_ = true;
    cell_depth_ = depth_;
  }

  void OnCellChild(std::string_view local, const char** attributes) {
    if (local == "v" && depth_ == cell_depth_ + 1) {
      cell_.has_value = true;
      collect_ = &value_;
    } else if (local == "f" && depth_ == cell_depth_ + 1) {
      cell_.flags |= kHasFormula;
      const char* ref = Attribute(attributes, "ref");
      shared_master_ = SharedFormulaRole(Attribute(attributes, "t"), ref,
                                         Attribute(attributes, "si")) == SharedRole::kDefinition;
      if (shared_master_) {
        cell_.flags |= kSharedMaster;
        shared_ref_ = ref;
        const char* si = Attribute(attributes, "si");
        shared_index_ = si != nullptr ? si : "";
        formula_.clear();
        collect_ = &formula_;
      }
    } else if (local == "is" && depth_ == cell_depth_ + 1) {
      cell_.has_inline = true;
    } else if (local == "rPh") {
      ++phonetic_;
    } else if (local == "t" && cell_.has_inline && phonetic_ == 0) {
      collect_ = &inline_;
    }
  }

  void EndCell() {
    in_cell_ = false;
    collect_ = nullptr;
    phonetic_ = 0;
    cell_.value = value_;
    cell_.inline_text = inline_;
    rows_.AddCell(cell_);
    // The room of a very long text is not kept for the rest of the sheet.
    constexpr size_t kKeptRoom = size_t{1} << 20;
    if (value_.capacity() > kKeptRoom) std::string().swap(value_);
    if (inline_.capacity() > kKeptRoom) std::string().swap(inline_);
  }

  SheetLayout& layout_;
  const ByteChunks* xml_;
  int64_t base_ = 0;  // the part's offset of the parser's byte 0, less what was replayed
  bool replaying_ = false;
  uint64_t root_begin_ = 0, root_length_ = 0;
  uint64_t rows_begin_ = 0;
  std::string context_;  // see KeepContext
  int depth_ = 0;
  bool in_sheet_data_ = false;
  bool in_row_ = false;
  bool in_cell_ = false;
  int cell_depth_ = 0;
  uint64_t sheet_data_start_length_ = 0;
  uint64_t element_begin_ = 0, element_start_length_ = 0;
  uint64_t row_begin_ = 0, row_start_length_ = 0;
  RowBuilder rows_;
  CellXml cell_;  // the cell being read; its texts are value_ and inline_
  bool shared_master_ = false;
  int phonetic_ = 0;
  std::string value_, inline_, formula_, shared_ref_, shared_index_;
  std::string* collect_ = nullptr;
};

// Thrown by the loader when the rows are not plain enough for the chunks: the part is then read
// again from its first byte by the streaming parse alone.
struct ReadAgain {};

// Reads a worksheet as its XML arrives: the streaming parse up to the rows, the rows in chunks,
// the streaming parse again from the end tag of <sheetData>. Only the XML still to be read is
// held: what the parse and the chunks have passed is freed as they go.
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

  // Throws ReadAgain when the rows cannot be read in chunks.
  void Add(const char* data, size_t length) {
    xml_.Append(data, length);
    ReadingAgainOnTailError([&] { Advance(false); });
    ForgetPassedXml();
  }

  // Returns whether the rows were read in chunks.
  bool Finish() {
    ReadingAgainOnTailError([&] {
      Advance(true);
      parse_->Feed("", 0, true);
    });
    return stage_ == Stage::kTail;
  }

 private:
  // The parse that resumes after rows read in chunks counts lines from where it resumed: damaged
  // XML there is reported by the streaming parse of the whole part, which names the right line.
  template <typename Step>
  void ReadingAgainOnTailError(const Step& step) {
    try {
      step();
    } catch (const PackageError&) {
      if (stage_ == Stage::kTail) throw ReadAgain();
      throw;
    }
  }

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
          throw ReadAgain();
      }
    }
    FeedParse();
  }

  // The XML before the rows stays until the rows begin (the parse resumes after them in its
  // context); after that, only what the chunks or the parse have yet to read.
  void ForgetPassedXml() {
    if (stage_ == Stage::kRows) {
      xml_.ReleaseBefore(rows_->needed_from());
    } else if (stage_ != Stage::kHead) {
      xml_.ReleaseBefore(fed_);
    }
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

// Streams the part through a loader; returns whether the rows were read in chunks. Throws
// ReadAgain as the loader does.
bool LoadWorksheet(const Package& package, const std::string& part, SheetModel& model,
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
  layout.encoding = encoding;
  return in_chunks;
}

}  // namespace

void ReadSharedStrings(const Package& package, const std::string& part, SheetModel& model) {
  SharedStringsParse parse(part, model);
  package.Stream(part, kMaxLargePart,
                 [&](const char* data, size_t n) { parse.Feed(data, n, false); });
  parse.Feed("", 0, true);
}

bool ReadWorksheet(const Package& package, const std::string& part, SheetModel& model,
                   ByteChunks& xml, SheetLayout& layout, RowReading reading) {
  if (reading == RowReading::kChunksWherePlain) {
    try {
      return LoadWorksheet(package, part, model, xml, layout, reading);
    } catch (const ReadAgain&) {
      model.ResetRows();
      layout = SheetLayout{};
      xml.Release();
    }
  }
  LoadWorksheet(package, part, model, xml, layout, RowReading::kStreamingOnly);
  return false;
}

}  // namespace quilmark::xlsx
