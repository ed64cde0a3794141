// The run's progress in the window: the stage it has reached, the seconds it has taken and a busy
// bar. Hidden for a run that ends within half a second.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace quilmark {

class RunProgress : public QWidget {
  Q_OBJECT

 public:
  explicit RunProgress(QWidget* parent);

  // A run begins; the widget shows itself once it has gone on for half a second.
  void Start();
  // The stage the run has reached, such as "读取工作簿".
  void SetStage(const QString& stage);
  // The run has ended; the widget hides.
  void Stop();

  // What the widget shows now: the stage and the seconds.
  QString text() const;

 private:
  void Refresh();

  QLabel* text_;
  QProgressBar* bar_;
  QTimer ticker_;
  QElapsedTimer clock_;
  QString stage_;
};

}  // namespace quilmark
