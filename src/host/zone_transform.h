// Zone transforms: what a run does to every row's zone before the tasks see it, whatever the
// source. Keying zones by the first N characters of their code (9 characters of a 19-digit
// location code give the township), then naming codes from a two-column table.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "src/host/row_source.h"

namespace quilmark {

struct ZoneTransform {
  std::optional<int> prefix;                           // keep this many characters; nullopt: all
  std::unordered_map<std::string, std::string> names;  // code -> name; a code not listed stays

  bool IsIdentity() const { return !prefix && names.empty(); }
};

// Reads a code -> name table: one pair per line, code and name separated by a tab or a comma
// (CSV quotes allowed), blanks around each trimmed, empty lines skipped; UTF-8 (with or without
// a byte-order mark) or GBK. Throws HostError starting "无法读取区域名称表: " naming the file and
// the line when the file cannot be read, a line has no name, or a code has two names.
std::unordered_map<std::string, std::string> ReadZoneNames(const std::string& path);

// The zone as the transform makes it: its text cut to the prefix, then named. An empty zone and
// a cell that could not be read stay as they are.
void ApplyZoneTransform(const ZoneTransform& transform, std::optional<CellValue>& zone);

// The rows of `inner` with the transform applied to each zone.
std::unique_ptr<RowSource> TransformZones(std::unique_ptr<RowSource> inner,
                                          ZoneTransform transform);

}  // namespace quilmark
