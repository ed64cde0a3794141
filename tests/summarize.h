// Runs as the programs start them, through one request, on a host, rows or layer a test names.
#pragma once

#include <string>

#include "src/app/run_request.h"

namespace quilmark {

// The tables go below the data unless a target is given.
inline RunResult SummarizeHost(const RunOptions& options, SpreadsheetHost& host, MessageSink& sink,
                               ResultTarget* target = nullptr) {
  RunRequest request{options, {}, {}};
  request.input.host = &host;
  request.output.given = target;
  return CarryOut(request, sink);
}

inline RunResult SummarizeRows(const RunOptions& options, RowSource& rows, ResultTarget& target,
                               MessageSink& sink, std::string area_name) {
  RunRequest request{options, {}, {}};
  request.input.rows = &rows;
  request.input.rows_area = std::move(area_name);
  request.output.given = &target;
  return CarryOut(request, sink);
}

struct LayerNamed {
  std::string source, layer, where;
};
inline RunResult SummarizeLayer(const RunOptions& options, const LayerNamed& named,
                                ResultTarget& target, MessageSink& sink) {
  RunRequest request{options, {}, {}};
  request.input.sources = {named.source};
  request.input.layer = named.layer;
  request.input.where = named.where;
  request.output.given = &target;
  return CarryOut(request, sink);
}

}  // namespace quilmark
