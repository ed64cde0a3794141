// Reading a source ahead of the run: a second thread fills batches of rows while the run sums
// the batch before, so a source that spends its time in a driver (a GIS layer decoding pages, a
// database cursor) and the tasks overlap. At most a few batches wait at once, so memory stays
// flat however many rows there are. Once the inner source has ended and its rows are taken, the
// thread is gone and the batches are freed: a run over many sources keeps each ended one for its
// row labels at the cost of the inner source's own state alone.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "src/host/pushed_rows.h"
#include "src/host/row_source.h"

namespace quilmark {

class ReadAheadRows : public RowSource {
 public:
  // Rows a reader keeps ready by default: enough to keep the run and the reader apart.
  static constexpr size_t kDefaultRowsAhead = 3 * 2048;

  // Starts reading `inner` on a thread of its own, at most about `rows_ahead` rows ahead of the
  // caller; where no thread can be started, it is read on the caller's thread as it would be
  // without this wrapper. The reading thread stops (after the row it is reading) when this goes.
  explicit ReadAheadRows(std::unique_ptr<RowSource> inner, size_t rows_ahead = kDefaultRowsAhead);

  // The inner source's rows in order; rethrows what the inner source threw, at the row where it
  // threw.
  bool Next(SourceRow& row) override { return ahead_ ? ahead_->Next(row) : inner_->Next(row); }
  std::string RowLabel(int64_t number) const override;
  // The inner source's, asked once when reading starts.
  int64_t RowCount() const override { return count_; }
  bool ReadAhead() const override { return ahead_ != nullptr; }

 private:
  std::unique_ptr<RowSource> inner_;
  const int64_t count_;
  mutable std::mutex inner_mutex_;  // held while the inner source reads, and for its labels
  std::unique_ptr<PushedRows> ahead_;  // last: its thread stops before the inner source goes
};

}  // namespace quilmark
