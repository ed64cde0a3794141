// Replacing a file whole or not at all, for every writer of a result file.
#pragma once

#include <filesystem>
#include <functional>

namespace quilmark {

// The file that writing to `target` changes: the one a link points to, else `target` itself.
std::filesystem::path WrittenFileOf(const std::filesystem::path& target);

// Writes WrittenFileOf(target) atomically. `write` fills a new temporary file in the target's
// folder, given open and by its path (for a library that opens the file by name); the file is then
// given the owner (where this process may) and permissions of the file it replaces, or the usual
// permissions, flushed to disk and renamed over the target, and the folder is flushed. On any
// failure, `write`'s exceptions included, the temporary file is removed, the target is as it was,
// and HostError("无法保存工作簿: TARGET: ...") is thrown; a folder at the target is refused.
void WriteFileAtomically(
    const std::filesystem::path& target,
    const std::function<void(int fd, const std::filesystem::path& temp)>& write);

}  // namespace quilmark
