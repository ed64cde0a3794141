#include "src/host/xlsx/row_chunks.h"

#include <algorithm>
#include <cstring>
#include <pugixml.hpp>
#include <system_error>

#include "src/host/sheet_host.h"
#include "src/host/xlsx/cell_reading.h"
#include "src/host/xlsx/cell_ref.h"
#include "src/host/xlsx/xml_util.h"

namespace quilmark::xlsx {
namespace {

// A chunk is cut at the first row end tag after this many bytes: large enough that the cost of
// a parse call vanishes, small enough that its tree stays in the cache.
constexpr uint64_t kChunk = uint64_t{1} << 18;
// A chunk without a row end tag for this long is not a run of ordinary rows.
constexpr uint64_t kMaxChunk = uint64_t{16} << 20;

// Element and attribute names as written, text with line ends normalised (as any XML parser
// reports them), and white space kept only where it is an element's whole text (" " in an
// inline string is a value; the spaces between rows are not).
constexpr unsigned kParseFlags = pugi::parse_fragment | pugi::parse_eol |
                                 pugi::parse_wconv_attribute | pugi::parse_ws_pcdata_single;

// Whether a NUL-terminated name is `expected`, without measuring it first.
bool Is(const char* name, const std::string& expected) {
  for (const char c : expected) {
    if (*name++ != c) return false;
  }
  return *name == '\0';
}

// Whether "<" followed by `mark` occurs in the text. The marks are rare characters, so looking
// for them first is much faster than looking for the pair.
bool HasMarkup(const char* text, size_t length, char mark) {
  const char* const end = text + length;
  for (const char* at = text; at < end;) {
    const char* found = static_cast<const char*>(std::memchr(at, mark, end - at));
    if (found == nullptr) return false;
    if (found > text && found[-1] == '<') return true;
    at = found + 1;
  }
  return false;
}

// Whether "]]>" occurs in the text: XML allows it only to end a CDATA section, and pugixml takes
// it as plain text where the streaming parse refuses it. ']' is rare, so it is looked for first.
bool HasCdataEnd(const char* text, size_t length) {
  const char* const end = text + length;
  for (const char* at = text; at < end;) {
    const char* found = static_cast<const char*>(std::memchr(at, ']', end - at));
    if (found == nullptr || end - found < 3) return false;
    if (found[1] == ']' && found[2] == '>') return true;
    at = found + 1;
  }
  return false;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsBlank(const char* text) {
  for (; *text != '\0'; ++text) {
    if (!IsSpace(*text)) return false;
  }
  return true;
}

// The text of an element that holds nothing but text; false when it holds an element.
bool TextOf(const pugi::xml_node& node, std::string_view& out) {
  const pugi::xml_node first = node.first_child();
  if (!first) {
    out = {};
    return true;
  }
  if (first.type() != pugi::node_pcdata || first.next_sibling()) return false;
  out = first.value();
  return true;
}

// Whether the element's attributes are as the streaming parse requires: no name twice, no '<'
// in a value. pugixml checks neither.
bool WellFormedAttributes(const pugi::xml_node& node) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    if (std::strchr(a.value(), '<') != nullptr) return false;
    for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute()) {
      if (std::strcmp(a.name(), b.name()) == 0) return false;
    }
  }
  return true;
}

// The same for the element and everything inside it.
bool WellFormedTree(const pugi::xml_node& node) {
  if (!WellFormedAttributes(node)) return false;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element && !WellFormedTree(child)) return false;
  }
  return true;
}

const char* AttributeOrNull(const pugi::xml_node& node, const char* name) {
  const pugi::xml_attribute attribute = node.attribute(name);
  return attribute ? attribute.value() : nullptr;
}

}  // namespace

