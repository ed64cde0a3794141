// The live host's plugin: the one function the programs look up after loading it.
#include <chrono>
#include <exception>
#include <type_traits>
#include <utility>

#include "src/host/live/live_host.h"
#include "src/host/live_contract.h"

extern "C" __attribute__((visibility("default"))) quilmark::SpreadsheetHost* quilmark_live_host_v1(
    const char* connect, long long attach_timeout_ms, long long call_timeout_ms) {
  static_assert(std::is_same_v<decltype(&quilmark_live_host_v1), quilmark::LivePluginEntry>);
  try {
    quilmark::LiveHostOptions options;
    options.connect = connect;
    options.attach_timeout = std::chrono::milliseconds(attach_timeout_ms);
    options.call_timeout = std::chrono::milliseconds(call_timeout_ms);
    return quilmark::MakeLiveHost(std::move(options)).release();
  } catch (const std::exception&) {
    return nullptr;  // out of memory: no exception may cross into the program
  }
}
