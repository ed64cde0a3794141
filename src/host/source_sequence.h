// Several sources read as one: the rows of the first source, then of the second, and so on, each
// source's in its own order, so a run over the parts of a layer meets its zones and classes in the
// order the whole layer gives them. While the run takes the rows of one source, the next few are
// opened and read ahead on threads of their own; each holds only what it reads ahead, so memory
// does not grow with the number of rows or of sources.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "src/host/row_source.h"

namespace quilmark {

// How messages name part `index` (0-based) of `count`: "第 2/3 个数据源 b.gpkg".
std::string PartText(size_t index, size_t count, const std::string& name);

class SourceSequence : public RowSource {
 public:
  struct Part {
    std::string name;  // how messages name the source ("b.gpkg")
    // Opens the source, on a thread of its own; may throw HostError.
    std::function<std::unique_ptr<RowSource>()> open;
  };

  // Keeps up to `open_at_once` sources (at least 1) open, counting the one the run takes rows
  // from. `entered(i)` is called on the caller's thread as the run starts on part i (0-based).
  SourceSequence(std::vector<Part> parts, size_t open_at_once, std::function<void(size_t)> entered);
  // Waits for the openings still under way; the sources close and stop reading.
  ~SourceSequence() override;

  // The next row, numbered on from the rows of the sources before. Throws the HostError of a
  // source that cannot be opened or fails part way, its text preceded by the source's name.
  bool Next(SourceRow& row) override;
  // The source's name and its own label of the row: "b.gpkg FID 7".
  std::string RowLabel(int64_t number) const override;

 private:
  struct Taken {
    int64_t before = 0;  // the rows' numbers in this source follow on from this one
    std::unique_ptr<RowSource> rows;
  };

  void OpenMore(size_t in_use);  // starts openings while fewer than open_at_once_ are open
  bool Enter();                  // takes the next source; false when none is left
  bool ReadCurrent(SourceRow& row);
  [[noreturn]] void Rethrow(size_t part, const std::exception& error) const;

  const std::vector<Part> parts_;
  const size_t open_at_once_;
  const std::function<void(size_t)> entered_;
  std::deque<std::future<std::unique_ptr<RowSource>>> opening_;  // the parts after the taken ones
  size_t opened_ = 0;                                            // parts whose opening has started
  std::vector<Taken> taken_;  // each part entered so far, kept for its row labels
  int64_t last_number_ = 0;   // of the last row of the current part, in its own numbering
};

}  // namespace quilmark
