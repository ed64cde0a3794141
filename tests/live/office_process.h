// A headless office for the tests and benchmarks: started on a free loopback port with a fresh
// profile and a pinned locale, in a fresh temporary folder, and stopped by its process id.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

#include "src/host/live/office_connection.h"

namespace quilmark {

// A port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class OfficeProcess {
 public:
  // Starts the office and waits until it answers on its port (a first start with a fresh profile
  // takes a while on a busy machine). Throws std::runtime_error when it does not answer within
  // start_limit.
  explicit OfficeProcess(std::chrono::seconds start_limit = std::chrono::seconds(180));
  // Stops the office if it still runs.
  ~OfficeProcess();
  OfficeProcess(const OfficeProcess&) = delete;
  OfficeProcess& operator=(const OfficeProcess&) = delete;

  const std::string& connect() const { return connect_; }
  // A folder for the test's documents, removed with the office's.
  std::string DocumentFolder() const { return folder_.path() + "/docs"; }
  // A connection of the test's own, for loading and inspecting documents.
  OfficeConnection& control() { return *control_; }
  // Closes that connection. A process holds one proxy per office object, made by the connection
  // that reached it first: a test of the host's own connection drops this one first.
  void Disconnect() { control_.reset(); }

  // Waits until the office answers a call on the test's connection, opening a new one if the old
  // one is gone; a busy machine can hold the office for many seconds. Throws std::runtime_error
  // when it does not answer within the limit.
  void WaitUntilAnswering(std::chrono::seconds limit = std::chrono::seconds(180));

  // Stops the office's process (SIGSTOP) as a hung office would be, and lets it go on again.
  void Pause();
  void Resume();

  // Ends the office by its process id: SIGTERM, then SIGKILL if it lingers. Waits for it.
  void Stop();
  // Kills it at once, as a crash would.
  void Kill();
  bool running() const { return pid_ > 0; }

 private:
  TempFolder folder_;
  std::string connect_;
  pid_t pid_ = -1;
  std::unique_ptr<OfficeConnection> control_;
};

// One office shared by the tests of this process, started on first use and answering when
// returned. The tests that use it close its documents before they open their own.
OfficeProcess& SharedOffice();
// Stops the shared office if it was started; the test binary's main calls it at the end.
void StopSharedOffice();

}  // namespace quilmark
