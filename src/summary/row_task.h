// The tasks as the run's one loop sees them: each is handed every row in turn and, once the rows
// are done, hands back its table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/row_source.h"
#include "src/summary/result_table.h"

namespace quilmark {

// One row as the tasks read it, derived once for all of them. A cell that could not be read is
// nullopt; texts are trimmed of blanks at both ends and stay valid only during AddRow.
struct PatchRow {
  const SourceRow& cells;  // the row as the source gave it (after the zone rewrite)
  std::optional<std::string_view> zone;
  std::optional<std::string_view> class_text;
  std::optional<std::string_view> cross_class;
  std::optional<double> area;  // the leading number of the area cell
  // Where the text is set, its id among the run's zone texts, or among its class texts (class
  // and cross-class texts share ids): equal texts, equal ids, numbered in the order first met.
  uint32_t zone_id = 0;
  uint32_t class_id = 0;
  uint32_t cross_id = 0;
};

// Anything that looks at every row in order.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void AddRow(const PatchRow& row) = 0;
};

// A summary task: a RowSink that becomes a table.
class RowTask : public RowSink {
 public:
  // The table's shape once every row is in, without building it.
  virtual TableShape Shape() const = 0;
  // The table itself.
  virtual ResultTable Table() const = 0;

  // A task with several tables (the survey reports) gives them all here; most have one.
  virtual std::vector<TableShape> Shapes() const { return {Shape()}; }
  virtual std::vector<ResultTable> Tables() const { return {Table()}; }

  // Set when the rows contradict each other so that the tables may not be written (the layer is
  // wrong, not the tables): the run stops with this text and writes nothing.
  virtual std::optional<std::string> Refusal() const { return std::nullopt; }

  // What the user should know of the tables before they are written (a row without its name),
  // shown as warnings; the tables are written all the same.
  virtual std::vector<std::string> Notices() const { return {}; }
};

}  // namespace quilmark
