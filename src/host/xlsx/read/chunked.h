// Storage for sheets of a million rows without large reallocations: growing a flat vector of
// hundreds of megabytes would briefly need twice its size, so the big stores grow chunk by chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace quilmark::xlsx {

// An append-only sequence of trivially copyable values in fixed-size chunks.
template <typename T, size_t kChunkBits = 16>
class ChunkedVector {
 public:
  static constexpr size_t kChunk = size_t{1} << kChunkBits;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return chunks_[i >> kChunkBits][i & (kChunk - 1)]; }
  const T& operator[](size_t i) const { return chunks_[i >> kChunkBits][i & (kChunk - 1)]; }
  T& back() { return (*this)[size_ - 1]; }

  void push_back(const T& value) {
    if ((size_ >> kChunkBits) == chunks_.size()) chunks_.push_back(std::make_unique<T[]>(kChunk));
    (*this)[size_] = value;
    ++size_;
  }
  // Drops the values from position n on; their chunks stay allocated.
  void truncate(size_t n) {
    if (n < size_) size_ = n;
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  size_t size_ = 0;
};

// A byte sequence appended piecewise (the inflated XML of a part), readable by offset.
class ByteChunks {
 public:
  static constexpr size_t kChunkBits = 22;  // 4 MiB
  static constexpr size_t kChunk = size_t{1} << kChunkBits;

  uint64_t size() const { return size_; }
  void Append(const char* data, size_t length);
  // Appends what `fill` puts in the room it is given (up to the end of the last block) and
  // returns how many bytes that was; `fill` returns that count, 0 when it has no more.
  size_t AppendFrom(const std::function<size_t(char* out, size_t capacity)>& fill);
  // Copies bytes [begin, begin + length) to out.
  void CopyOut(uint64_t begin, size_t length, char* out) const;
  // The longest contiguous piece starting at begin, at most max_length long.
  std::string_view Piece(uint64_t begin, size_t max_length) const;
  // Frees every byte; the sequence is empty afterwards.
  void Release();
  // Frees the blocks that lie wholly before `offset`; those bytes must not be read again. The
  // last ones freed are kept for the bytes appended next, which spares the system clearing
  // fresh memory for every block of a part read through a window.
  void ReleaseBefore(uint64_t offset);

 private:
  // A new block, or one released before.
  std::unique_ptr<char[]> NewBlock();

  static constexpr size_t kMaxSpare = 2;
  std::vector<std::unique_ptr<char[]>> chunks_;
  std::vector<std::unique_ptr<char[]>> spare_;
  uint64_t size_ = 0;
};

// Texts appended once and read back by a 64-bit handle; none is moved after it is stored.
class TextArena {
 public:
  uint64_t Add(std::string_view text);
  std::string_view Get(uint64_t handle) const;

 private:
  static constexpr size_t kBlock = size_t{1} << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = kBlock;  // bytes used in the last block; a full block forces a new one
  size_t last_size_ = kBlock;
};

}  // namespace quilmark::xlsx
