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

constexpr size_t kBlock = size_t{4} << 20;

struct Compressed {
  std::string data;
  uint32_t crc = 0;
  size_t length = 0;
};

// One block as a raw deflate stream that ends byte-aligned without a final block, or, with
// `last`, the final block itself. `out` is scratch space, kept between calls.
std::string Deflate(const char* text, size_t length, int level, bool last, std::string& out) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::bad_alloc();
  }
  out.resize(deflateBound(&stream, length) + 64);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text));
  stream.avail_in = static_cast<uInt>(length);
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
  const size_t produced = out.size() - stream.avail_out;
  deflateEnd(&stream);
  // The buffer is large enough for the whole block, so one call always completes it.
  if (status != (last ? Z_STREAM_END : Z_OK) || stream.avail_in != 0 || stream.avail_out == 0) {
    throw std::bad_alloc();
  }
  return out.substr(0, produced);  // only what it takes: blocks are kept until the end
}

}  // namespace

DeflatedPart DeflateInParallel(const std::function<size_t(char* out, size_t capacity)>& read,
                               int level) {
  std::mutex mutex;
  std::vector<Compressed> done;
  bool finished = false;
  std::exception_ptr failure;

  // Each thread takes the next block of text (one at a time, as `read` requires), compresses it
  // and files the result under the block's number.
  const auto work = [&] {
    const std::unique_ptr<char[]> text = std::make_unique_for_overwrite<char[]>(kBlock);
    std::string scratch;
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
        std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        return;
      }
      try {
        Compressed block;
        block.data = Deflate(text.get(), length, level, false, scratch);
        block.crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(text.get()), static_cast<uInt>(length)));
        block.length = length;
        std::lock_guard lock(mutex);
        done[number] = std::move(block);
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        return;
      }
    }
  };

  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  std::vector<std::thread> helpers;
  try {
    for (unsigned i = 1; i < threads; ++i) helpers.emplace_back(work);
  } catch (const std::system_error&) {
    // Fewer threads than hoped: the ones running do the work.
  }
  work();
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
  std::string scratch;
  part.blocks.push_back(Deflate("", 0, level, true, scratch));
  part.compressed_size += part.blocks.back().size();
  return part;
}

}  // namespace quilmark::xlsx
