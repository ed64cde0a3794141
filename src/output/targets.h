// The places a run's tables can go other than below its own data, each by the name a run request
// gives it. A new target is its own files plus one row of the table in targets.cpp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string_view>

#include "src/output/csv_target.h"
#include "src/summary/result_target.h"

namespace quilmark {

// What a target may need to know of the run.
struct TargetPlace {
  std::optional<std::filesystem::path> file;  // the file it writes
  std::ostream* stream = nullptr;             // the stream it prints to
  std::optional<int> decimals;                // the decimals chosen for the areas
  std::optional<int64_t> below_row;  // the data's last row, where the rows come from a worksheet
  CsvEncoding csv_encoding = CsvEncoding::kUtf8;  // how CSV is written
};

struct TargetKind {
  std::string_view name;
  // Throws HostError where the target could not be written: asked before the run reads
  // anything, so a run that could not write its result does not start. nullptr: nothing to check.
  void (*check)(const TargetPlace& place);
  std::unique_ptr<ResultTarget> (*open)(const TargetPlace& place);
  bool writes_file;  // a file the user may want to open afterwards (not a stream)
  // A stream's target that writes into the file the request names instead, where it names one.
  bool into_named_file = false;
};

std::span<const TargetKind> TargetKinds();

// The kind of that name; nullptr where none has it.
const TargetKind* FindTargetKind(std::string_view name);

}  // namespace quilmark
