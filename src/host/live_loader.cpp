#include "src/host/live_loader.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

namespace quilmark {
namespace {

// The entry point of the loaded plugin, or the message saying why there is none. The library
// stays loaded until the process ends: the office's runtime cannot be unloaded safely.
struct LoadedPlugin {
  LivePluginEntry entry = nullptr;
  std::string failure;
};

std::string Listed(const std::vector<std::filesystem::path>& paths) {
  std::string text;
  for (const auto& path : paths) text += (text.empty() ? "" : ", ") + path.string();
  return text;
}

LoadedPlugin Load() {
  const std::vector<std::filesystem::path> candidates = LivePluginCandidates();
  for (const auto& path : candidates) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) continue;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* reason = dlerror();
      return {nullptr, "无法载入 LibreOffice 连接组件 " + path.string() + ": " +
                           (reason != nullptr ? reason : "") +
                           "。请安装 libreoffice-calc (无图形界面时为 libreoffice-calc-nogui)。"};
    }
    auto entry = reinterpret_cast<LivePluginEntry>(dlsym(library, kLivePluginEntry));
    if (entry == nullptr) {
      return {nullptr, "LibreOffice 连接组件 " + path.string() +
                           " 与这个 quilmark 的版本不符。请重新安装 Quilmark。"};
    }
    return {entry, {}};
  }
  return {nullptr, "找不到 LibreOffice 连接组件 " + std::string(kLivePluginFile) + " (查找了 " +
                       Listed(candidates) +
                       ")。请安装含 LibreOffice 连接的 Quilmark, 或以 -DQUILMARK_BUILD_LIVE=ON "
                       "重新编译。"};
}

const LoadedPlugin& Plugin() {
  static const LoadedPlugin plugin = Load();
  return plugin;
}

class PluginLiveHost final : public SpreadsheetHost {
 public:
  explicit PluginLiveHost(LiveHostOptions options) : options_(std::move(options)) {}

  bool Attach() override {
    if (!host_) {
      const LoadedPlugin& plugin = Plugin();
      if (plugin.entry == nullptr) throw HostError(plugin.failure);
      host_.reset(plugin.entry(options_.connect.c_str(), options_.attach_timeout.count(),
                               options_.call_timeout.count()));
      if (!host_) throw HostError("LibreOffice 连接组件未能启动, 统计未完成。");
    }
    return host_->Attach();
  }

  Workbook* ActiveWorkbook() override { return host_ ? host_->ActiveWorkbook() : nullptr; }

 private:
  LiveHostOptions options_;
  std::unique_ptr<SpreadsheetHost> host_;
};

}  // namespace

std::vector<std::filesystem::path> LivePluginCandidates() {
  std::vector<std::filesystem::path> candidates;
  if (const char* chosen = std::getenv("QUILMARK_LIVE_PLUGIN"); chosen != nullptr && *chosen) {
    candidates.emplace_back(chosen);
  }
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    candidates.push_back(program.parent_path() / kLivePluginFile);
    candidates.push_back(
        (program.parent_path() / QUILMARK_PLUGIN_DIR_FROM_PROGRAM / kLivePluginFile)
            .lexically_normal());
  }
  candidates.push_back(std::filesystem::path(QUILMARK_PLUGIN_DIR) / kLivePluginFile);
  return candidates;
}

std::unique_ptr<SpreadsheetHost> LoadLiveHost(LiveHostOptions options) {
  return std::make_unique<PluginLiveHost>(std::move(options));
}

}  // namespace quilmark
