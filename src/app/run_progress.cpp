#include "src/app/run_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "src/app/progress_text.h"

namespace quilmark {
namespace {

constexpr int kShowAfterMs = 500;
constexpr int kTickMs = 250;
constexpr int kBarWidth = 60;
constexpr int kCancelWidth = 44;

}  // namespace

QString ProgressText(const QString& stage, int64_t done, int64_t total, double seconds) {
  return QString::fromStdString(ProgressText(stage.toStdString(), done, total, seconds));
}

RunProgress::RunProgress(QWidget* parent)
    : QWidget(parent),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("取消"), this)) {
  setObjectName(QStringLiteral("RunProgress"));
  setAutoFillBackground(true);
  text_->setObjectName(QStringLiteral("RunStage"));
  text_->setTextFormat(Qt::PlainText);
  bar_->setRange(0, 0);
  bar_->setTextVisible(false);
  bar_->setFixedWidth(kBarWidth);
  cancel_->setObjectName(QStringLiteral("CommandCancel"));
  cancel_->setToolTip(QStringLiteral("停止统计, 不写入任何文件"));
  cancel_->setFixedWidth(kCancelWidth);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 0, 0, 0);
  layout->addWidget(text_, 1);
  layout->addWidget(bar_);
  layout->addWidget(cancel_);
  ticker_.setInterval(kTickMs);
  connect(&ticker_, &QTimer::timeout, this, &RunProgress::Refresh);
  connect(cancel_, &QPushButton::clicked, this, &RunProgress::cancelRequested);
  hide();
}

void RunProgress::Start() {
  stage_.clear();
  cancelling_ = false;
  done_ = total_ = 0;
  waited_ms_ = 0;
  wait_started_ = -1;
  bar_->setRange(0, 0);
  cancel_->setEnabled(true);
  clock_.start();
  ticker_.start();
  Refresh();
}

void RunProgress::SetStage(const QString& stage) {
  if (cancelling_) return;  // the stages the run still passes are not what it does now
  stage_ = stage;
  Refresh();
}

void RunProgress::SetCancelling() {
  cancelling_ = true;
  stage_ = QStringLiteral("正在取消");
  cancel_->setEnabled(false);
  Refresh();
}

void RunProgress::SetRows(int64_t done, int64_t total) {
  done_ = done;
  total_ = total;
  if (total > 0) {
    bar_->setRange(0, 1000);
    bar_->setValue(static_cast<int>(std::min(done, total) * 1000 / total));
  }
  Refresh();
}

void RunProgress::SetWaiting(bool waiting) {
  if (!clock_.isValid()) return;
  if (waiting && wait_started_ < 0) {
    wait_started_ = clock_.elapsed();
  } else if (!waiting && wait_started_ >= 0) {
    waited_ms_ += clock_.elapsed() - wait_started_;
    wait_started_ = -1;
  }
}

void RunProgress::DisableCancel() { cancel_->setEnabled(false); }

void RunProgress::Stop() {
  ticker_.stop();
  hide();
}

QString RunProgress::text() const { return text_->text(); }

double RunProgress::seconds() const {
  if (!clock_.isValid()) return 0;
  const qint64 now = clock_.elapsed();
  const qint64 waiting = wait_started_ >= 0 ? now - wait_started_ : 0;
  return static_cast<double>(now - waited_ms_ - waiting) / 1000.0;
}

void RunProgress::Refresh() {
  if (!clock_.isValid()) return;
  text_->setText(ProgressText(stage_, done_, total_, seconds()));
  if (clock_.elapsed() >= kShowAfterMs && ticker_.isActive() && isHidden()) {
    raise();
    show();
  }
}

}  // namespace quilmark
