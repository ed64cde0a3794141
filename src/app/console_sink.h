// The command line's messages: confirmation and completion on standard output, the rest on
// standard error. A run that has taken over a second shows its stage, and on a source that knows
// its size the share read and the time left, on one line of a terminal's standard error that the
// next message replaces; standard error written to a log or a pipe gets one line per stage.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "src/app/messages.h"

namespace quilmark {

class ConsoleSink : public MessageSink {
 public:
  // all_to_stderr: standard output carries the result itself (CSV), so every message goes to
  // standard error.
  explicit ConsoleSink(bool all_to_stderr = false);
  ~ConsoleSink() override;

  void Show(MessageKind kind, std::string_view text) override;
  void Progress(std::string_view stage) override;
  void RowsRead(int64_t done, int64_t total) override;

 private:
  void Tick();
  void ClearLine();  // called with the mutex held

  const bool all_to_stderr_;
  const bool terminal_;  // standard error is a terminal
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string stage_;
  std::string logged_stage_;  // the last stage given its own line (not at a terminal)
  int64_t done_rows_ = 0;   // rows read so far
  int64_t total_rows_ = 0;  // of the source's rows (0: not known)
  bool line_shown_ = false;
  bool done_ = false;
  std::thread ticker_;
};

}  // namespace quilmark
