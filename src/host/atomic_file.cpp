#include "src/host/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "src/host/sheet_host.h"

namespace quilmark {
namespace {

[[noreturn]] void Fail(const std::filesystem::path& target, const std::string& reason) {
  throw HostError("无法保存工作簿: " + target.string() + ": " + reason);
}

std::string SystemReason(int error) { return std::strerror(error); }

// The owner and permissions the new file takes: those of the file it replaces, else no owner to
// give and the usual permissions.
struct Keeping {
  std::optional<struct stat> replaced;
  mode_t mode;
};

Keeping KeepingOf(const std::filesystem::path& target) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) Fail(target, "这是一个文件夹");
    return {existing, static_cast<mode_t>(existing.st_mode & 07777)};
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return {std::nullopt, static_cast<mode_t>(0666 & ~mask)};
}

// Gives the written temporary file its owner and mode and makes it durable. It is opened again by
// name: a library handed the name may have made a new file there. The owner is set first because
// changing it clears the set-id bits.
void Finish(const std::filesystem::path& temp, const std::filesystem::path& target,
            const Keeping& keeping) {
  const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && keeping.replaced) {
    (void)!::fchown(fd, keeping.replaced->st_uid, keeping.replaced->st_gid);
  }
  if (fd < 0 || ::fchmod(fd, keeping.mode) != 0 || ::fsync(fd) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    Fail(target, "写入出错 (" + SystemReason(error) + ")");
  }
  ::close(fd);
}

void FlushFolder(const std::filesystem::path& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace

std::filesystem::path WrittenFileOf(const std::filesystem::path& target) {
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    std::filesystem::path resolved = std::filesystem::canonical(target, ec);
    if (!ec) return resolved;
  }
  return target;
}

void WriteFileAtomically(
    const std::filesystem::path& named_target,
    const std::function<void(int fd, const std::filesystem::path& temp)>& write) {
  const std::filesystem::path target = WrittenFileOf(named_target);
  const Keeping keeping = KeepingOf(target);
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    Fail(target, "无法在文件夹 " + folder.string() + " 中建立文件 (" + SystemReason(errno) + ")");
  }
  bool open = true;
  try {
    write(fd, temp);
    open = false;
    if (::close(fd) != 0) Fail(target, "写入出错 (" + SystemReason(errno) + ")");
    Finish(temp, target, keeping);
  } catch (...) {
    if (open) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    Fail(target, "无法替换文件 (" + SystemReason(error) + ")");
  }
  FlushFolder(folder);
}

}  // namespace quilmark
