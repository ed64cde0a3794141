// What the programs and the live office plugin (quilmark-live.so) agree on: the plugin's file
// name, its one entry point and what a live run asks of it. The programs load the plugin through
// live_loader.h; the plugin implements the entry in live/. Nothing else crosses between them.
#pragma once

#include <chrono>
#include <string>

#include "src/host/sheet_host.h"

namespace quilmark {

inline constexpr char kLivePluginFile[] = "quilmark-live.so";
// The plugin's one entry point, versioned by its name: a plugin of another version is not used.
inline constexpr char kLivePluginEntry[] = "quilmark_live_host_v1";
// Makes a live host (delete it through SpreadsheetHost); nullptr when it cannot.
using LivePluginEntry = SpreadsheetHost* (*)(const char* connect, long long attach_timeout_ms,
                                             long long call_timeout_ms);

inline constexpr std::chrono::seconds kDefaultOfficeTimeout{15};

struct LiveHostOptions {
  // Where the office listens, as given to its --accept option; a "uno:" prefix and a trailing
  // object name are accepted too.
  std::string connect = "socket,host=127.0.0.1,port=2002;urp;";
  // How long the office has to answer the connection (a refused connection ends at once), and
  // how long it may stay silent during any call of a run before the run is stopped and the
  // connection closed. A busy office can take seconds to answer.
  std::chrono::milliseconds attach_timeout{kDefaultOfficeTimeout};
  std::chrono::milliseconds call_timeout{kDefaultOfficeTimeout};
};

// The connection string for an office listening on this loopback port.
inline std::string LoopbackConnect(int port) {
  return "socket,host=127.0.0.1,port=" + std::to_string(port) + ";urp;";
}

}  // namespace quilmark
