// The preview: each table printed as an aligned table on the terminal, nothing written anywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

#include "src/summary/result_target.h"

namespace quilmark {

// Where below_row gives the data's last row (the rows come from a worksheet), the tables are
// placed and checked as the worksheet would place them and each title names the rows it would
// take; without one every table fits.
class PreviewTarget : public ResultTarget {
 public:
  PreviewTarget(std::ostream& out, std::optional<int64_t> below_row)
      : out_(out), below_row_(below_row) {}
  bool Fits(std::span<const TableShape> shapes) const override;
  void Write(std::span<const ResultTable> tables) override;
  std::string Completion() const override;

 private:
  std::ostream& out_;
  const std::optional<int64_t> below_row_;
};

}  // namespace quilmark
