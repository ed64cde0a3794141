#include "src/summary/row_feed.h"

#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "src/summary/text_ids.h"

namespace quilmark {

std::optional<std::string_view> RowText(const std::optional<CellValue>& cell, std::string& buffer) {
  if (!cell) return std::nullopt;
  if (const std::string* text = std::get_if<std::string>(&*cell)) return TrimBlanks(*text);
  buffer = CellText(*cell);
  return std::string_view(buffer);
}

namespace {

// The ids of the row's texts; a cross-class text equal to the class text (the same column, as a
// layer always has it) is not looked up twice.
void SetIds(PatchRow& row, TextIds& zone_ids, TextIds& class_ids) {
  if (row.zone) row.zone_id = zone_ids.Id(*row.zone);
  if (row.class_text) row.class_id = class_ids.Id(*row.class_text);
  if (row.cross_class) {
    row.cross_id = row.class_text && *row.class_text == *row.cross_class
                       ? row.class_id
                       : class_ids.Id(*row.cross_class);
  }
}

// Rows read, waiting for the tasks. Its rows are reused from batch to batch.
struct Batch {
  static constexpr size_t kRows = 1024;
  std::vector<SourceRow> cells = std::vector<SourceRow>(kRows);
  size_t count = 0;
};

// The reading side of the loop: the source and the zone rewrite, which writes to it.
class RowReader {
 public:
  RowReader(RowSource& source, ZoneRewrite rewrite_zone)
      : source_(source), rewrite_zone_(rewrite_zone) {}

  // Fills the batch with the next rows; false when the source had none left.
  bool Fill(Batch& batch) {
    batch.count = 0;
    while (batch.count < Batch::kRows && !ended_) {
      SourceRow& cells = batch.cells[batch.count];
      cells.patches = 1;  // a source that groups its patches says otherwise
      cells.ridge.reset();
      cells.inexact_zone = false;  // a source whose zone field is a Real says otherwise
      if (!source_.Next(cells)) {
        ended_ = true;
        break;
      }
      Rewrite(cells);
      ++batch.count;
    }
    return batch.count > 0;
  }
  // Whether the source has said it has no more rows.
  bool ended() const { return ended_; }

 private:
  void Rewrite(SourceRow& cells) {
    if (rewrite_zone_ == nullptr || !cells.zone) return;
    if (std::optional<std::string> text = rewrite_zone_(*cells.zone)) {
      source_.RewriteZone(cells, *text);
      // The rest of the run reads the new zone even where the source cannot keep it.
      cells.zone = CellValue{std::move(*text)};
    }
  }

  RowSource& source_;
  const ZoneRewrite rewrite_zone_;
  bool ended_ = false;
};

// The tasks' side of the loop: each row's texts, area and text ids, derived once for all tasks.
class RowFeeder {
 public:
  explicit RowFeeder(std::span<RowSink* const> sinks) : sinks_(sinks) {}

  void Feed(const Batch& batch) {
    for (size_t i = 0; i < batch.count; ++i) {
      const SourceRow& cells = batch.cells[i];
      PatchRow row{cells, RowText(cells.zone, texts_[0]), RowText(cells.class_, texts_[1]),
                   RowText(cells.cross_class, texts_[2]),
                   cells.area ? CellNumber(*cells.area) : std::nullopt};
      SetIds(row, zone_ids_, class_ids_);
      for (RowSink* sink : sinks_) sink->AddRow(row);
    }
  }

 private:
  const std::span<RowSink* const> sinks_;
  std::array<std::string, 3> texts_;  // texts of cells that are not texts, their room reused
  TextIds zone_ids_, class_ids_;
};

// Batches passed from the reading thread to the thread that feeds the tasks, in order: while the
// tasks take one batch, the next is read.
class BatchRing {
 public:
  static constexpr size_t kBatches = 3;

  // The batch to fill next, once the tasks are done with it; nullptr when the tasks failed.
  Batch* Empty() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return filled_ - fed_ < kBatches || failure_; });
    return failure_ ? nullptr : &batches_[filled_ % kBatches];
  }
  void Filled() {
    Signal([&] { ++filled_; });
  }
  void End() {
    Signal([&] { ended_ = true; });
  }

  // The tasks' side: feeds every batch until the end.
  void FeedAll(RowFeeder& feeder) {
    try {
      while (const Batch* batch = Next()) {
        feeder.Feed(*batch);
        Signal([&] { ++fed_; });
      }
    } catch (...) {
      Signal([&] { failure_ = std::current_exception(); });
    }
  }
  std::exception_ptr failure() {
    std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  const Batch* Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return fed_ < filled_ || ended_; });
    return fed_ < filled_ ? &batches_[fed_ % kBatches] : nullptr;
  }
  template <typename Change>
  void Signal(Change change) {
    std::lock_guard lock(mutex_);
    change();
    changed_.notify_all();
  }

  std::array<Batch, kBatches> batches_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t filled_ = 0;  // batches handed to the tasks
  size_t fed_ = 0;     // batches the tasks are done with
  bool ended_ = false;
  std::exception_ptr failure_;
};

// Reads batches into the ring until the source ends or the tasks fail, then waits for the tasks
// to finish; throws what either side threw.
void ReadInto(RowReader& reader, BatchRing& ring, std::thread& tasks) {
  try {
    while (Batch* batch = ring.Empty()) {
      if (!reader.Fill(*batch)) break;
      ring.Filled();
    }
  } catch (...) {
    ring.End();
    tasks.join();
    throw;
  }
  ring.End();
  tasks.join();
  if (std::exception_ptr failure = ring.failure()) std::rethrow_exception(failure);
}

}  // namespace

void FeedRows(RowSource& source, ZoneRewrite rewrite_zone, std::span<RowSink* const> sinks) {
  RowReader reader(source, rewrite_zone);
  RowFeeder feeder(sinks);
  // The first batch is fed on this thread: a source of fewer rows never starts another.
  Batch batch;
  if (!reader.Fill(batch)) return;
  feeder.Feed(batch);
  if (reader.ended()) return;
  // Rows another thread has read already are taken and summed here: a thread more would only
  // hand them on once again.
  if (source.ReadAhead()) {
    while (reader.Fill(batch)) feeder.Feed(batch);
    return;
  }
  // From then on the rows are read on this thread while the tasks take them on another.
  BatchRing ring;
  std::thread tasks;
  try {
    tasks = std::thread([&] { ring.FeedAll(feeder); });
  } catch (const std::system_error&) {
    while (reader.Fill(batch)) feeder.Feed(batch);  // no second thread to be had
    return;
  }
  ReadInto(reader, ring, tasks);
}

}  // namespace quilmark
