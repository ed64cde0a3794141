// Rows that a reader pushes as it comes to them (a worksheet as its file inflates, a source read
// ahead of the run), taken by the run as a row source: the reader runs on a thread of its own and
// hands the rows over in batches, a few at most waiting, so memory stays flat however many rows
// there are. Once the reader has ended and its rows are taken, the thread is gone and the batches
// are freed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "src/host/row_source.h"

namespace quilmark {

class PushedRows : public RowSource {
 public:
  // Takes the row's cells (the row is left with others to fill again).
  using Push = std::function<void(SourceRow&)>;
  // Reads the source, calling push for each row in order. It runs on the reading thread; what it
  // throws reaches the caller of Next after the rows it pushed before.
  using Reader = std::function<void(const Push&)>;
  using Label = std::function<std::string(int64_t)>;
  // The rows the source is expected to hold, as far as the reader has found out; 0 when unknown.
  using Count = std::function<int64_t()>;

  // Rows a reader keeps ready by default: enough to keep the run and the reader apart.
  static constexpr size_t kDefaultRowsAhead = 2048;

  // Starts `read` on a thread of its own, at most about `rows_ahead` rows ahead of the caller;
  // nullptr where no thread can be started.
  static std::unique_ptr<PushedRows> Start(Reader read, Label label, Count count = nullptr,
                                           size_t rows_ahead = kDefaultRowsAhead);
  // Stops the reader at its next push (which throws Stopped through it) and waits for it.
  ~PushedRows() override;

  bool Next(SourceRow& row) override;
  std::string RowLabel(int64_t number) const override { return label_(number); }
  int64_t RowCount() const override { return count_ ? count_() : 0; }
  bool ReadAhead() const override { return true; }

  // What a push throws once the rows are no longer wanted; the reader lets it pass.
  struct Stopped {};

 private:
  struct Batch {
    std::vector<SourceRow> rows;
    size_t count = 0;
  };

  PushedRows(Reader read, Label label, Count count, size_t rows_ahead);
  void Read();
  void Add(SourceRow& row);
  void HandOver(bool end, std::exception_ptr error);
  bool NextBatch();

  Reader read_;
  Label label_;
  Count count_;
  const size_t batches_ahead_;

  std::mutex mutex_;  // guards what follows, up to the thread
  std::condition_variable changed_;
  std::deque<Batch> full_;
  std::vector<Batch> spare_;
  bool done_ = false;
  bool stop_ = false;
  std::exception_ptr error_;
  std::thread thread_;

  Batch filling_;  // on the reading thread only
  Batch current_;  // on the caller's thread only
  size_t at_ = 0;
};

}  // namespace quilmark
