// quilmark --check-area: each patch's area field against its ellipsoidal area, source by source.
#pragma once

#include <ostream>

#include "src/app/cli_options.h"

namespace quilmark {

// Prints the patches off by more than 0.01 m2 to `out`, a source that cannot be read to `err`.
// kExitCompleted where every patch agrees, kExitStopped where some do not, kExitHostFailure
// where a source cannot be read.
ExitCode RunAreaCheck(const RunRequest& request, std::ostream& out, std::ostream& err);

}  // namespace quilmark
