// A new workbook file that takes a run's tables, each on its own sheet (see new_workbook.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "src/summary/result_target.h"

namespace quilmark {

class NewWorkbookTarget : public ResultTarget {
 public:
  NewWorkbookTarget(std::filesystem::path path, std::optional<int> decimals)
      : path_(std::move(path)), decimals_(decimals) {}
  // Any table that fits in one worksheet.
  bool Fits(std::span<const TableShape> shapes) const override;
  void Write(std::span<const ResultTable> tables) override;
  // Names the file.
  std::string Completion() const override;

 private:
  const std::filesystem::path path_;
  const std::optional<int> decimals_;
};

// The completion of a run whose tables went into the new workbook `result`.
std::string WrittenToText(const std::filesystem::path& result);

}  // namespace quilmark
