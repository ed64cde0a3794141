#include "src/app/watched_rows.h"

namespace quilmark {

bool WatchedRows::Next(SourceRow& row) {
  // Asked before the first row too, so a cancel during loading stops before the pass.
  if (read_ % kEvery == 0) {
    sink_.RowsRead(read_, total_ > 0 ? total_ : inner_.RowCount());
    if (sink_.CancelRequested()) throw RunCancelled{};
  }
  if (!inner_.Next(row)) return false;
  ++read_;
  return true;
}

}  // namespace quilmark
