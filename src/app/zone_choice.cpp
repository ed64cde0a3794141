#include "src/app/zone_choice.h"

namespace quilmark {

ZoneTransform ChosenZoneTransform(const RunOptions& options) {
  ZoneTransform transform;
  if (options.ZonePrefix > 0) transform.prefix = options.ZonePrefix;
  if (!options.ZoneNamesFile.empty()) transform.names = ReadZoneNames(options.ZoneNamesFile);
  return transform;
}

}  // namespace quilmark
