// Compressing a large part as the package is written, on several threads: the text is cut into
// blocks of a megabyte, each compressed on its own and ended on a byte boundary, so that the
// blocks joined in order form one raw deflate stream that any reader inflates as usual. Blocks
// that start without the previous block's window compress a little less well: about a tenth of
// a per cent on sheet XML. Only a few blocks are held at a time: the compressed stream is read
// out in order while the next blocks are compressed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quilmark::xlsx {

// Fills up to `capacity` bytes of the text and returns how many, 0 at the end. It is called by
// one thread at a time, in order.
using TextSource = std::function<size_t(char* out, size_t capacity)>;

// Appends the text of one block to `text`. Makers run on the compressing threads, several at
// once, so that the work of making the text is shared out as the compressing is.
using MakeText = std::function<void(std::string& text)>;
// The maker of the next block of the text (of about a megabyte), or an empty function at the
// end. It is called by one thread at a time, in order.
using BlockSource = std::function<MakeText()>;

class DeflateStream {
 public:
  // Compresses the blocks that `next` hands out, joined in order.
  explicit DeflateStream(BlockSource next);
  // Compresses what `read` produces, cut into blocks of a megabyte.
  explicit DeflateStream(TextSource read);
  ~DeflateStream();
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;

  // Fills up to `capacity` bytes of the compressed stream and returns how many; 0 at its end.
  // An exception from `read` stops the work and is thrown again here.
  size_t Read(char* out, size_t capacity);

  // Once Read has returned 0: the text's length, its CRC-32, and the compressed length.
  uint64_t size() const { return size_; }
  uint32_t crc() const { return crc_; }
  uint64_t compressed_size() const { return compressed_size_; }

 private:
  struct Block {
    std::string data;
    uint32_t crc = 0;
    size_t length = 0;
  };
  struct Scratch;  // a thread's buffers

  // Whether a thread may take another block of text now.
  bool MayTake() const;
  // Takes the next block of text and compresses it, with `lock` held on entry and on return;
  // false when the text has ended or a failure stopped the work.
  bool CompressOne(std::unique_lock<std::mutex>& lock, Scratch& scratch);
  // Takes the maker of the next block; returns its number, or -1 at the end.
  int64_t TakeBlock(MakeText& make);
  void Work();
  // With the lock held: whether the next block to read out is done, or nothing more will come.
  bool NextReady() const;
  // Moves the next done block (or the final empty block) into current_; false at the end.
  bool NextBlock(std::unique_lock<std::mutex>& lock);

  BlockSource next_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::mutex read_mutex_;          // held while `next_` runs, so that blocks are taken in order
  bool read_ended_ = false;        // guarded by read_mutex_
  std::map<int64_t, Block> done_;  // compressed blocks not yet read out, by number
  int64_t taken_ = 0;              // blocks of text taken so far
  int64_t next_out_ = 0;           // the block to read out next
  size_t ahead_ = 0;               // how many blocks may be taken before they are read out
  bool text_ended_ = false;
  bool finished_ = false;  // the final block has been handed out
  bool stop_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> helpers_;
  std::unique_ptr<Scratch> own_;  // the reading thread's, as it helps

  std::string current_;  // the block being read out
  size_t current_at_ = 0;
  uint64_t size_ = 0;
  uint32_t crc_ = 0;
  uint64_t compressed_size_ = 0;
};

// The whole compressed text at once, for small parts and tests.
struct DeflatedPart {
  std::vector<std::string> blocks;  // joined in order: one raw deflate stream
  uint64_t size = 0;                // the text's length
  uint64_t compressed_size = 0;
  uint32_t crc = 0;  // CRC-32 of the text
};
DeflatedPart DeflateInParallel(const TextSource& read);

}  // namespace quilmark::xlsx
