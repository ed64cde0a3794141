#include "src/host/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "src/host/sheet_host.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark {
namespace {

using testing::ReadFile;
using testing::TempFolder;

using Writer = std::function<void(int fd, const std::filesystem::path& temp)>;

void Put(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Replacing keeps the replaced file's mode, and its owner where the test may give one (as root),
// whether the new bytes go through the descriptor or a library makes the file anew by its name.
TEST(WriteFileAtomically, ReplacesKeepingModeAndOwner) {
  const struct {
    const char* name;
    Writer write;
  } cases[] = {
      {"descriptor", [](int fd, const auto&) { ASSERT_EQ(::write(fd, "new", 3), 3); }},
      {"by name",
       [](int, const std::filesystem::path& temp) {
         std::filesystem::remove(temp);
         Put(temp, "new");
       }},
  };
  const bool root = ::geteuid() == 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const auto target = folder / "out.xlsx";
    Put(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    if (root) ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
    WriteFileAtomically(target, c.write);
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) EXPECT_EQ(info.st_uid, 4321u);
    if (root) EXPECT_EQ(info.st_gid, 4322u);
    EXPECT_EQ(ReadFile(target), "new");
  }
}

// A write that fails leaves the old file as it was and no temporary file behind.
TEST(WriteFileAtomically, FailureLeavesTheOriginal) {
  TempFolder folder;
  const auto target = folder / "out.xlsx";
  Put(target, "old");
  EXPECT_THROW(WriteFileAtomically(target,
                                   [](int fd, const auto&) {
                                     ASSERT_EQ(::write(fd, "partial", 7), 7);
                                     throw HostError("stopped");
                                   }),
               HostError);
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace quilmark
