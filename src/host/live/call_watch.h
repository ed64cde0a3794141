// A deadline on calls to a peer that may stop answering. While a call is under way the watch's
// thread waits for it; when the peer has been silent for longer than the limit, the watch calls
// its expiry action once (the live host closes the connection there, which makes the waiting call
// fail at once) and reports expired() from then on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quilmark {

class CallWatch {
 public:
  CallWatch(std::chrono::milliseconds limit, std::function<void()> on_expiry);
  // Stops the watch's thread; an action under way is waited for.
  ~CallWatch();
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

  // A call begins, or a nested one: the peer has `limit` from now to answer. Every Leave
  // restarts the limit for the calls still open, so a long series of answered calls never
  // expires, only a silence does.
  void Enter();
  void Leave();

  // Whether a call was cut off at the deadline.
  bool expired() const;
  std::chrono::milliseconds limit() const { return limit_; }

 private:
  void Watch();

  const std::chrono::milliseconds limit_;
  const std::function<void()> on_expiry_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int open_calls_ = 0;
  std::chrono::steady_clock::time_point deadline_;
  bool expired_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: started once the members above exist
};

// Enter on construction, Leave on destruction.
class WatchedCall {
 public:
  explicit WatchedCall(CallWatch& watch) : watch_(watch) { watch_.Enter(); }
  ~WatchedCall() { watch_.Leave(); }
  WatchedCall(const WatchedCall&) = delete;
  WatchedCall& operator=(const WatchedCall&) = delete;

 private:
  CallWatch& watch_;
};

}  // namespace quilmark
