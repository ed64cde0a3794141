// The live tests' main: the office that tests share is stopped once they have all run.
#include <gtest/gtest.h>

#include "tests/live/office_process.h"

namespace {

class SharedOfficeEnvironment : public testing::Environment {
 public:
  void TearDown() override { quilmark::StopSharedOffice(); }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new SharedOfficeEnvironment);
  return RUN_ALL_TESTS();
}
