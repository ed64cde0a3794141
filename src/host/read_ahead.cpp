#include "src/host/read_ahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace quilmark {
namespace {

constexpr size_t kBatchRows = 2048;

}  // namespace

ReadAheadRows::ReadAheadRows(std::unique_ptr<RowSource> inner, size_t rows_ahead)
    : inner_(std::move(inner)),
      count_(inner_->RowCount()),
      batches_ahead_(std::max<size_t>(1, rows_ahead / kBatchRows)) {
  try {
    thread_ = std::thread([this] { Produce(); });
    threaded_ = true;
  } catch (const std::system_error&) {
    // No second thread: Next reads the inner source itself.
  }
}

ReadAheadRows::~ReadAheadRows() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ReadAheadRows::Produce() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || full_.size() < batches_ahead_; });
      if (stop_) return;
      if (!spare_.empty()) {
        batch = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    batch.rows.resize(kBatchRows);
    batch.count = 0;
    bool end = false;
    std::exception_ptr error;
    try {
      std::lock_guard inner_lock(inner_mutex_);
      while (batch.count < kBatchRows && !end) {
        if (inner_->Next(batch.rows[batch.count])) {
          ++batch.count;
        } else {
          end = true;
        }
      }
    } catch (...) {
      error = std::current_exception();
      end = true;
    }
    {
      std::lock_guard lock(mutex_);
      if (batch.count > 0) full_.push_back(std::move(batch));
      if (end) {
        done_ = true;
        error_ = error;
      }
    }
    changed_.notify_all();
    if (end) return;
  }
}

bool ReadAheadRows::NextBatch() {
  std::unique_lock lock(mutex_);
  if (current_.count > 0) spare_.push_back(std::move(current_));
  current_ = Batch();
  at_ = 0;
  changed_.wait(lock, [this] { return !full_.empty() || done_; });
  if (full_.empty()) {
    const std::exception_ptr error = error_;
    lock.unlock();
    Release();
    if (error) std::rethrow_exception(error);
    return false;
  }
  current_ = std::move(full_.front());
  full_.pop_front();
  lock.unlock();
  changed_.notify_all();
  return true;
}

// The reader has returned once it set done_; its batches will not be filled again.
void ReadAheadRows::Release() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  spare_ = {};
  current_ = Batch();
}

bool ReadAheadRows::Next(SourceRow& row) {
  if (!threaded_) return inner_->Next(row);
  if (at_ == current_.count && !NextBatch()) return false;
  // The caller's row goes back into the batch, so its texts' buffers are used again.
  swap(row, current_.rows[at_++]);
  return true;
}

std::string ReadAheadRows::RowLabel(int64_t number) const {
  std::lock_guard inner_lock(inner_mutex_);
  return inner_->RowLabel(number);
}

}  // namespace quilmark
