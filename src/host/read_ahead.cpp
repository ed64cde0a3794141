#include "src/host/read_ahead.h"

#include <utility>

namespace quilmark {

ReadAheadRows::ReadAheadRows(std::unique_ptr<RowSource> inner, size_t rows_ahead)
    : inner_(std::move(inner)), count_(inner_->RowCount()) {
  auto read = [this](const PushedRows::Push& push) {
    SourceRow row;
    for (;;) {
      {
        std::lock_guard lock(inner_mutex_);
        if (!inner_->Next(row)) return;
      }
      push(row);
    }
  };
  ahead_ = PushedRows::Start(read, [this](int64_t number) { return RowLabel(number); }, nullptr,
                             rows_ahead);
}

std::string ReadAheadRows::RowLabel(int64_t number) const {
  std::lock_guard lock(inner_mutex_);
  return inner_->RowLabel(number);
}

}  // namespace quilmark
