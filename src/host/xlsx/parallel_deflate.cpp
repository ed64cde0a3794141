#include "src/host/xlsx/parallel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <system_error>

namespace quilmark::xlsx {
namespace {

constexpr size_t kBlock = size_t{1} << 20;

// One block as a raw deflate stream that ends byte-aligned without a final block, or, with
// `last`, the final block itself. `out` is scratch space, kept between calls.
std::string DeflateBlock(const char* text, size_t length, bool last, int level, std::string& out) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::bad_alloc();
  }
  const size_t bound = deflateBound(&stream, length) + 64;
  if (out.size() < bound) out.resize(bound);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text));
  stream.avail_in = static_cast<uInt>(length);
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
  const size_t produced = out.size() - stream.avail_out;
  deflateEnd(&stream);
  // The output has room for the whole block, so one call always completes it.
  if (status != (last ? Z_STREAM_END : Z_OK) || stream.avail_in != 0 || stream.avail_out == 0) {
    throw std::bad_alloc();
  }
  return std::string(out.data(), produced);  // only what it takes
}

}  // namespace

struct DeflateStream::Scratch {
  std::unique_ptr<char[]> text = std::make_unique_for_overwrite<char[]>(kBlock);
  size_t length = 0;
  std::string out;
};

DeflateStream::DeflateStream(TextSource read, int level)
    : read_(std::move(read)), level_(level), own_(std::make_unique<Scratch>()) {
  crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  ahead_ = 2 * threads + 2;
  try {
    for (unsigned i = 1; i < threads; ++i) helpers_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Fewer threads than hoped: the reading thread does more of the work.
  }
}

DeflateStream::~DeflateStream() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

bool DeflateStream::MayTake() const {
  return !stop_ && !failure_ && !text_ended_ && taken_ - next_out_ < static_cast<int64_t>(ahead_);
}

void DeflateStream::Work() {
  Scratch scratch;
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return MayTake() || stop_ || failure_ || text_ended_; });
    if (!MayTake() || !CompressOne(lock, scratch)) return;
  }
}

int64_t DeflateStream::TakeText(Scratch& scratch) {
  std::lock_guard order(read_mutex_);
  scratch.length = 0;
  try {
    while (!read_ended_ && scratch.length < kBlock) {
      const size_t n = read_(scratch.text.get() + scratch.length, kBlock - scratch.length);
      read_ended_ = n == 0;
      scratch.length += n;
    }
  } catch (...) {
    // The failure is known before the text counts as ended: a thread that finds it ended next
    // must not take that for the end of the text and let the stream finish as if complete.
    read_ended_ = true;
    std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    throw;
  }
  if (scratch.length == 0) return -1;
  std::lock_guard lock(mutex_);
  return taken_++;
}

bool DeflateStream::CompressOne(std::unique_lock<std::mutex>& lock, Scratch& scratch) {
  lock.unlock();
  int64_t number = -1;
  Block block;
  try {
    number = TakeText(scratch);
    if (number >= 0) {
      block.data = DeflateBlock(scratch.text.get(), scratch.length, false, level_, scratch.out);
      block.crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(scratch.text.get()),
                                              static_cast<uInt>(scratch.length)));
      block.length = scratch.length;
    }
  } catch (...) {
    lock.lock();
    if (!failure_) failure_ = std::current_exception();
    changed_.notify_all();
    return false;
  }
  lock.lock();
  if (number < 0) {
    text_ended_ = true;
  } else {
    done_.emplace(number, std::move(block));
  }
  changed_.notify_all();
  return number >= 0;
}

bool DeflateStream::NextReady() const {
  return done_.contains(next_out_) || (text_ended_ && next_out_ == taken_);
}

bool DeflateStream::NextBlock(std::unique_lock<std::mutex>& lock) {
  // While the next block is not done, this thread compresses one itself or waits.
  while (!NextReady() && !failure_) {
    if (MayTake() && CompressOne(lock, *own_)) continue;
    changed_.wait(lock, [&] { return NextReady() || failure_ || MayTake(); });
  }
  if (failure_) std::rethrow_exception(failure_);
  const auto found = done_.find(next_out_);
  if (found != done_.end()) {
    Block& block = found->second;
    crc_ = static_cast<uint32_t>(crc32_combine(crc_, block.crc, block.length));
    size_ += block.length;
    current_ = std::move(block.data);
    done_.erase(found);
    ++next_out_;
    changed_.notify_all();  // room for another block
  } else if (!finished_) {
    current_ = DeflateBlock("", 0, true, level_, own_->out);
    finished_ = true;
  } else {
    return false;
  }
  current_at_ = 0;
  compressed_size_ += current_.size();
  return true;
}

size_t DeflateStream::Read(char* out, size_t capacity) {
  size_t written = 0;
  while (written < capacity) {
    if (current_at_ == current_.size()) {
      std::unique_lock lock(mutex_);
      if (!NextBlock(lock)) break;
    }
    const size_t n = std::min(capacity - written, current_.size() - current_at_);
    current_.copy(out + written, n, current_at_);
    current_at_ += n;
    written += n;
  }
  return written;
}

DeflatedPart DeflateInParallel(const TextSource& read, int level) {
  DeflateStream stream(read, level);
  DeflatedPart part;
  std::string piece(kBlock, '\0');
  while (const size_t n = stream.Read(piece.data(), piece.size()))
    part.blocks.emplace_back(piece, 0, n);
  part.size = stream.size();
  part.crc = stream.crc();
  part.compressed_size = stream.compressed_size();
  return part;
}

}  // namespace quilmark::xlsx
