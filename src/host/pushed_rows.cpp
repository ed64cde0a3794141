#include "src/host/pushed_rows.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace quilmark {
namespace {

constexpr size_t kBatchRows = 512;

}  // namespace

std::unique_ptr<PushedRows> PushedRows::Start(Reader read, Label label, Count count,
                                              size_t rows_ahead) {
  std::unique_ptr<PushedRows> rows(
      new PushedRows(std::move(read), std::move(label), std::move(count), rows_ahead));
  try {
    rows->thread_ = std::thread([source = rows.get()] { source->Read(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return rows;
}

PushedRows::PushedRows(Reader read, Label label, Count count, size_t rows_ahead)
    : read_(std::move(read)),
      label_(std::move(label)),
      count_(std::move(count)),
      batches_ahead_(std::max<size_t>(1, rows_ahead / kBatchRows)) {}

PushedRows::~PushedRows() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PushedRows::Read() {
  std::exception_ptr error;
  try {
    read_([this](SourceRow& row) { Add(row); });
  } catch (const Stopped&) {
  } catch (...) {
    error = std::current_exception();
  }
  HandOver(true, error);
}

void PushedRows::Add(SourceRow& row) {
  if (filling_.rows.size() < kBatchRows) filling_.rows.resize(kBatchRows);
  swap(filling_.rows[filling_.count++], row);
  if (filling_.count == kBatchRows) HandOver(false, nullptr);
}

// Passes the batch being filled to the caller, waiting while enough wait already; throws Stopped
// when the caller has gone.
void PushedRows::HandOver(bool end, std::exception_ptr error) {
  std::unique_lock lock(mutex_);
  if (!end) changed_.wait(lock, [this] { return stop_ || full_.size() < batches_ahead_; });
  if (stop_) {
    done_ = true;
    if (end) return;
    throw Stopped{};
  }
  if (filling_.count > 0) full_.push_back(std::move(filling_));
  filling_ = Batch();
  if (!end && !spare_.empty()) {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
    filling_.count = 0;
  }
  if (end) {
    done_ = true;
    error_ = error;
  }
  lock.unlock();
  changed_.notify_all();
}

bool PushedRows::NextBatch() {
  std::unique_lock lock(mutex_);
  if (current_.count > 0) spare_.push_back(std::move(current_));
  current_ = Batch();
  at_ = 0;
  changed_.wait(lock, [this] { return !full_.empty() || done_; });
  if (full_.empty()) {
    const std::exception_ptr error = error_;
    spare_ = {};
    lock.unlock();
    if (thread_.joinable()) thread_.join();
    if (error) std::rethrow_exception(error);
    return false;
  }
  current_ = std::move(full_.front());
  full_.pop_front();
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool PushedRows::Next(SourceRow& row) {
  if (at_ == current_.count && !NextBatch()) return false;
  swap(row, current_.rows[at_++]);
  return true;
}

}  // namespace quilmark
