// A run on a second thread while the window's thread keeps its event loop turning, so that the
// window repaints, shows progress and takes a cancel during a long run.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

#include "src/app/messages.h"

namespace quilmark {

// Whether a run has been cancelled or has begun writing; one for each run, shared by the window's
// 取消 button and the run.
class RunControl {
 public:
  // The user's cancel: true when the run will stop with nothing written, false when it has
  // already begun writing its result (it then completes).
  bool Cancel();
  bool cancelled() const { return state_.load() == kCancelled; }
  // The run's side, before it writes: false when it was cancelled first.
  bool BeginWriting();

 private:
  enum State { kRunning, kCancelled, kWriting };
  std::atomic<int> state_{kRunning};
};

// What the window's thread hears of the run, each on that thread; any may be empty.
struct RunFeedback {
  std::function<void(const QString&)> stage;   // the stage the run has reached
  std::function<void(int64_t, int64_t)> rows;  // rows read of the total (0: not known)
  std::function<void(bool)> waiting;           // true while a box of the run waits for an answer
  RunControl* control = nullptr;               // where a cancel is asked for; nullptr: never
};

// Runs `work` on a second thread and returns when it has ended. Meanwhile this thread's event
// loop turns (timers fire, windows repaint). Each message of the work is shown through `sink` on
// this thread, and the work waits until it has been shown (a modal box holds the run until OK).
// An exception that leaves the work is shown as a host failure.
void RunInBackground(const std::function<void(MessageSink&)>& work, MessageSink& sink,
                     const RunFeedback& feedback);

}  // namespace quilmark
