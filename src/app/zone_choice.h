// The zone transforms a run's options ask for, for every source.
#pragma once

#include "src/app/run_options.h"
#include "src/host/zone_transform.h"

namespace quilmark {

// Reads the names file; throws HostError when it cannot be read.
ZoneTransform ChosenZoneTransform(const RunOptions& options);

}  // namespace quilmark
