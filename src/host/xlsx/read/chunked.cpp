#include "src/host/xlsx/read/chunked.h"

#include <algorithm>

namespace quilmark::xlsx {

void ByteChunks::Append(const char* data, size_t length) {
  while (length > 0) {
    const size_t in_chunk = size_ & (kChunk - 1);
    if (in_chunk == 0 && (size_ >> kChunkBits) == chunks_.size()) {
      chunks_.push_back(NewBlock());
    }
    const size_t n = std::min(length, kChunk - in_chunk);
    std::memcpy(chunks_[size_ >> kChunkBits].get() + in_chunk, data, n);
    size_ += n;
    data += n;
    length -= n;
  }
}

size_t ByteChunks::AppendFrom(const std::function<size_t(char* out, size_t capacity)>& fill) {
  const size_t in_chunk = size_ & (kChunk - 1);
  if (in_chunk == 0 && (size_ >> kChunkBits) == chunks_.size()) chunks_.push_back(NewBlock());
  const size_t n = fill(chunks_[size_ >> kChunkBits].get() + in_chunk, kChunk - in_chunk);
  size_ += n;
  return n;
}

void ByteChunks::CopyOut(uint64_t begin, size_t length, char* out) const {
  while (length > 0) {
    const std::string_view piece = Piece(begin, length);
    std::memcpy(out, piece.data(), piece.size());
    out += piece.size();
    begin += piece.size();
    length -= piece.size();
  }
}

std::string_view ByteChunks::Piece(uint64_t begin, size_t max_length) const {
  if (begin >= size_) return {};
  const size_t in_chunk = begin & (kChunk - 1);
  const size_t n = std::min<uint64_t>({max_length, kChunk - in_chunk, size_ - begin});
  return {chunks_[begin >> kChunkBits].get() + in_chunk, n};
}

std::unique_ptr<char[]> ByteChunks::NewBlock() {
  if (spare_.empty()) return std::make_unique_for_overwrite<char[]>(kChunk);
  std::unique_ptr<char[]> block = std::move(spare_.back());
  spare_.pop_back();
  return block;
}

void ByteChunks::Release() {
  std::vector<std::unique_ptr<char[]>>().swap(chunks_);
  std::vector<std::unique_ptr<char[]>>().swap(spare_);
  size_ = 0;
}

void ByteChunks::ReleaseBefore(uint64_t offset) {
  for (size_t i = 0; i < chunks_.size() && (uint64_t{i} + 1) * kChunk <= offset; ++i) {
    if (chunks_[i] == nullptr) continue;
    if (spare_.size() < kMaxSpare) spare_.push_back(std::move(chunks_[i]));
    chunks_[i].reset();
  }
}

// A handle is the block number in the high 32 bits and the offset in the low 32; each text is
// stored behind its 4-byte length.
uint64_t TextArena::Add(std::string_view text) {
  const size_t need = text.size() + sizeof(uint32_t);
  if (used_ + need > last_size_) {
    last_size_ = std::max(kBlock, need);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(last_size_));
    used_ = 0;
  }
  char* at = blocks_.back().get() + used_;
  const uint32_t length = static_cast<uint32_t>(text.size());
  std::memcpy(at, &length, sizeof length);
  // An empty text may have no data at all (an empty <v/>), which memcpy must not be given.
  if (!text.empty()) std::memcpy(at + sizeof length, text.data(), text.size());
  const uint64_t handle = (uint64_t{blocks_.size() - 1} << 32) | used_;
  used_ += need;
  return handle;
}

std::string_view TextArena::Get(uint64_t handle) const {
  const char* at = blocks_[handle >> 32].get() + (handle & 0xFFFFFFFFu);
  uint32_t length;
  std::memcpy(&length, at, sizeof length);
  return {at + sizeof length, length};
}

}  // namespace quilmark::xlsx