uint64_t FindIn(const ByteChunks& xml, uint64_t from, uint64_t to, std::string_view needle) {
  uint64_t at = from;
  while (at < to) {
    const std::string_view piece = xml.Piece(at, to - at);
    if (const void* found = memmem(piece.data(), piece.size(), needle.data(), needle.size())) {
      return at + static_cast<uint64_t>(static_cast<const char*>(found) - piece.data());
    }
    const uint64_t next = at + piece.size();
    if (next < to && needle.size() > 1) {
      // A match across the end of this piece.
      char joint[128];
      const uint64_t low = next - std::min<uint64_t>(needle.size() - 1, piece.size());
      const uint64_t high = std::min<uint64_t>(to, next + needle.size() - 1);
      xml.CopyOut(low, high - low, joint);
      if (const void* found = memmem(joint, high - low, needle.data(), needle.size())) {
        return low + static_cast<uint64_t>(static_cast<const char*>(found) - joint);
      }
    }
    at = next;
  }
  return to;
}

bool RowChunkReader::Supports(std::string_view prefix) {
  if (prefix.size() > 32) return false;
  for (const char c : prefix) {
    if (c == ':' || IsSpace(c) || c == '<' || c == '>') return false;
  }
  return true;
}

RowChunkReader::RowChunkReader(const ByteChunks& xml, SheetModel& model, std::string_view prefix,
                               uint64_t begin)
    : xml_(xml), rows_(model), cursor_(begin) {
  const std::string p = prefix.empty() ? std::string() : std::string(prefix) + ":";
  row_name_ = p + "row";
  cell_name_ = p + "c";
  value_name_ = p + "v";
  formula_name_ = p + "f";
  inline_name_ = p + "is";
  text_name_ = p + "t";
  run_name_ = p + "r";
  run_properties_name_ = p + "rPr";
  phonetic_name_ = p + "rPh";
  phonetic_properties_name_ = p + "phoneticPr";
  row_end_tag_ = "</" + row_name_ + ">";
  sheet_data_close_ = "</" + p + "sheetData";
}

RowChunkReader::~RowChunkReader() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (parser_.joinable()) parser_.join();
}

RowChunkReader::Status RowChunkReader::Advance(bool at_end) {
  for (;;) {
    const uint64_t size = xml_.size();
    const uint64_t from = std::max(cursor_ + kChunk, searched_);
    if (from < size) {
      const uint64_t at = FindIn(xml_, from, size, row_end_tag_);
      if (at < size) {
        const uint64_t end = at + row_end_tag_.size();
        if (end - cursor_ > kMaxChunk || !Submit(cursor_, end)) return Status::kGiveUp;
        cursor_ = end;
        searched_ = 0;
        continue;
      }
      // The tag may be cut off at the end of what has arrived.
      searched_ = std::max(from, size - std::min<uint64_t>(size, row_end_tag_.size() - 1));
    }
    // No row ends far enough on: the rows may end before it, at the end tag of <sheetData>.
    const uint64_t close = FindIn(xml_, cursor_, size, sheet_data_close_);
    const uint64_t after = close + sheet_data_close_.size();
    if (after < size) {
      const char c = xml_.Piece(after, 1)[0];
      if ((c != '>' && !IsSpace(c)) || close - cursor_ > kMaxChunk) return Status::kGiveUp;
      if (!Submit(cursor_, close) || !ReadPending()) return Status::kGiveUp;
      close_ = close;
      return Status::kDone;
    }
    if (at_end || size - cursor_ > kMaxChunk + kChunk) return Status::kGiveUp;
    return Status::kMore;
  }
}

uint64_t RowChunkReader::ElementEnd(uint64_t limit) const {
  while (limit > 0 && IsSpace(xml_.Piece(limit - 1, 1)[0])) --limit;
  return limit;
}

bool RowChunkReader::Submit(uint64_t begin, uint64_t end) {
  Chunk& chunk = chunks_[next_];
  const size_t length = static_cast<size_t>(end - begin);
  if (chunk.capacity < length) {
    chunk.capacity = std::max<size_t>(length, kChunk * 2);
    chunk.text = std::make_unique_for_overwrite<char[]>(chunk.capacity);
  }
  xml_.CopyOut(begin, length, chunk.text.get());
  chunk.begin = begin;
  chunk.end = end;
  if (!parser_.joinable() && !alone_) {
    try {
      parser_ = std::thread([this] { ParseChunks(); });
    } catch (const std::system_error&) {
      alone_ = true;  // no second thread to be had: parse here
    }
  }
  if (alone_) {
    chunk.ok = Parse(chunk);
    chunk.parsed = true;
  } else {
    {
      std::lock_guard lock(mutex_);
      chunk.parsed = false;
      queue_.push_back(next_);
    }
    wake_.notify_all();
  }
  // While this chunk is parsed, the one before it goes into the model.
  const bool read = ReadPending();
  pending_ = next_;
  next_ ^= 1;
  return read;
}

