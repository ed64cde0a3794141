#include "src/app/run_in_background.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <exception>
#include <memory>
#include <string>
#include <thread>

#include "src/host/postgis/pg_cancel.h"

namespace quilmark {

bool RunControl::Cancel() {
  int running = kRunning;
  const bool cancelled =
      state_.compare_exchange_strong(running, kCancelled) || running == kCancelled;
  // A statement the server runs for the run is stopped there too; the run then ends as
  // cancelled. Off the window's thread: a lost server takes up to a second to give up on.
  if (cancelled) std::thread(CancelServerStatements).detach();
  return cancelled;
}

bool RunControl::BeginWriting() {
  int running = kRunning;
  return state_.compare_exchange_strong(running, kWriting) || running == kWriting;
}

namespace {

// The worker's sink: hands each message over to the thread of `receiver` and waits there.
class ForwardingSink final : public MessageSink {
 public:
  ForwardingSink(QObject* receiver, MessageSink& sink, const RunFeedback& feedback)
      : receiver_(receiver), sink_(sink), feedback_(feedback) {}

  void Show(MessageKind kind, std::string_view text) override {
    const std::string shown(text);
    Wait([&] { sink_.Show(kind, shown); });
  }

  bool Ask(std::string_view warning) override {
    const std::string shown(warning);
    bool go_on = true;
    Wait([&] { go_on = sink_.Ask(shown); });
    return go_on;
  }

  bool Confirm(std::string_view text) override {
    const std::string shown(text);
    bool go_on = true;
    Wait([&] { go_on = sink_.Confirm(shown); });
    return go_on;
  }

  void Progress(std::string_view stage) override {
    if (!feedback_.stage) return;
    QMetaObject::invokeMethod(
        receiver_,
        [this, name = QString::fromUtf8(stage.data(), static_cast<qsizetype>(stage.size()))] {
          feedback_.stage(name);
        },
        Qt::QueuedConnection);
  }

  void RowsRead(int64_t done, int64_t total) override {
    if (!feedback_.rows) return;
    QMetaObject::invokeMethod(
        receiver_, [this, done, total] { feedback_.rows(done, total); }, Qt::QueuedConnection);
  }

  bool CancelRequested() override {
    return feedback_.control != nullptr && feedback_.control->cancelled();
  }
  bool BeginWriting() override {
    return feedback_.control == nullptr || feedback_.control->BeginWriting();
  }

 private:
  // Runs `show` on the window's thread and waits for it; the time a box waits for the user is
  // not the run's.
  template <typename Show>
  void Wait(Show show) {
    QMetaObject::invokeMethod(
        receiver_,
        [&] {
          if (feedback_.waiting) feedback_.waiting(true);
          show();
          if (feedback_.waiting) feedback_.waiting(false);
        },
        Qt::BlockingQueuedConnection);
  }

  QObject* receiver_;
  MessageSink& sink_;
  const RunFeedback& feedback_;
};

}  // namespace

void RunInBackground(const std::function<void(MessageSink&)>& work, MessageSink& sink,
                     const RunFeedback& feedback) {
  QObject receiver;  // lives on this thread; the worker's calls are delivered through it
  ForwardingSink forward(&receiver, sink, feedback);
  std::unique_ptr<QThread> worker(QThread::create([&] {
    try {
      work(forward);
    } catch (const std::exception& error) {
      forward.Show(MessageKind::kHostFailure, error.what());
    }
  }));
  QEventLoop loop;
  // Queued: the stages and messages posted before the end are delivered before it.
  QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit,
                   Qt::QueuedConnection);
  worker->start();
  loop.exec();
  // A quitting application ends every event loop at once; the work still gets its messages
  // answered until it ends, so it never waits on a thread that has stopped listening.
  while (!worker->wait(QDeadlineTimer(20))) QCoreApplication::processEvents();
}

}  // namespace quilmark
