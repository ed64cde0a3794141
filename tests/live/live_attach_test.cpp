// Attaching to the office: the two connection messages, and a peer that is not an office never
// holding the run past the time limit.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "src/app/run_driver.h"
#include "tests/summarize.h"
#include "src/host/live/live_host.h"
#include "tests/live/office_documents.h"
#include "tests/live/office_process.h"
#include "tests/recording_sink.h"

namespace quilmark {
namespace {

using std::chrono::steady_clock;

// A loopback TCP server that is not an office: it accepts connections and then stays silent,
// closes them at once, or answers with bytes that mean nothing. Ends with the object.
class FakeListener {
 public:
  enum class Behaviour { kSilent, kCloseAtOnce, kGarbage };

  explicit FakeListener(Behaviour behaviour) : behaviour_(behaviour) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on loopback";
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~FakeListener() {
    stop_ = true;
    thread_.join();
    for (int client : clients_) close(client);
    close(fd_);
  }

  int port() const { return port_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd waiting{fd_, POLLIN, 0};
      if (poll(&waiting, 1, 50) <= 0) continue;
      const int client = accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      if (behaviour_ == Behaviour::kCloseAtOnce) {
        close(client);
        continue;
      }
      if (behaviour_ == Behaviour::kGarbage) {
        const char reply[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
        (void)!write(client, reply, sizeof(reply) - 1);
      }
      clients_.push_back(client);
    }
  }

  Behaviour behaviour_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
  std::vector<int> clients_;
};

RunOptions ZoneTotals() {
  RunOptions options;
  options.CheckZQStat = true;
  return options;
}

TEST(LiveAttach, NoOfficeAnsweringStopsWithTheNoApplicationMessageWithinTheLimit) {
  constexpr std::chrono::seconds kLimit(2);
  struct Case {
    const char* name;
    std::optional<FakeListener::Behaviour> listener;  // nullopt: nothing listens
  };
  const Case cases[] = {
      {"nothing listens", std::nullopt},
      {"a listener that never answers", FakeListener::Behaviour::kSilent},
      {"a listener that hangs up", FakeListener::Behaviour::kCloseAtOnce},
      {"a listener that is not an office", FakeListener::Behaviour::kGarbage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<FakeListener> listener;
    if (c.listener) listener.emplace(*c.listener);
    const int port = listener ? listener->port() : FreeLoopbackPort();
    auto host = MakeLiveHost({.connect = LoopbackConnect(port), .attach_timeout = kLimit});
    RecordingSink sink;

    const auto start = steady_clock::now();
    const RunResult result = SummarizeHost(ZoneTotals(), *host, sink);
    const auto elapsed = steady_clock::now() - start;

    EXPECT_EQ(result.outcome, RunResult::Outcome::kStopped);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"当前没有运行Excel程序!"});
    // The margin only keeps a loaded machine from failing the test, while a connection that
    // hangs would still fail it; nothing listening is refused at once.
    EXPECT_LT(elapsed, kLimit + std::chrono::seconds(6));
    if (!listener) EXPECT_LT(elapsed, kLimit);
  }
}

TEST(LiveAttach, AnOfficeWithoutADocumentStopsWithTheNoWorkbookMessage) {
  OfficeProcess& office = SharedOffice();
  CloseAllDocuments(office.control());
  auto host = MakeLiveHost({.connect = office.connect()});
  RecordingSink sink;
  const RunResult result = SummarizeHost(ZoneTotals(), *host, sink);
  EXPECT_EQ(result.stop, StopReason::kNoWorkbook);
  EXPECT_EQ(sink.texts(), std::vector<std::string>{"当前没有Excel文件被打开!"});
}

}  // namespace
}  // namespace quilmark