bool RowChunkReader::Parse(Chunk& chunk) const {
  chunk.doc.reset();
  chunk.rows.clear();
  chunk.cells.clear();
  chunk.inline_text.clear();
  const size_t length = static_cast<size_t>(chunk.end - chunk.begin);
  if (length == 0) return true;  // the rows ended with the chunk before
  char* const text = chunk.text.get();
  // Comments, CDATA sections and processing instructions may hide a row end tag, and
  // references are decoded by the streaming parse only, which also refuses ill-formed ones.
  // pugixml checks neither the encoding nor the characters, so text that is not plain UTF-8
  // XML characters goes to the streaming parse too, which refuses it as for any other sheet.
  return !HasMarkup(text, length, '!') && !HasMarkup(text, length, '?') &&
         std::memchr(text, '&', length) == nullptr && !HasCdataEnd(text, length) &&
         IsXmlText(text, length) &&
         chunk.doc.load_buffer_inplace(text, length, kParseFlags, pugi::encoding_utf8) &&
         TakeRows(chunk);
}

void RowChunkReader::ParseChunks() {
  for (;;) {
    int index;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      index = queue_.front();
      queue_.pop_front();
    }
    Chunk& chunk = chunks_[index];
    const bool ok = Parse(chunk);
    {
      std::lock_guard lock(mutex_);
      chunk.ok = ok;
      chunk.parsed = true;
    }
    wake_.notify_all();
  }
}

bool RowChunkReader::ReadPending() {
  if (pending_ < 0) return true;
  Chunk& chunk = chunks_[pending_];
  pending_ = -1;
  {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return chunk.parsed; });
  }
  return chunk.ok && ReadRows(chunk);
}

bool RowChunkReader::ReadRows(const Chunk& chunk) {
  for (const RowToken& row : chunk.rows) {
    // The element's bytes: from its "<" to the ">" that ends it, before the next one.
    const uint64_t row_end = ElementEnd(row.limit);
    if (row_end <= row.begin || xml_.Piece(row_end - 1, 1)[0] != '>') return false;
    if (!rows_.BeginRow(row.r, row.begin)) return false;
    for (uint32_t i = row.first_cell; i < row.first_cell + row.cell_count; ++i) {
      const CellToken& token = chunk.cells[i];
      const std::optional<int32_t> column = rows_.BeginCell(token.r);
      if (!column) return false;
      CellXml cell;
      cell.column = *column;
      cell.type = ParseTypeAttr(token.t);
      cell.flags = token.flags;
      cell.has_value = token.has_value;
      cell.value = token.value;
      cell.has_inline = token.has_inline;
      cell.inline_text =
          std::string_view(chunk.inline_text).substr(token.inline_begin, token.inline_length);
      if (token.flags & kSharedMaster) {
        rows_.AddSharedFormula(cell.column, token.si, token.ref, std::string(token.formula));
      }
      rows_.AddCell(cell);
    }
    rows_.EndRow(row_end);
  }
  return true;
}

