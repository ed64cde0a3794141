// The workbooks fuzzing found (tests/data/xlsx/fuzz-findings, a note on each in its README): each
// is either refused with the reading message or read, a saved result loads again with a
// well-formed sheet, and a sheet is judged the same whatever unrelated cells it also holds.
#include <gtest/gtest.h>

#include <string>

#include "tests/xlsx/round_trip.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

std::filesystem::path Finding(const std::string& name) {
  return testing::TestData() / "fuzz-findings" / (name + ".xlsx");
}

testing::RoundTrip RunFinding(const std::string& name) {
  testing::TempFolder folder;
  return testing::RunAndReload(Finding(name), folder / "out.xlsx");
}

class FuzzFinding : public ::testing::TestWithParam<const char*> {};

TEST_P(FuzzFinding, RefusedOrReadAndSavedWellFormed) {
  const testing::RoundTrip trip = RunFinding(GetParam());
  EXPECT_EQ(trip.problem, "");
  // A sheet left with no zone text and no area number is refused as such, before anything is
  // written; any other stop would be a fault.
  EXPECT_TRUE(trip.run.outcome != RunResult::Outcome::kStopped ||
              trip.run.stop == StopReason::kUselessColumn)
      << trip.run.message;
  testing::TempFolder folder;
  EXPECT_EQ(testing::StreamedDiffers(Finding(GetParam()), testing::RoundTripOptions(), folder.path()),
            "");
}

INSTANTIATE_TEST_SUITE_P(
    Findings, FuzzFinding,
    ::testing::Values("ub-memchr-null-empty-last-chunk", "reload-fail-invalid-utf8-fastpath",
                      "invalid-utf8-with-amp-rejected", "fastpath-accepts-duplicate-attribute",
                      "duplicate-attribute-with-amp-rejected", "fastpath-accepts-control-char",
                      "damaged-folder-entry-fails-at-save", "bad-local-extra-field-fails-at-save",
                      "short-deflate-long-claim-fails-at-save",
                      "ub-memcpy-null-empty-formula-value", "utf16-name-char-fastpath",
                      "damaged-folder-header-fails-at-save", "rows-out-of-order-in-xml-parse"));

TEST(FuzzFindings, AnUnrelatedCellDoesNotChangeTheVerdict) {
  const std::pair<const char*, const char*> pairs[] = {
      {"reload-fail-invalid-utf8-fastpath", "invalid-utf8-with-amp-rejected"},
      {"fastpath-accepts-duplicate-attribute", "duplicate-attribute-with-amp-rejected"},
  };
  for (const auto& [plain, with_amp] : pairs) {
    SCOPED_TRACE(plain);
    EXPECT_EQ(RunFinding(plain).run.outcome, RunFinding(with_amp).run.outcome);
  }
}

}  // namespace
}  // namespace quilmark
