// The live office host, loaded at run time. The office's libraries are needed by the live host
// alone, so it is built as a plugin (quilmark-live.so) that the programs load only when a run
// asks for the office: the programs themselves start on a machine without it.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "src/host/live_contract.h"
#include "src/host/sheet_host.h"

namespace quilmark {

// Where the plugin is looked for, in order: the file named by the environment variable
// QUILMARK_LIVE_PLUGIN, beside the running program, and in the installed plugin folder (found
// from the program's own place first, so a moved installation still works).
std::vector<std::filesystem::path> LivePluginCandidates();

// A live host whose Attach loads the plugin first (once per process). When the plugin or the
// office's libraries it needs are missing, Attach throws HostError saying which and what to
// install.
std::unique_ptr<SpreadsheetHost> LoadLiveHost(LiveHostOptions options = {});

}  // namespace quilmark
