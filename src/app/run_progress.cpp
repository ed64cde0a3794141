#include "src/app/run_progress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace quilmark {
namespace {

constexpr int kShowAfterMs = 500;
constexpr int kTickMs = 250;
constexpr int kBarWidth = 90;

}  // namespace

RunProgress::RunProgress(QWidget* parent)
    : QWidget(parent), text_(new QLabel(this)), bar_(new QProgressBar(this)) {
  setObjectName(QStringLiteral("RunProgress"));
  setAutoFillBackground(true);
  text_->setObjectName(QStringLiteral("RunStage"));
  text_->setTextFormat(Qt::PlainText);
  // No end is known in advance: the bar only shows that the run is alive.
  bar_->setRange(0, 0);
  bar_->setTextVisible(false);
  bar_->setFixedWidth(kBarWidth);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 0, 0, 0);
  layout->addWidget(text_, 1);
  layout->addWidget(bar_);
  ticker_.setInterval(kTickMs);
  connect(&ticker_, &QTimer::timeout, this, &RunProgress::Refresh);
  hide();
}

void RunProgress::Start() {
  stage_.clear();
  clock_.start();
  ticker_.start();
  Refresh();
}

void RunProgress::SetStage(const QString& stage) {
  stage_ = stage;
  Refresh();
}

void RunProgress::Stop() {
  ticker_.stop();
  hide();
}

QString RunProgress::text() const { return text_->text(); }

void RunProgress::Refresh() {
  if (!clock_.isValid()) return;
  const qint64 elapsed = clock_.elapsed();
  const QString stage = stage_.isEmpty() ? QStringLiteral("正在统计") : stage_;
  text_->setText(QStringLiteral("%1 … %2 秒").arg(stage).arg(elapsed / 1000));
  if (elapsed >= kShowAfterMs && ticker_.isActive() && isHidden()) {
    raise();
    show();
  }
}

}  // namespace quilmark
