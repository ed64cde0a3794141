// A deflated zip entry inflated from its stored bytes with ISA-L, which inflates sheet XML about
// twice as fast as zlib. Its length and CRC-32 are checked against the zip directory at the end,
// as libzip checks them for the entries it inflates itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct zip_file;
struct inflate_state;

namespace quilmark::xlsx {

class EntryInflater {
 public:
  // `stored` is the entry opened for its bytes as stored (ZIP_FL_COMPRESSED); the inflater closes
  // it. `crc` and `size` are what the directory declares; `part` names the entry in messages.
  EntryInflater(zip_file* stored, uint32_t crc, std::optional<uint64_t> size, std::string part);
  ~EntryInflater();
  EntryInflater(const EntryInflater&) = delete;
  EntryInflater& operator=(const EntryInflater&) = delete;

  // Fills up to `capacity` bytes and returns how many; 0 at the end. Throws PackageError when the
  // stored bytes are not a whole deflate stream or do not match the declared length and CRC.
  size_t Read(char* out, size_t capacity);

 private:
  // Refills the input from the stored bytes; false when they have ended.
  bool Refill();
  // The checks once the stream has ended.
  void Finish();
  [[noreturn]] void Damaged(const std::string& reason) const;

  zip_file* stored_;
  uint32_t crc_;
  std::optional<uint64_t> size_;
  std::string part_;
  std::unique_ptr<inflate_state> state_;
  std::unique_ptr<unsigned char[]> input_;
  uint64_t total_ = 0;
  bool input_ended_ = false;
  bool ended_ = false;
};

}  // namespace quilmark::xlsx
