#include "src/host/xlsx/package/parallel_deflate.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <new>
#include <system_error>

namespace quilmark::xlsx {
namespace {

constexpr size_t kBlock = size_t{1} << 20;

// One block as a raw deflate stream that ends byte-aligned without a final block, compressed by
// ISA-L at its level 1: three times as fast as zlib's level 1 on sheet XML, and a little smaller.
// `out` is scratch space, kept between calls.
std::string DeflateBlock(const char* text, size_t length, std::string& out) {
  isal_zstream stream;
  isal_deflate_stateless_init(&stream);
  stream.level = 1;
  stream.gzip_flag = IGZIP_DEFLATE;
  stream.flush = FULL_FLUSH;  // byte-aligned, and no match reaches into the next block
  stream.end_of_stream = 0;
  // Room for the text stored as it is, should it not compress.
  const size_t bound = length + length / 16 + 1024;
  if (out.size() < bound) out.resize(bound);
  stream.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(text));
  stream.avail_in = static_cast<uint32_t>(length);
  stream.next_out = reinterpret_cast<uint8_t*>(out.data());
  stream.avail_out = static_cast<uint32_t>(out.size());
  if (isal_deflate_stateless(&stream) != COMP_OK || stream.avail_in != 0) throw std::bad_alloc();
  return std::string(out.data(), out.size() - stream.avail_out);  // only what it takes
}

// The final block that ends the stream: an empty block of the fixed codes (the final-block bit,
// the type 01, and the 7-bit end-of-block code 0).
constexpr std::string_view kFinalBlock("\x03\x00", 2);

// The text that `read` produces, cut into blocks of kBlock bytes.
BlockSource BlocksOf(TextSource read) {
  return [read = std::move(read), ended = false]() mutable -> MakeText {
    std::string text(kBlock, '\0');
    size_t length = 0;
    while (!ended && length < kBlock) {
      const size_t n = read(text.data() + length, kBlock - length);
      ended = n == 0;
      length += n;
    }
    if (length == 0) return {};
    text.resize(length);
    return [text = std::move(text)](std::string& out) mutable { out.swap(text); };
  };
}

}  // namespace

struct DeflateStream::Scratch {
  std::string text;
  std::string out;
};

DeflateStream::DeflateStream(TextSource read) : DeflateStream(BlocksOf(std::move(read))) {}

DeflateStream::DeflateStream(BlockSource next)
    : next_(std::move(next)), own_(std::make_unique<Scratch>()) {
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

int64_t DeflateStream::TakeBlock(MakeText& make) {
  std::lock_guard order(read_mutex_);
  try {
    if (!read_ended_) make = next_();
    read_ended_ = !make;
  } catch (...) {
    // The failure is known before the text counts as ended: a thread that finds it ended next
    // must not take that for the end of the text and let the stream finish as if complete.
    read_ended_ = true;
    std::lock_guard lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    throw;
  }
  if (!make) return -1;
  std::lock_guard lock(mutex_);
  return taken_++;
}

bool DeflateStream::CompressOne(std::unique_lock<std::mutex>& lock, Scratch& scratch) {
  lock.unlock();
  int64_t number = -1;
  Block block;
  try {
    MakeText make;
    number = TakeBlock(make);
    if (number >= 0) {
      scratch.text.clear();
      make(scratch.text);
      const std::string& text = scratch.text;
      if (!text.empty()) block.data = DeflateBlock(text.data(), text.size(), scratch.out);
      block.crc =
          crc32_gzip_refl(0, reinterpret_cast<const unsigned char*>(text.data()), text.size());
      block.length = text.size();
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
    current_ = kFinalBlock;
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

DeflatedPart DeflateInParallel(const TextSource& read) {
  DeflateStream stream(read);
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
