#include "src/host/source_sequence.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "src/host/sheet_host.h"

namespace quilmark {

std::string PartText(size_t index, size_t count, const std::string& name) {
  return "第 " + std::to_string(index + 1) + "/" + std::to_string(count) + " 个数据源 " + name;
}

SourceSequence::SourceSequence(std::vector<Part> parts, size_t open_at_once,
                               std::function<void(size_t)> entered)
    : parts_(std::move(parts)),
      open_at_once_(std::max<size_t>(open_at_once, 1)),
      entered_(std::move(entered)) {}

// An opening under way is waited for as its future goes; one that never started is not run.
SourceSequence::~SourceSequence() = default;

void SourceSequence::OpenMore(size_t in_use) {
  while (opened_ < parts_.size() && in_use + opening_.size() < open_at_once_) {
    const Part& part = parts_[opened_++];
    try {
      opening_.push_back(std::async(std::launch::async, part.open));
    } catch (const std::system_error&) {
      opening_.push_back(std::async(std::launch::deferred, part.open));  // no thread to be had
    }
  }
}

bool SourceSequence::Enter() {
  const size_t part = taken_.size();
  if (part == parts_.size()) return false;
  const int64_t before = taken_.empty() ? 0 : taken_.back().before + last_number_;
  OpenMore(0);  // the source before has ended
  std::future<std::unique_ptr<RowSource>> opening = std::move(opening_.front());
  opening_.pop_front();
  if (entered_) entered_(part);
  try {
    taken_.push_back({before, opening.get()});
  } catch (const HostError& error) {
    Rethrow(part, error);
  }
  last_number_ = 0;
  OpenMore(1);
  return true;
}

bool SourceSequence::ReadCurrent(SourceRow& row) {
  Taken& current = taken_.back();
  try {
    if (current.rows == nullptr || !current.rows->Next(row)) return false;
  } catch (const HostError& error) {
    Rethrow(taken_.size() - 1, error);
  }
  last_number_ = row.number;
  row.number += current.before;
  return true;
}

bool SourceSequence::Next(SourceRow& row) {
  for (;;) {
    if (!taken_.empty() && ReadCurrent(row)) return true;
    if (!Enter()) return false;
  }
}

std::string SourceSequence::RowLabel(int64_t number) const {
  // The last part that starts before the number holds it.
  auto part = std::upper_bound(taken_.begin(), taken_.end(), number,
                               [](int64_t n, const Taken& taken) { return n <= taken.before; });
  if (part == taken_.begin()) return "第 " + std::to_string(number) + " 个要素";
  --part;
  const std::string& name = parts_[static_cast<size_t>(part - taken_.begin())].name;
  if (part->rows == nullptr) return name;
  return name + " " + part->rows->RowLabel(number - part->before);
}

[[noreturn]] void SourceSequence::Rethrow(size_t part, const std::exception& error) const {
  throw HostError(PartText(part, parts_.size(), parts_[part].name) + ": " + error.what());
}

}  // namespace quilmark
