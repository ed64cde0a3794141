#include "src/output/targets.h"

#include <iostream>

#include "src/host/xlsx/file_guard.h"
#include "src/output/csv_target.h"
#include "src/output/new_workbook_target.h"
#include "src/output/preview_target.h"

namespace quilmark {
namespace {

std::ostream& StreamOf(const TargetPlace& place) {
  return place.stream != nullptr ? *place.stream : std::cout;
}

void CheckNewWorkbook(const TargetPlace& place) {
  if (place.file) xlsx::CheckNewWorkbookTarget(*place.file);
}

std::unique_ptr<ResultTarget> OpenNewWorkbook(const TargetPlace& place) {
  return std::make_unique<NewWorkbookTarget>(place.file.value_or(""), place.decimals);
}

// A CSV file is checked as a workbook's would be: not open in an office, writable, in a folder.
void CheckCsvFile(const TargetPlace& place) {
  if (place.file) xlsx::CheckWritableTarget(*place.file);
}

std::unique_ptr<ResultTarget> OpenCsv(const TargetPlace& place) {
  return std::make_unique<CsvTarget>(StreamOf(place), place.file, place.csv_encoding);
}

std::unique_ptr<ResultTarget> OpenPreview(const TargetPlace& place) {
  return std::make_unique<PreviewTarget>(StreamOf(place), place.below_row);
}

constexpr TargetKind kTargets[] = {
    {"xlsx", CheckNewWorkbook, OpenNewWorkbook, true},
    {"csv", CheckCsvFile, OpenCsv, false, true},
    {"preview", nullptr, OpenPreview, false},
};

}  // namespace

std::span<const TargetKind> TargetKinds() { return kTargets; }

const TargetKind* FindTargetKind(std::string_view name) {
  for (const TargetKind& kind : kTargets) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

}  // namespace quilmark
