#include "src/host/postgis/pg_cancel.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace quilmark {
namespace {

// Seconds a connection made only to cancel may take: a stop must not wait for a lost server.
constexpr const char* kCancelConnectTimeout = "1";
// Server processes remembered at most; the oldest go first (a window opens many in a day).
constexpr size_t kServerProcesses = 64;

struct ServerProcess {
  ConnectionSettings settings;
  std::string pid;
  std::string started;
};

struct Registry {
  std::mutex mutex;
  int next_id = 0;
  std::map<int, PGcancel*> connections;
  std::vector<ServerProcess> processes;
};

Registry& Registered() {
  static Registry* registry = new Registry;  // outlives every static that may still use it
  return *registry;
}

void CancelServerProcess(const ServerProcess& process) {
  std::vector<const char*> keys, values;
  for (const auto& [key, value] : process.settings) {
    keys.push_back(key.c_str());
    values.push_back(key == "connect_timeout" ? kCancelConnectTimeout : value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* connection = PQconnectdbParams(keys.data(), values.data(), 0);
  if (PQstatus(connection) == CONNECTION_OK) {
    const char* parameters[] = {process.pid.c_str(), process.started.c_str()};
    PQclear(PQexecParams(connection,
                         "SELECT pg_cancel_backend(pid) FROM pg_stat_activity WHERE pid = $1 "
                         "AND backend_start = $2::timestamptz AND state = 'active'",
                         2, nullptr, parameters, nullptr, nullptr, 0));
  }
  PQfinish(connection);
}

int signal_pipe[2] = {-1, -1};

void OnSignal(int number) {
  const unsigned char byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t written = write(signal_pipe[1], &byte, 1);
}

}  // namespace

int RememberConnection(pg_conn* connection) {
  Registry& registry = Registered();
  std::lock_guard lock(registry.mutex);
  const int id = ++registry.next_id;
  if (PGcancel* cancel = PQgetCancel(connection)) registry.connections[id] = cancel;
  return id;
}

void ForgetConnection(int id) {
  Registry& registry = Registered();
  std::lock_guard lock(registry.mutex);
  const auto found = registry.connections.find(id);
  if (found == registry.connections.end()) return;
  PQfreeCancel(found->second);
  registry.connections.erase(found);
}

void RememberServerProcess(const PgSource& source, std::string pid, std::string started) {
  Registry& registry = Registered();
  std::lock_guard lock(registry.mutex);
  if (registry.processes.size() >= kServerProcesses) {
    registry.processes.erase(registry.processes.begin());
  }
  registry.processes.push_back(
      {ConnectionParams(source, "quilmark"), std::move(pid), std::move(started)});
}

void CancelServerStatements() {
  Registry& registry = Registered();
  std::lock_guard lock(registry.mutex);
  std::vector<std::thread> cancels;
  for (const auto& connection : registry.connections) {
    // Copied out of the pair: clang before 16 cannot capture a structured binding.
    PGcancel* cancel = connection.second;
    cancels.emplace_back([cancel] {
      char error[256];
      PQcancel(cancel, error, sizeof error);
    });
  }
  for (const ServerProcess& process : registry.processes) {
    cancels.emplace_back([&process] { CancelServerProcess(process); });
  }
  for (std::thread& cancel : cancels) cancel.join();
}

void CancelServerStatementsOnSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe(signal_pipe) != 0) return;
    std::thread([] {
      unsigned char number = 0;
      while (read(signal_pipe[0], &number, 1) != 1) {
      }
      CancelServerStatements();
      std::signal(number, SIG_DFL);
      std::raise(number);
    }).detach();
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
  });
}

}  // namespace quilmark
