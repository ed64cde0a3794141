#include "src/host/xlsx/read/row_chunks.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "src/host/xlsx/package/xml_util.h"
#include "src/host/xlsx/read/cell_reading.h"

namespace quilmark::xlsx {
namespace {

// A chunk is cut at the first row end tag after this many bytes: large enough that handing it
// over costs nothing, small enough that it stays in the cache while it is scanned and read.
constexpr uint64_t kChunk = uint64_t{1} << 18;
// A chunk without a row end tag for this long is not a run of ordinary rows.
constexpr uint64_t kMaxChunk = uint64_t{16} << 20;

// Whether "]]>" occurs in the text: XML allows it only to end a CDATA section, and the scanner
// takes it as plain text where the streaming parse refuses it. ']' is rare, so it is looked for
// first.
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
    : xml_(xml), rows_(model), scanner_(prefix), cursor_(begin) {
  const std::string p = prefix.empty() ? std::string() : std::string(prefix) + ":";
  row_end_tag_ = "</" + p + "row>";
  sheet_data_close_ = "</" + p + "sheetData";
}

RowChunkReader::~RowChunkReader() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& scanner : scanners_) scanner.join();
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
      if (!Submit(cursor_, close) || !ReadChunks(submitted_)) return Status::kGiveUp;
      close_ = close;
      return Status::kDone;
    }
    if (at_end || size - cursor_ > kMaxChunk + kChunk) return Status::kGiveUp;
    return Status::kMore;
  }
}

bool RowChunkReader::Submit(uint64_t begin, uint64_t end) {
  // A chunk is free once read: the oldest is read first when all are handed over.
  if (submitted_ - read_ == kRing && !ReadChunks(read_ + 1)) return false;
  const int index = static_cast<int>(submitted_ % kRing);
  Chunk& chunk = chunks_[index];
  const size_t length = static_cast<size_t>(end - begin);
  if (chunk.capacity < length) {
    chunk.capacity = std::max<size_t>(length, kChunk * 2);
    chunk.text = std::make_unique_for_overwrite<char[]>(chunk.capacity);
  }
  xml_.CopyOut(begin, length, chunk.text.get());
  chunk.begin = begin;
  chunk.end = end;
  StartScanners();
  if (scanners_.empty()) {  // no thread to be had: scan here
    chunk.ok = Scan(chunk) && Number(chunk.scanned);
    chunk.parsed = true;
    ++submitted_;
  } else {
    {
      std::lock_guard lock(mutex_);
      chunk.scan_done = chunk.parsed = false;
      queue_.push_back(index);
      ++submitted_;
    }
    wake_.notify_all();
  }
  // While this chunk is scanned, those scanned before it go into the model.
  return ReadChunks(ScannedUpTo());
}

void RowChunkReader::StartScanners() {
  if (scanners_started_) return;
  scanners_started_ = true;
  for (int i = 0; i < kScanners; ++i) {
    try {
      scanners_.emplace_back([this] { ScanChunks(); });
    } catch (const std::system_error&) {
      break;  // as many as could be had
    }
  }
}

bool RowChunkReader::Scan(Chunk& chunk) const {
  const size_t length = static_cast<size_t>(chunk.end - chunk.begin);
  if (length == 0) {  // the rows ended with the chunk before
    chunk.scanned.Clear();
    return true;
  }
  char* const text = chunk.text.get();
  // References are decoded by the streaming parse only, which also refuses ill-formed ones. The
  // scanner checks neither the encoding nor the characters, so text that is not plain UTF-8 XML
  // characters goes to the streaming parse too, which refuses it as for any other sheet.
  return std::memchr(text, '&', length) == nullptr && !HasCdataEnd(text, length) &&
         IsXmlText(text, length) && scanner_.Scan(text, length, chunk.begin, chunk.scanned);
}

bool RowChunkReader::Number(ScannedRows& scanned) {
  for (RowToken& row : scanned.rows) {
    const std::optional<int32_t> number = numbering_.NextRow(row.r);
    if (!number) return false;
    row.number = *number;
    for (uint32_t i = row.first_cell; i < row.first_cell + row.cell_count; ++i) {
      const std::optional<int32_t> column = numbering_.NextCell(scanned.cells[i].r);
      if (!column) return false;
      scanned.cells[i].column = *column;
    }
  }
  return true;
}

void RowChunkReader::ScanChunks() {
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
    bool ok = false;
    try {
      ok = Scan(chunk);
    } catch (const std::bad_alloc&) {
      // Refused like anything unexpected: the streaming parse then reads the sheet, on the
      // reading thread, and reports a lack of memory if it meets one too.
    }
    std::unique_lock lock(mutex_);
    chunk.ok = ok;
    chunk.scan_done = true;
    NumberInOrder(lock);
  }
}

void RowChunkReader::NumberInOrder(std::unique_lock<std::mutex>& lock) {
  while (!numbering_busy_ && numbered_ < submitted_ && chunks_[numbered_ % kRing].scan_done) {
    Chunk& chunk = chunks_[numbered_ % kRing];
    numbering_busy_ = true;
    lock.unlock();
    const bool ok = chunk.ok && Number(chunk.scanned);
    lock.lock();
    chunk.ok = ok;
    chunk.parsed = true;
    ++numbered_;
    numbering_busy_ = false;
    wake_.notify_all();
  }
}

uint64_t RowChunkReader::ScannedUpTo() {
  std::lock_guard lock(mutex_);
  uint64_t until = read_;
  while (until < submitted_ && chunks_[until % kRing].parsed) ++until;
  return until;
}

bool RowChunkReader::ReadChunks(uint64_t until) {
  for (; read_ < until; ++read_) {
    Chunk& chunk = chunks_[read_ % kRing];
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return chunk.parsed; });
    }
    if (!chunk.ok) return false;
    ReadRows(chunk);
  }
  return true;
}

void RowChunkReader::ReadRows(const Chunk& chunk) {
  const ScannedRows& scanned = chunk.scanned;
  for (const RowToken& row : scanned.rows) {
    rows_.BeginNumberedRow(row.number, row.begin);
    for (uint32_t i = row.first_cell; i < row.first_cell + row.cell_count; ++i) {
      const CellToken& token = scanned.cells[i];
      CellXml cell;
      cell.column = token.column;
      cell.type = ParseTypeAttr(token.t);
      cell.flags = token.flags;
      cell.has_value = token.has_value;
      cell.value = token.value;
      cell.has_inline = token.has_inline;
      cell.inline_text =
          std::string_view(scanned.inline_text).substr(token.inline_begin, token.inline_length);
      if (token.flags & kSharedMaster) {
        rows_.AddSharedFormula(cell.column, token.si, token.ref, std::string(token.formula));
      }
      rows_.AddCell(cell);
    }
    rows_.EndRow(row.end);
  }
}

}  // namespace quilmark::xlsx
