// The run's progress in the window: the stage it has reached, the share of the rows read where
// the total is known, the seconds it has taken (and, on a long run, about how many are left), a
// bar, and a 取消 button. Hidden for a run that ends within half a second.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quilmark {

class RunProgress : public QWidget {
  Q_OBJECT

 public:
  explicit RunProgress(QWidget* parent);

  // A run begins; the widget shows itself once it has gone on for half a second.
  void Start();
  // The stage the run has reached, such as "读取工作簿".
  void SetStage(const QString& stage);
  // The rows read so far of the total (0: not known; the bar then only shows the run is alive).
  void SetRows(int64_t done, int64_t total);
  // While a box of the run waits for the user the clock stands still: the seconds are the run's.
  void SetWaiting(bool waiting);
  // The run will stop at the next row: says so and takes 取消 away.
  void SetCancelling();
  // The run has begun writing its result: 取消 can no longer stop it.
  void DisableCancel();
  // The run has ended; the widget hides.
  void Stop();

  // What the widget shows now: the stage, the share and the seconds.
  QString text() const;
  // The seconds the run has taken, without the time its boxes waited.
  double seconds() const;

 signals:
  // The user pressed 取消.
  void cancelRequested();

 private:
  void Refresh();

  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  QTimer ticker_;
  QElapsedTimer clock_;
  qint64 waited_ms_ = 0;      // time the run's boxes waited, left out of the seconds
  qint64 wait_started_ = -1;  // clock time the box now showing appeared; -1: none
  QString stage_;
  bool cancelling_ = false;
  int64_t done_ = 0, total_ = 0;
};

// The progress text: the stage, the share of rows read where the total is known ("已读 5,000 /
// 20,000 行 25%"), the seconds, and from kEstimateAfter seconds on about how many are left.
QString ProgressText(const QString& stage, int64_t done, int64_t total, double seconds);

}  // namespace quilmark
