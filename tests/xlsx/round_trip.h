// One land-use and cross-tab run on a workbook file, as the command line makes it with -o, and
// the checks on what it saved: shared by the regression tests and the fuzz targets.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "src/app/run_driver.h"

namespace quilmark::testing {

struct RoundTrip {
  RunResult run;
  // Empty when all is well: the run was refused with a message, or it completed and its saved
  // file loads again with a well-formed worksheet. Otherwise what is wrong.
  std::string problem;
};

// The sheet's rows are streamed to the run, as the command line streams a large sheet's.
RoundTrip RunAndReload(const std::filesystem::path& input, const std::filesystem::path& output);

// Empty when the run with `options` on `input` ends alike with its rows streamed and with the
// sheet loaded first: the same outcome, message and warnings, and the same saved entries (each
// inflated); else what differs. The results are written into `folder`.
std::string StreamedDiffers(const std::filesystem::path& input, const RunOptions& options,
                            const std::filesystem::path& folder);

// The same for a streamed run already made, whose result and saved file are given.
std::string LoadedDiffers(const std::filesystem::path& input, const RunOptions& options,
                          const RunResult& streamed, const std::filesystem::path& streamed_file,
                          const std::filesystem::path& folder);

// The options of RunAndReload's run: land use by 2008 third-level class and the cross-tab.
RunOptions RoundTripOptions();

// Empty when `xml` is well-formed XML (a strict parser's verdict), else the parser's reason.
std::string XmlError(std::string_view xml);

}  // namespace quilmark::testing
