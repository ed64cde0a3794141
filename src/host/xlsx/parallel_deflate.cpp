#include "src/host/xlsx/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace quilmark::xlsx {
namespace {

constexpr size_t kBlock = size_t{1} << 20;

struct Compressed {
  std::string data;
  uint32_t crc = 0;
  size_t length = 0;
};

// One block as a raw deflate stream that ends byte-aligned without a final block, or, with
// `last`, the final block itself.
class BlockDeflater {
 public:
  explicit BlockDeflater(int level) : level_(level) {}

  std::string Deflate(const char* text, size_t length, bool last) {
    z_stream stream{};
    if (deflateInit2(&stream, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::bad_alloc();
    }
    const size_t bound = deflateBound(&stream, length) + 64;
    if (capacity_ < bound) {
      capacity_ = bound;
      out_ = std::make_unique_for_overwrite<char[]>(capacity_);
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text));
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = reinterpret_cast<Bytef*>(out_.get());
    stream.avail_out = static_cast<uInt>(capacity_);
    const int status = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    const size_t produced = capacity_ - stream.avail_out;
    deflateEnd(&stream);
    // The output has room for the whole block, so one call always completes it.
    if (status != (last ? Z_STREAM_END : Z_OK) || stream.avail_in != 0 || stream.avail_out == 0) {
      throw std::bad_alloc();
    }
    return std::string(out_.get(), produced);  // only what it takes: blocks are kept to the end
  }

 private:
  int level_;
  std::unique_ptr<char[]> out_;
  size_t capacity_ = 0;
};

}  // namespace

DeflatedPart DeflateInParallel(const std::function<size_t(char* out, size_t capacity)>& read,
                               int level) {
  std::mutex mutex;
  std::vector<Compressed> done;
  bool finished = false;
  std::exception_ptr failure;
  std::vector<std::thread> helpers;
  const auto fail = [&] {
    std::lock_guard lock(mutex);
    if (!failure) failure = std::current_exception();
  };

  // Each thread takes the next block of text (one at a time, as `read` requires), compresses it
  // and files the result under the block's number. The first thread starts the others once a
  // first full block shows that there is more than one.
  const std::function<void(bool)> work = [&](bool first) {
    const std::unique_ptr<char[]> text = std::make_unique_for_overwrite<char[]>(kBlock);
    BlockDeflater deflater(level);
    for (;;) {
      size_t number = 0;
      size_t length = 0;
      try {
        std::lock_guard lock(mutex);
        if (finished || failure) return;
        while (length < kBlock) {
          const size_t n = read(text.get() + length, kBlock - length);
          if (n == 0) break;
          length += n;
        }
        if (length == 0) {
          finished = true;
          return;
        }
        number = done.size();
        done.emplace_back();
      } catch (...) {
        fail();
        return;
      }
      if (first && number == 0 && length == kBlock) {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        try {
          for (unsigned i = 1; i < threads; ++i) helpers.emplace_back(work, false);
        } catch (const std::system_error&) {
          // Fewer threads than hoped: the ones running do the work.
        }
      }
      try {
        Compressed block;
        block.data = deflater.Deflate(text.get(), length, false);
        block.crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(text.get()), static_cast<uInt>(length)));
        block.length = length;
        std::lock_guard lock(mutex);
        done[number] = std::move(block);
      } catch (...) {
        fail();
        return;
      }
    }
  };
  work(true);
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);

  DeflatedPart part;
  part.crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  for (Compressed& block : done) {
    part.crc = static_cast<uint32_t>(crc32_combine(part.crc, block.crc, block.length));
    part.size += block.length;
    part.compressed_size += block.data.size();
    part.blocks.push_back(std::move(block.data));
  }
  part.blocks.push_back(BlockDeflater(level).Deflate("", 0, true));
  part.compressed_size += part.blocks.back().size();
  return part;
}

}  // namespace quilmark::xlsx
