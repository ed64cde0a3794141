// The targets a run's tables can go to instead of the worksheet below the data: a preview on the
// terminal (nothing written) and a new workbook file.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <vector>

#include "src/summary/result_target.h"

namespace quilmark {

// Prints each table as an aligned table. With below_row (the data's last row of the worksheet the
// run reads) the tables are placed and checked as the worksheet would place them, and each title
// names the rows it would take; without, every table fits.
class PreviewTarget : public ResultTarget {
 public:
  PreviewTarget(std::ostream& out, std::optional<int64_t> below_row)
      : out_(out), below_row_(below_row) {}
  bool Fits(std::span<const TableShape> shapes) const override;
  void Write(std::span<const ResultTable> tables) override;

 private:
  std::ostream& out_;
  const std::optional<int64_t> below_row_;
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
