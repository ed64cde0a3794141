#include "src/host/xlsx/write/part_text.h"

#include <algorithm>
#include <memory>

#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/read/xml_encoding.h"

namespace quilmark::xlsx {

std::string_view PartText::Piece(uint64_t begin, size_t max_length) {
  FillTo(begin + 1);
  return bytes_.Piece(begin, max_length);
}

void PartText::CopyOut(uint64_t begin, size_t length, char* out) {
  FillTo(begin + length);
  if (bytes_.size() < begin + length) {
    throw PackageError("工作表的内容比读取时短");
  }
  bytes_.CopyOut(begin, length, out);
}

void PartText::FillTo(uint64_t end) {
  while (!ended_ && bytes_.size() < end) ended_ = bytes_.AppendFrom(fill_) == 0;
}

PartText SheetText(const Package& package, const std::string& part, const std::string& encoding) {
  if (encoding.empty()) {
    auto reader = std::make_shared<PartReader>(package, part, kMaxLargePart);
    return PartText([reader](char* out, size_t capacity) { return reader->Read(out, capacity); });
  }
  // A sheet in another encoding is converted whole, as when it was loaded.
  auto text =
      std::make_shared<std::string>(ToUtf8(package.Read(part, kMaxLargePart), encoding, part));
  auto at = std::make_shared<size_t>(0);
  return PartText([text, at](char* out, size_t capacity) {
    const size_t n = std::min(capacity, text->size() - *at);
    text->copy(out, n, *at);
    *at += n;
    return n;
  });
}

}  // namespace quilmark::xlsx
