// The targets a run's tables can go to instead of the worksheet below the data: a preview on the
// terminal (nothing written) and a new workbook file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "src/summary/result_target.h"

namespace quilmark {

// Prints each table as an aligned table. Where below_row gives the data's last row (asked once,
// when the run checks the tables, so after the sheet is read), the tables are placed and checked
// as the worksheet would place them and each title names the rows it would take; where it gives
// nullopt, every table fits.
class PreviewTarget : public ResultTarget {
 public:
  PreviewTarget(std::ostream& out, std::function<std::optional<int64_t>()> below_row)
      : out_(out), below_row_(std::move(below_row)) {}
  bool Fits(std::span<const TableShape> shapes) const override;
  void Write(std::span<const ResultTable> tables) override;

 private:
  std::optional<int64_t> BelowRow() const;

  std::ostream& out_;
  const std::function<std::optional<int64_t>()> below_row_;
  mutable std::optional<std::optional<int64_t>> asked_;
};

// Writes the tables into a new workbook (WriteNewWorkbook), each on its own sheet, which holds
// any table that fits in one worksheet.
class NewWorkbookTarget : public ResultTarget {
 public:
  NewWorkbookTarget(std::filesystem::path path, std::optional<int> decimals)
      : path_(std::move(path)), decimals_(decimals) {}
  bool Fits(std::span<const TableShape> shapes) const override;
  void Write(std::span<const ResultTable> tables) override;

 private:
  const std::filesystem::path path_;
  const std::optional<int> decimals_;
};

}  // namespace quilmark
