// The land-use task: every row's class key, zone and area into the summary tables.
#include <optional>
#include <string>

#include "src/landuse/land_use.h"

namespace quilmark {

void LandUseTask::AddRow(const PatchRow& row) {
  // A key is never derived twice: not every key gives itself back (国有 would become 集体, K's
  // key KK would become KKK), and a row whose class cannot be read belongs under the previous
  // row's key as it stands.
  if (row.class_text) {
    key_ = LandUseClassKey(method_, *row.class_text);
  } else if (!key_) {
    key_ = LandUseClassKey(method_, "");
  }
  AccumulateRow(tables_, row.zone, *key_, row.area);
}

}  // namespace quilmark
