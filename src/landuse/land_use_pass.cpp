// The land-use pass: every row's class key, zone and area into the summary tables.
#include <cstdint>
#include <optional>
#include <string>

#include "src/landuse/land_use.h"

namespace quilmark {

void AccumulateLandUse(PassContext& context, LandUseMethod method, SummaryTables& tables) {
  const Columns& columns = context.columns;
  std::string& holder = context.text_holder;
  // Whether the holder already holds a key of this pass. A key is never derived twice: not every
  // key gives itself back (国有 would become 集体, K's key KK would become KKK), and a row whose
  // class cannot be read belongs under the previous row's key as it stands.
  bool holder_is_key = false;
  for (int32_t row = 1; row <= context.last_row; ++row) {
    if (std::optional<std::string> class_text = context.Text(row, columns.class_)) {
      holder = LandUseClassKey(method, *class_text);
      holder_is_key = true;
    } else if (!holder_is_key) {
      // An unreadable class cell before any key: the key of what the holder held when the pass
      // began (empty, or the last zone text of the conversion).
      holder = LandUseClassKey(method, holder);
      holder_is_key = true;
    }
    // A failed class read keeps the previous row's key: the row counts under it.
    AccumulateRow(tables, context.Text(row, columns.zone), holder,
                  context.Number(row, columns.area));
  }
}

}  // namespace quilmark
