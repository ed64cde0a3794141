// The text of a worksheet read again from the package for writing it anew, from front to back:
// only a window of it is held at a time, so the sheet's XML does not stay in memory between
// loading and saving.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "src/host/xlsx/read/chunked.h"

namespace quilmark::xlsx {

class Package;

class PartText {
 public:
  // Puts up to `capacity` bytes of the text in `out` and returns how many; 0 at the end.
  using Fill = std::function<size_t(char* out, size_t capacity)>;

  explicit PartText(Fill fill) : fill_(std::move(fill)) {}

  // The longest contiguous piece from `begin`, at most `max_length` long; empty at the end of
  // the text. `begin` must not lie before an offset given to ReleaseBefore.
  std::string_view Piece(uint64_t begin, size_t max_length);
  // Copies [begin, begin + length) to `out`. Throws PackageError when the text ends before.
  void CopyOut(uint64_t begin, size_t length, char* out);
  // The bytes before `offset` are not read again.
  void ReleaseBefore(uint64_t offset) { bytes_.ReleaseBefore(offset); }

 private:
  // Reads on until the text holds `end` bytes or has ended.
  void FillTo(uint64_t end);

  Fill fill_;
  ByteChunks bytes_;
  bool ended_ = false;
};

// The worksheet part's text as the reader saw it: inflated again, and converted to UTF-8 when
// `encoding` names another one. Throws PackageError.
PartText SheetText(const Package& package, const std::string& part, const std::string& encoding);

}  // namespace quilmark::xlsx
