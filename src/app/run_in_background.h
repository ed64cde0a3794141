// A run on a second thread while the window's thread keeps its event loop turning, so that the
// window repaints and shows progress during a long run.
#pragma once

#include <QString>
#include <functional>

#include "src/app/messages.h"

namespace quilmark {

// Runs `work` on a second thread and returns when it has ended. Meanwhile this thread's event
// loop turns (timers fire, windows repaint). Each message of the work is shown through `sink` on
// this thread, and the work waits until it has been shown (a modal box holds the run until OK);
// each stage reaches `on_stage` on this thread. An exception that leaves the work is shown as a
// host failure.
void RunInBackground(const std::function<void(MessageSink&)>& work, MessageSink& sink,
                     const std::function<void(const QString&)>& on_stage);

}  // namespace quilmark
