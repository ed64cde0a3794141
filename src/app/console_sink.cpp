#include "src/app/console_sink.h"

#include <unistd.h>

#include <iostream>

#include "src/app/progress_text.h"

namespace quilmark {

ConsoleSink::ConsoleSink(bool all_to_stderr)
    : all_to_stderr_(all_to_stderr), terminal_(::isatty(STDERR_FILENO) == 1) {
  ticker_ = std::thread([this] { Tick(); });
}

ConsoleSink::~ConsoleSink() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
    ClearLine();
  }
  wake_.notify_all();
  if (ticker_.joinable()) ticker_.join();
}

void ConsoleSink::Show(MessageKind kind, std::string_view text) {
  std::lock_guard lock(mutex_);
  ClearLine();
  const bool to_stdout =
      !all_to_stderr_ && (kind == MessageKind::kConfirmation || kind == MessageKind::kCompletion);
  std::ostream& out = to_stdout ? std::cout : std::cerr;
  // On a terminal the confirmation's lone carriage return would send its second line over the
  // first: show it as a line break there; a pipe or file gets the text as it is.
  const bool terminal = ::isatty(to_stdout ? STDOUT_FILENO : STDERR_FILENO) == 1;
  for (char c : text) {
    if (c == '\r' && terminal) {
      out << "\r\n";
    } else {
      out << c;
    }
  }
  out << std::endl;
}

void ConsoleSink::Progress(std::string_view stage) {
  std::lock_guard lock(mutex_);
  stage_ = stage;
}

void ConsoleSink::RowsRead(int64_t done, int64_t total) {
  std::lock_guard lock(mutex_);
  done_rows_ = done;
  total_rows_ = total;
}

void ConsoleSink::Tick() {
  std::unique_lock lock(mutex_);
  while (!done_) {
    wake_.wait_for(lock, std::chrono::milliseconds(250));
    if (done_) break;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (seconds < 1.0 || stage_.empty()) continue;
    const std::string text = ProgressText(stage_, done_rows_, total_rows_, seconds);
    if (terminal_) {
      std::cerr << "\r\033[K" << text << std::flush;
      line_shown_ = true;
    } else if (stage_ != logged_stage_) {  // a log gets one line a stage, never overwritten
      std::cerr << text << std::endl;
      logged_stage_ = stage_;
    }
  }
}

void ConsoleSink::ClearLine() {
  if (line_shown_) std::cerr << "\r\033[K" << std::flush;
  line_shown_ = false;
}

}  // namespace quilmark
