// Rows given in a list, as a layer would give them, for tests: named "FID n" by their number.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "src/host/row_source.h"

namespace quilmark {

class ListedRows : public RowSource {
 public:
  explicit ListedRows(std::vector<SourceRow> rows) : rows_(std::move(rows)) {}
  bool Next(SourceRow& row) override {
    if (at_ == rows_.size()) return false;
    row = rows_[at_++];
    return true;
  }
  std::string RowLabel(int64_t number) const override { return "FID " + std::to_string(number); }

 private:
  std::vector<SourceRow> rows_;
  size_t at_ = 0;
};

}  // namespace quilmark
