#include "src/host/live/call_watch.h"

#include <utility>

namespace quilmark {

CallWatch::CallWatch(std::chrono::milliseconds limit, std::function<void()> on_expiry)
    : limit_(limit), on_expiry_(std::move(on_expiry)), thread_([this] { Watch(); }) {}

CallWatch::~CallWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void CallWatch::Enter() {
  {
    std::lock_guard lock(mutex_);
    ++open_calls_;
    deadline_ = std::chrono::steady_clock::now() + limit_;
  }
  changed_.notify_all();
}

void CallWatch::Leave() {
  {
    std::lock_guard lock(mutex_);
    --open_calls_;
    deadline_ = std::chrono::steady_clock::now() + limit_;
  }
  changed_.notify_all();
}

bool CallWatch::expired() const {
  std::lock_guard lock(mutex_);
  return expired_;
}

void CallWatch::Watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (open_calls_ == 0 || expired_) {
      changed_.wait(lock);
      continue;
    }
    const auto deadline = deadline_;
    if (changed_.wait_until(lock, deadline) == std::cv_status::no_timeout) continue;
    if (stopping_ || open_calls_ == 0 || deadline_ != deadline) continue;
    expired_ = true;
    // Outside the lock: the action may make the waiting call return, and its Leave needs it.
    lock.unlock();
    on_expiry_();
    lock.lock();
  }
}

}  // namespace quilmark
