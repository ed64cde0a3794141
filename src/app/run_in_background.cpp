#include "src/app/run_in_background.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <exception>
#include <memory>
#include <string>

namespace quilmark {
namespace {

// The worker's sink: hands each message over to the thread of `receiver` and waits there.
class ForwardingSink final : public MessageSink {
 public:
  ForwardingSink(QObject* receiver, MessageSink& sink,
                 const std::function<void(const QString&)>& on_stage)
      : receiver_(receiver), sink_(sink), on_stage_(on_stage) {}

  void Show(MessageKind kind, std::string_view text) override {
    const std::string shown(text);
    QMetaObject::invokeMethod(
        receiver_, [&] { sink_.Show(kind, shown); }, Qt::BlockingQueuedConnection);
  }

  bool Ask(std::string_view warning) override {
    const std::string shown(warning);
    bool go_on = true;
    QMetaObject::invokeMethod(
        receiver_, [&] { go_on = sink_.Ask(shown); }, Qt::BlockingQueuedConnection);
    return go_on;
  }

  bool Confirm(std::string_view text) override {
    const std::string shown(text);
    bool go_on = true;
    QMetaObject::invokeMethod(
        receiver_, [&] { go_on = sink_.Confirm(shown); }, Qt::BlockingQueuedConnection);
    return go_on;
  }

  void Progress(std::string_view stage) override {
    QMetaObject::invokeMethod(
        receiver_,
        [this, name = QString::fromUtf8(stage.data(), static_cast<qsizetype>(stage.size()))] {
          on_stage_(name);
        },
        Qt::QueuedConnection);
  }

 private:
  QObject* receiver_;
  MessageSink& sink_;
  const std::function<void(const QString&)>& on_stage_;
};

}  // namespace

void RunInBackground(const std::function<void(MessageSink&)>& work, MessageSink& sink,
                     const std::function<void(const QString&)>& on_stage) {
  QObject receiver;  // lives on this thread; the worker's calls are delivered through it
  ForwardingSink forward(&receiver, sink, on_stage);
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
