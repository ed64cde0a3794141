#include "src/host/xlsx/file_guard.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "src/host/ascii_text.h"
#include "src/host/sheet_host.h"

namespace quilmark::xlsx {
namespace {

constexpr std::string_view kSavePrefix = "无法保存工作簿: ";

[[noreturn]] void Refuse(const std::filesystem::path& target, const std::string& reason) {
  const std::string named = target.empty() ? std::string() : target.string() + ": ";
  throw HostError(std::string(kSavePrefix) + named + reason);
}

// The formats this host writes: the package it read, under its own kind of name. A workbook with
// macros keeps them, so it must keep the name that tells spreadsheet programs so.
constexpr std::array<std::string_view, 2> kWrittenExtensions = {".xlsx", ".xlsm"};

bool IsWrittenExtension(std::string_view extension) {
  for (std::string_view known : kWrittenExtensions) {
    if (extension == known) return true;
  }
  return false;
}

std::string UserName(uid_t uid) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::array<char, 1024> buffer{};
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return "#" + std::to_string(uid);
}

std::string PermissionText(mode_t mode) {
  std::string text;
  for (int shift = 6; shift >= 0; shift -= 3) {
    text += (mode >> shift) & 4 ? 'r' : '-';
    text += (mode >> shift) & 2 ? 'w' : '-';
    text += (mode >> shift) & 1 ? 'x' : '-';
  }
  return text;
}

// Whether the permission bits let the file be written. Root passes every access check, so the
// bits themselves decide for it: a file marked read-only for its owner is left alone.
bool WritableByBits(const std::filesystem::path& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return false;
  if (st.st_uid == ::geteuid() && (st.st_mode & S_IWUSR) == 0) return false;
  return ::access(path.c_str(), W_OK) == 0;
}

std::string HolderText(const LockHolder& holder) {
  std::string who = !holder.name.empty() ? holder.name : holder.user;
  if (!holder.name.empty() && !holder.user.empty() && holder.user != holder.name) {
    who += " (" + holder.user + ")";
  }
  if (who.empty()) who = "未记名的用户";
  std::string text = "由 " + who;
  if (!holder.host.empty()) text += " 在计算机 " + holder.host + " 上";
  text += "打开";
  if (!holder.since.empty()) text += ", 时间 " + holder.since;
  return text;
}

void CheckLock(const std::filesystem::path& target, const std::filesystem::path& document) {
  const std::filesystem::path lock = LockFileOf(document);
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(lock, ec))) return;
  const std::string lock_name = lock.filename().string();
  const std::string advice =
      "; 直接写入文件会与 LibreOffice 的保存互相覆盖。请在 LibreOffice 中关闭它后再试, 或直接汇总"
      "打开的文档 (窗口中没有选择工作簿时按 确 认即是; 命令行: quilmark --live); 如果确实没有程序"
      "打开它 (LibreOffice 异常退出时会留下锁定文件), 删除 " +
      lock.string() + " 后再试";
  std::ifstream in(lock, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  if (!in || in.bad()) {
    Refuse(target, "工作簿旁边有 LibreOffice 的锁定文件 " + lock_name +
                       ", 它正被打开 (锁定文件无法读取, 不知由谁打开)" + advice);
  }
  const std::optional<LockHolder> holder = ParseLockFile(content.str());
  if (!holder) {
    Refuse(target, "工作簿旁边有 LibreOffice 的锁定文件 " + lock_name +
                       ", 它正被打开 (锁定文件没有记录由谁打开, 可能是遗留的)" + advice);
  }
  Refuse(target, "工作簿正在 LibreOffice 中" + HolderText(*holder) + " (锁定文件 " + lock_name +
                     ")" + advice);
}

// What the user can do about a read-only file: only its owner (or root) may change its bits.
std::string ReadOnlyAdvice(const struct stat& st) {
  const std::string elsewhere = "把结果写到另一个文件 (命令行 -o FILE)";
  if (st.st_uid == ::geteuid()) return "要写入它, 请先取消只读 (如 chmod u+w), 或" + elsewhere;
  return "它不属于当前用户 " + UserName(::geteuid()) + ", 请文件的所有者取消只读, 或" +
         elsewhere;
}

void CheckPermissions(const std::filesystem::path& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno == ENOENT) return;  // a new file
    Refuse(target, std::string("无法查看文件 (") + std::strerror(errno) + ")");
  }
  if (S_ISDIR(st.st_mode)) {
    Refuse(target, "这是一个文件夹; 请给出要写入的 .xlsx 文件名");
  }
  if (!WritableByBits(target, st)) {
    if (::access(target.c_str(), W_OK) != 0 && errno == EROFS) {
      Refuse(target, "文件在只读的文件系统上 (如只读挂载的磁盘或共享), 结果不会写入。"
                     "请把结果写到另一个文件夹 (命令行 -o 文件夹/结果.xlsx)");
    }
    Refuse(target, "文件是只读的 (权限 " + PermissionText(st.st_mode) + ", 属于用户 " +
                       UserName(st.st_uid) + "), 结果不会写入。" + ReadOnlyAdvice(st));
  }
}

