// SpaAnalysis: the program's one window, and what it shows runs through. The window lays out the
// listed controls (the usage note, the example result, the column numbers, the tasks with their
// methods) and its own rows below them (the source with its recent list, where the result goes,
// the other classifications, the GIS layer, the survey reports). It enables each task's options
// with the task, takes the source from the file dialog, a drop or the recent list, keeps its
// settings through window_settings, and on the confirm button hands a run request (the options,
// the chosen sources, where the tables go) to CarryOut, on a thread of its own with its progress
// shown. The rules of
// the run itself live in the core. Beside it: the modal boxes the run's messages appear in
// (MessageBoxSink), the note's fixed-pitch label and the look every start applies.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "src/app/messages.h"
#include "src/app/run_options.h"
#include "src/app/run_request.h"
#include "src/app/window_settings.h"
#include "src/host/sheet_host.h"

class QAbstractButton;
class QComboBox;
class QApplication;
class QDragEnterEvent;
class QDropEvent;
class QMenu;

namespace quilmark {

// The look of every start, whatever the desktop: the Fusion style with its own palette and the
// CJK font at 12 pixels that the window's fixed geometry was drawn for, and Qt's own boxes in
// Chinese.
void ApplyAppearance(QApplication& app);

// The number of lines the text wraps to at the given width in the given font.
int WrappedLineCount(const QString& text, const QFont& font, int width);

// Shows each message in a modal box titled "Quilmark": the text as plain text, no icon, one OK
// button (two, OK and Cancel, for a question). A carriage return in the text starts a new line.
class MessageBoxSink : public MessageSink {
 public:
  explicit MessageBoxSink(QWidget* parent) : parent_(parent) {}
  void Show(MessageKind kind, std::string_view text) override;
  // A warning with OK (go on) and Cancel (stop the run), 确定 and 取消 under Qt's translation;
  // Cancel is the default, so Enter does not sum a sheet twice by accident.
  bool Ask(std::string_view warning) override;
  // The confirmation with OK and Cancel, OK the default; Esc or closing the box cancels.
  bool Confirm(std::string_view text) override;
  // The completion and the run's warnings in one box.
  void Complete(std::string_view completion, const std::vector<std::string>& warnings) override;
  // The file the next runs write (empty: none, as for the live office): their completion names
  // it and offers 打开结果 and 打开所在文件夹.
  void SetResultFile(const QString& path) { result_file_ = path; }

 private:
  void ShowCompletion(std::string_view text);

  QWidget* parent_;
  QString result_file_;
};

// A label whose wrapped lines sit at a fixed pitch, whatever the font's own line spacing, so that
// a note of several lines fits the height it was given.
class FixedPitchLabel : public QLabel {
  Q_OBJECT

 public:
  FixedPitchLabel(const QString& text, int pitch, QWidget* parent);
  int pitch() const { return pitch_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int pitch_;
};

class LayerFieldBoxes;
class PreviewTable;
class ReportRows;
class RunProgress;

class SpaAnalysis : public QWidget {
  Q_OBJECT

 public:
  // Makes the host for one run from the chosen workbook file (nullopt: none chosen).
  using HostFactory =
      std::function<std::unique_ptr<SpreadsheetHost>(const std::optional<std::filesystem::path>&)>;

  explicit SpaAnalysis(QWidget* parent = nullptr);
  ~SpaAnalysis() override;

  // What every control holds now, as the run reads it. A check box counts only when ticked.
  RunOptions Snapshot() const;
  // The run the confirm button starts now: the options, the chosen sources with their layer and
  // filter, and where the tables go.
  RunRequest RequestSnapshot() const;

  // The workbook file or GIS source (a layer file, a .gdb folder) the next runs work on; a
  // source's tables go into a new workbook beside it. An empty path chooses none; a relative one
  // is taken from the current directory.
  void SetWorkbook(const QString& path);
  const std::optional<std::filesystem::path>& workbook() const { return workbook_; }
  // Several GIS sources summed as one layer: the first is chosen as SetWorkbook chooses it (its
  // layers and fields are offered), the others are read after it, into a new workbook beside it.
  // False, and nothing changes, unless every path names a GIS source.
  bool SetSources(const QStringList& paths);
  // The sources read after the chosen one; empty unless SetSources chose several.
  const std::vector<std::filesystem::path>& more_sources() const { return more_sources_; }

  // Sets the controls, the chosen source and the recent list to what the last start kept; a
  // source that no longer exists is not chosen. SaveSettings keeps them for the next start (done
  // when a run starts and when the program quits). RestoreDefaults sets every control back to how
  // a new window shows it, chooses no source and forgets what was kept, save the recent list.
  void LoadSettings();
  void SaveSettings() const;
  void RestoreDefaults();
  // The files chosen lately, the latest first, at most kRecentLimit.
  const QStringList& recent() const { return recent_; }

  // The window in two columns: the column numbers, tasks and buttons on the left, moved up; the
  // note, the example picture and the rows below the buttons on the right. For a screen too
  // short for the window in one column (a 1366x768 screen) but wide enough for two. Once.
  void ArrangeSideBySide();
  // The size the window takes in two columns.
  QSize SideBySideSize() const;
  // In two columns on a screen too short even for them (1366x768 at 150%): the command row (恢复
  // 默认, 确 认, 退 出) at the top of the left column, so that it shows as the window opens and
  // only the tasks below scroll.
  void PutCommandsFirst();

  // Where the run's messages go; nullptr restores the modal boxes. Not owned.
  void SetMessageSink(MessageSink* sink) { sink_ = sink; }
  // How each run on a workbook gets its host (a test's); without one the run opens the chosen
  // file, or the workbook in front of a running office, itself.
  void SetHostFactory(HostFactory factory) { host_factory_ = std::move(factory); }

 protected:
  // A workbook file or GIS source dropped on the window becomes the chosen one; several GIS
  // sources dropped at once are chosen as SetSources chooses them.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Keeps the window (or the frame it is shown in) open while a run goes on.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildWorkbookRow(int top);
  void BuildResultRow(int top);
  void BuildMethodList();
  int BuildClassificationRows(int top);
  QAbstractButton* Button(const char* name) const;
  bool IsTicked(const char* name) const;

  // The handlers, one per control event.
  void CheckTDLYClick(bool ticked);
  void CheckZTGHClick(bool ticked);
  void CommandProcClick();
  // The data check alone: the findings in one box, nothing written.
  void CommandCheckClick();
  void StartRun(RunRequest request);
  void CommandExitClick();
  void ChooseWorkbookClick();
  void ChooseFolderClick();
  void ShowRecentMenu();
  void SuggestMethodFamily();
  // Disables the buttons and shows the progress while a run goes on, and undoes that after it.
  void SetRunning(bool running);

  std::optional<std::filesystem::path> workbook_;
  std::vector<std::filesystem::path> more_sources_;
  QLabel* workbook_name_ = nullptr;
  QComboBox* land_use_list_ = nullptr;
  LayerFieldBoxes* layer_boxes_ = nullptr;
  PreviewTable* preview_ = nullptr;  // the chosen source's first rows, over the picture
  ReportRows* report_rows_ = nullptr;
  HostFactory host_factory_;
  MessageSink* sink_ = nullptr;
  std::unique_ptr<MessageBoxSink> box_sink_;
  RunProgress* progress_ = nullptr;
  bool running_ = false;
  bool side_by_side_ = false;
  QStringList recent_;
  QMenu* recent_menu_ = nullptr;
  ControlValues defaults_;  // what the kept controls hold in a new window
};

}  // namespace quilmark