bool RowChunkReader::TakeRows(Chunk& chunk) const {
  const char* const text = chunk.text.get();
  pugi::xml_node node = chunk.doc.first_child();
  while (node) {
    pugi::xml_node next = node.next_sibling();
    if (node.type() == pugi::node_pcdata && IsBlank(node.value())) {
      node = next;
      continue;
    }
    if (node.type() != pugi::node_element || !Is(node.name(), row_name_)) return false;
    while (next && next.type() == pugi::node_pcdata && IsBlank(next.value())) {
      next = next.next_sibling();
    }
    if (next && next.type() != pugi::node_element) return false;
    if (!WellFormedAttributes(node)) return false;
    RowToken& row = chunk.rows.emplace_back();
    row.r = AttributeOrNull(node, "r");
    row.begin = chunk.begin + static_cast<uint64_t>(node.name() - text) - 1;
    row.limit = next ? chunk.begin + static_cast<uint64_t>(next.name() - text) - 1 : chunk.end;
    row.first_cell = static_cast<uint32_t>(chunk.cells.size());
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
      if (c.type() == pugi::node_pcdata && IsBlank(c.value())) continue;
      if (c.type() != pugi::node_element || !Is(c.name(), cell_name_) || !TakeCell(c, chunk)) {
        return false;
      }
    }
    row.cell_count = static_cast<uint32_t>(chunk.cells.size()) - row.first_cell;
    node = next;
  }
  return true;
}

bool RowChunkReader::TakeCell(const pugi::xml_node& c, Chunk& chunk) const {
  if (!WellFormedAttributes(c)) return false;
  CellToken cell;
  cell.r = AttributeOrNull(c, "r");
  cell.t = AttributeOrNull(c, "t");
  for (pugi::xml_node part = c.first_child(); part; part = part.next_sibling()) {
    if (part.type() == pugi::node_pcdata && IsBlank(part.value())) continue;
    if (part.type() != pugi::node_element || !WellFormedAttributes(part)) return false;
    const char* name = part.name();
    if (Is(name, value_name_)) {
      if (cell.has_value || !TextOf(part, cell.value)) return false;
      cell.has_value = true;
    } else if (Is(name, formula_name_)) {
      if ((cell.flags & kHasFormula) || !TakeFormula(part, cell)) return false;
    } else if (Is(name, inline_name_)) {
      if (cell.has_inline) return false;
      cell.inline_begin = static_cast<uint32_t>(chunk.inline_text.size());
      if (!TakeInline(part, chunk)) return false;
      cell.inline_length = static_cast<uint32_t>(chunk.inline_text.size()) - cell.inline_begin;
      cell.has_inline = true;
    } else {
      return false;
    }
  }
  chunk.cells.push_back(cell);
  return true;
}

bool RowChunkReader::TakeFormula(const pugi::xml_node& f, CellToken& cell) const {
  cell.flags |= kHasFormula;
  const char* ref = AttributeOrNull(f, "ref");
  const char* si = AttributeOrNull(f, "si");
  if (SharedFormulaRole(AttributeOrNull(f, "t"), ref, si) == SharedRole::kDefinition) {
    // The cell that defines a shared formula: kept so that its group survives a write.
    if (!TextOf(f, cell.formula)) return false;
    cell.flags |= kSharedMaster;
    cell.si = si;
    cell.ref = ref;
  }
  return true;
}

bool RowChunkReader::TakeInline(const pugi::xml_node& is, Chunk& chunk) const {
  std::string_view piece;
  for (pugi::xml_node item = is.first_child(); item; item = item.next_sibling()) {
    if (item.type() == pugi::node_pcdata && IsBlank(item.value())) continue;
    if (item.type() != pugi::node_element || !WellFormedAttributes(item)) return false;
    if (Is(item.name(), text_name_)) {
      if (!TextOf(item, piece)) return false;
      chunk.inline_text += piece;
    } else if (Is(item.name(), run_name_)) {
      for (pugi::xml_node r = item.first_child(); r; r = r.next_sibling()) {
        if (r.type() == pugi::node_pcdata && IsBlank(r.value())) continue;
        if (r.type() != pugi::node_element || !WellFormedTree(r)) return false;
        if (Is(r.name(), text_name_)) {
          if (!TextOf(r, piece)) return false;
          chunk.inline_text += piece;
        } else if (!Is(r.name(), run_properties_name_)) {
          return false;
        }
      }
    } else if (!(Is(item.name(), phonetic_name_) || Is(item.name(), phonetic_properties_name_)) ||
               !WellFormedTree(item)) {
      return false;
    }
  }
  return true;
}

}  // namespace quilmark::xlsx