// A save writes a temporary file beside the target and renames it over the target, so the folder
// must take a new file: tried here, before the run, the way the save will do it.
void CheckFolderTakesFiles(const std::filesystem::path& target) {
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string trial = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(trial.data());
  if (fd >= 0) {
    ::close(fd);
    ::unlink(trial.c_str());
    return;
  }
  const int error = errno;
  if (error == ENOENT) return;  // no such folder: the loader or CheckFolder names what is missing
  std::string advice = "请把结果写到另一个文件夹 (命令行 -o 文件夹/结果.xlsx)";
  struct stat st {};
  if (error == EACCES && ::stat(folder.c_str(), &st) == 0 && st.st_uid == ::geteuid()) {
    advice = "请先允许写入这个文件夹 (如 chmod u+w " + folder.string() + "), 或" + advice;
  }
  Refuse(target, "无法在文件夹 " + folder.string() + " 中建立文件 (" + std::strerror(error) +
                     "); 保存时要先在那里写临时文件。" + advice);
}

[[noreturn]] void RefuseExtension(const std::filesystem::path& target,
                                  const std::string& extension) {
  Refuse(target, "结果只能写成 .xlsx 工作簿 (带宏的工作簿为 .xlsm), 不能写成 \"" +
                     (extension.empty() ? std::string("没有扩展名") : extension) +
                     "\" 文件; 请给出以 .xlsx 结尾的文件名");
}

void CheckFolder(const std::filesystem::path& target) {
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    Refuse(target, "文件夹 " + folder.string() + " 不存在; 请先建立它或换一个位置");
  }
}

}  // namespace

std::filesystem::path LockFileOf(const std::filesystem::path& document) {
  return document.parent_path() / (".~lock." + document.filename().string() + "#");
}

std::optional<LockHolder> ParseLockFile(std::string_view content) {
  // Fields are separated by commas and end at a semicolon; a backslash takes the next character
  // as it is.
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < content.size(); ++i) {
    const char c = content[i];
    if (c == '\\' && i + 1 < content.size()) {
      fields.back() += content[++i];
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == ';') {
      break;
    } else if (c != '\n' && c != '\r') {
      fields.back() += c;
    }
  }
  fields.resize(std::max<size_t>(fields.size(), 4));
  LockHolder holder{fields[0], fields[1], fields[2], fields[3]};
  if (holder.name.empty() && holder.user.empty() && holder.host.empty()) return std::nullopt;
  return holder;
}

void CheckOutputGiven(const std::filesystem::path& output) {
  if (output.empty()) {
    Refuse(output, "-o 后的文件名是空的; 请给出结果要写入的 .xlsx 文件名, 或省略 -o");
  }
}

void CheckRunTarget(const std::filesystem::path& input,
                    const std::optional<std::filesystem::path>& output) {
  if (output) {
    CheckOutputGiven(*output);
    const std::string extension = LowerAscii(output->extension().string());
    if (!IsWrittenExtension(extension)) RefuseExtension(*output, extension);
    const std::string input_extension = LowerAscii(input.extension().string());
    if (IsWrittenExtension(input_extension) && input_extension != extension) {
      Refuse(*output, "输入工作簿是 " + input_extension + " 文件, 结果保留它的内容 " +
                          "(包括宏), 必须也以 " + input_extension +
                          " 结尾, 否则电子表格程序会拒绝打开它");
    }
    CheckFolder(*output);  // a missing input is the loader's to report
  }
  CheckWritableTarget(output.value_or(input));
}

void CheckNewWorkbookTarget(const std::filesystem::path& target) {
  CheckOutputGiven(target);
  // A new workbook holds no macros, so only the plain workbook's name fits it.
  const std::string extension = LowerAscii(target.extension().string());
  if (extension != kWrittenExtensions.front()) RefuseExtension(target, extension);
  CheckFolder(target);
  CheckWritableTarget(target);
}

void CheckWritableTarget(const std::filesystem::path& target) {
  CheckLock(target, target);
  // The office may have opened the file through a link: its lock stands beside the link's name
  // or beside the file's own.
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    const std::filesystem::path resolved = std::filesystem::canonical(target, ec);
    if (!ec) CheckLock(target, resolved);
  }
  CheckPermissions(target);
  CheckFolderTakesFiles(target);
}

}  // namespace quilmark::xlsx
