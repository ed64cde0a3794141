#include "tests/live/office_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace quilmark {
namespace {

// The office's exit code when it asks to be started again, as it does once it has set up a
// fresh profile.
constexpr int kRestartRequested = 81;

// Waits up to `limit` for the child to end; true when it did, with its exit code if it exited.
bool WaitForExit(pid_t pid, std::chrono::milliseconds limit, int* exit_code = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || done < 0) {
      if (exit_code != nullptr) *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// The test's own connection waits long: its office may share the machine with a build.
LiveHostOptions ControlOptions(const std::string& connect) {
  LiveHostOptions options;
  options.connect = connect;
  options.attach_timeout = std::chrono::seconds(30);
  options.call_timeout = std::chrono::seconds(120);
  return options;
}

}  // namespace

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("no free loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quilmark-live-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

OfficeProcess::OfficeProcess(std::chrono::seconds start_limit) {
  std::filesystem::create_directories(DocumentFolder());
  const int port = FreeLoopbackPort();
  connect_ = LoopbackConnect(port);
  const std::string program = std::string(QUILMARK_OFFICE_PROGRAM_DIR) + "/soffice.bin";
  std::vector<std::string> args = {
      program,
      "--headless",
      "--invisible",
      "--nologo",
      "--norestore",
      "--nodefault",
      "--nolockcheck",
      "-env:UserInstallation=file://" + folder_.path() + "/profile",
      "--accept=" + connect_,
  };
  // The office takes its language from the environment: pin it, so error texts and number
  // formats do not depend on the machine.
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (text.starts_with("LC_") || text.starts_with("LANG")) continue;
    environment.emplace_back(text);
  }
  environment.insert(environment.end(), {"LC_ALL=C.UTF-8", "LANG=C.UTF-8", "LANGUAGE=en_US"});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const pid_t parent = getpid();
  auto spawn = [&] {
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("cannot start " + program);
    if (pid_ == 0) {
      // The office dies with the test that started it, even when the test itself crashes.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(1);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  };
  spawn();

  const auto deadline = std::chrono::steady_clock::now() + start_limit;
  while (!control_) {
    control_ = OfficeConnection::Open(ControlOptions(connect_));
    if (control_) break;
    int exit_code = 0;
    if (WaitForExit(pid_, {}, &exit_code)) {
      pid_ = -1;
      if (exit_code != kRestartRequested) {
        throw std::runtime_error("the office ended (" + std::to_string(exit_code) +
                                 ") before it answered on " + connect_);
      }
      spawn();
    }
    if (std::chrono::steady_clock::now() > deadline) {
      Kill();
      throw std::runtime_error("the office did not answer on " + connect_);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
}

OfficeProcess::~OfficeProcess() { Stop(); }

void OfficeProcess::WaitUntilAnswering(std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!control_ || !control_->Answers()) {
    if (pid_ <= 0) throw std::runtime_error("the office on " + connect_ + " is not running");
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("the office did not answer on " + connect_);
    }
    control_.reset();
    control_ = OfficeConnection::Open(ControlOptions(connect_));
    if (!control_) std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
}

void OfficeProcess::Pause() {
  if (pid_ > 0) kill(pid_, SIGSTOP);
}

void OfficeProcess::Resume() {
  if (pid_ > 0) kill(pid_, SIGCONT);
}

void OfficeProcess::Stop() {
  control_.reset();
  if (pid_ <= 0) return;
  kill(pid_, SIGCONT);  // a paused office would not see the SIGTERM
  kill(pid_, SIGTERM);
  if (!WaitForExit(pid_, std::chrono::seconds(20))) {
    kill(pid_, SIGKILL);
    WaitForExit(pid_, std::chrono::seconds(20));
  }
  pid_ = -1;
}

namespace {
std::unique_ptr<OfficeProcess>& SharedOfficeSlot() {
  static std::unique_ptr<OfficeProcess> office;
  return office;
}
}  // namespace

OfficeProcess& SharedOffice() {
  std::unique_ptr<OfficeProcess>& office = SharedOfficeSlot();
  if (!office) office = std::make_unique<OfficeProcess>();
  office->WaitUntilAnswering();
  return *office;
}

void StopSharedOffice() { SharedOfficeSlot().reset(); }

void OfficeProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  WaitForExit(pid_, std::chrono::seconds(20));
  pid_ = -1;
}

}  // namespace quilmark
