#include "src/host/xlsx/package/entry_inflater.h"

#include <isa-l/igzip_lib.h>
#include <zip.h>

#include <algorithm>
#include <climits>

#include "src/host/xlsx/package/package_error.h"

namespace quilmark::xlsx {
namespace {

constexpr size_t kInput = size_t{1} << 17;

}  // namespace

EntryInflater::EntryInflater(zip_file* stored, uint32_t crc, std::optional<uint64_t> size,
                             std::string part)
    : stored_(stored), crc_(crc), size_(size), part_(std::move(part)) {
  try {
    state_ = std::make_unique<inflate_state>();
    input_ = std::make_unique_for_overwrite<unsigned char[]>(kInput);
  } catch (...) {
    zip_fclose(stored_);
    throw;
  }
  isal_inflate_init(state_.get());
  state_->crc_flag = ISAL_GZIP_NO_HDR;  // the zip CRC-32 of what comes out
}

EntryInflater::~EntryInflater() { zip_fclose(stored_); }

void EntryInflater::Damaged(const std::string& reason) const {
  throw PackageError("部件 " + part_ + " 已损坏 (" + reason + ")");
}

bool EntryInflater::Refill() {
  const zip_int64_t n = zip_fread(stored_, input_.get(), kInput);
  if (n < 0) Damaged(zip_file_strerror(stored_));
  state_->next_in = input_.get();
  state_->avail_in = static_cast<uint32_t>(n);
  return n > 0;
}

void EntryInflater::Finish() {
  ended_ = true;
  if (size_ && *size_ != total_) Damaged("解压后的长度与目录记载的不符");
  if (state_->crc != crc_) Damaged("校验和不符");
}

size_t EntryInflater::Read(char* out, size_t capacity) {
  if (ended_) return 0;
  state_->next_out = reinterpret_cast<uint8_t*>(out);
  state_->avail_out = static_cast<uint32_t>(std::min<size_t>(capacity, UINT32_MAX));
  const uint32_t room = state_->avail_out;
  // Block headers take input without giving output: go on until something comes out.
  while (state_->avail_out == room && state_->block_state != ISAL_BLOCK_FINISH) {
    if (state_->avail_in == 0 && !input_ended_) input_ended_ = !Refill();
    const uint32_t unread = state_->avail_in;
    if (isal_inflate(state_.get()) < 0) Damaged("压缩数据无效");
    const bool stuck = state_->avail_out == room && state_->avail_in == unread &&
                       state_->block_state != ISAL_BLOCK_FINISH;
    if (stuck) Damaged(input_ended_ ? "压缩数据在结尾之前中断" : "压缩数据无效");
  }
  const size_t produced = room - state_->avail_out;
  total_ += produced;
  if (state_->block_state == ISAL_BLOCK_FINISH) Finish();
  return produced;
}

}  // namespace quilmark::xlsx
