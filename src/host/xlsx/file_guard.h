// The checks a run on a workbook file makes before it reads a byte, so that a result it may not
// rightly write is refused at the start, not after the passes: the target is open in an office
// (its lock file stands beside it), read-only, a folder, in a missing folder, or an output name
// that is empty or names a format this host does not write.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quilmark::xlsx {

// Who holds an office document open, as its lock file records it; empty fields were not recorded.
struct LockHolder {
  std::string name;  // the name the user gave the office
  std::string user;  // the system account
  std::string host;
  std::string since;  // as the office wrote it ("08.12.2026 09:30")
};

// The lock file an office keeps beside a document it has open (".~lock.NAME#").
std::filesystem::path LockFileOf(const std::filesystem::path& document);

// The holder recorded in the content of a lock file; nullopt when it records none.
std::optional<LockHolder> ParseLockFile(std::string_view content);

// Throws HostError("无法保存工作簿: ...") when an output named on the command line is empty.
void CheckOutputGiven(const std::filesystem::path& output);

// Throws HostError("无法保存工作簿: ...") when a run must not write its result: into `output`
// when given, else back into `input`. Reads nothing but the file system's entries (and a lock
// file), and tries once to make a file in the target's folder as the save will, so it can run
// before the workbook is loaded and a folder that takes no file is named before the run.
void CheckRunTarget(const std::filesystem::path& input,
                    const std::optional<std::filesystem::path>& output);

// The same for a new workbook a run writes its tables into (from the live office or a layer):
// only a .xlsx name fits it, and an existing file there must be writable and not open.
void CheckNewWorkbookTarget(const std::filesystem::path& target);

// The part of CheckRunTarget that can change while a run goes on (an office opens the file, its
// or its folder's permissions change): checked again just before the file is replaced.
void CheckWritableTarget(const std::filesystem::path& target);

}  // namespace quilmark::xlsx
