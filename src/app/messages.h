// The run's own fixed texts (its stops, confirmations, completion and warnings) and the
// one-method interface through which every message of a run reaches the user: the window puts
// them in modal boxes, the command line prints them, tests record them. Texts that belong to one
// host, source or program (a file that cannot be read, a layer's fields, the command line's
// usage, the window's own questions) live beside the code that finds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "src/summary/result_target.h"  // kCompletionText

namespace quilmark {

enum class StopReason {
  kNoTask,           // nothing selected
  kNoApplication,    // no spreadsheet application answers
  kNoWorkbook,       // no workbook open
  kNotWorksheet,     // the active sheet is not a worksheet
  kNoLandUseMethod,  // land-use selected without a method
  kNoMasterPlanMethod,
  kBadZoneColumn,
  kBadClassColumn,
  kBadAreaColumn,
  kBlockOutsideSheet,  // a result block would pass the sheet's last row or column
  kBadDeductionColumn,
  kBadDecimals,
  kBadUnit,
  kBadCoefficient,    // a deduction coefficient outside [0, 1); the text names its row
  kNoPatch,           // a layer with no patch to sum, or none its filter selects; the text names it
  kBadReport,         // a report name or level the run does not know
  kReportNeedsLayer,  // the survey reports read a GIS layer's fields, not a worksheet's columns
  kReportField,       // a field a chosen report needs is missing; the text names it
  kReportsDisagree,   // the reports contradict each other; the text names table, unit, difference
};

// The text of a coefficient that stops the run, naming its row.
std::string BadCoefficientText(int32_t row, std::string_view cell_text);
// The same for a row of a source read as it streams (a layer's feature, named "FID 7").
std::string BadSourceCoefficientText(std::string_view row_label, std::string_view cell_text);

// The fixed text of a stop.
std::string_view MessageText(StopReason reason);

// The end of a run the user stopped with 取消 before it wrote anything.
inline constexpr std::string_view kCancelledText = "统计已取消, 没有写入任何文件。";

// The confirmation naming the workbook and the sheet, on two lines (a carriage return between).
std::string ConfirmationText(std::string_view workbook_name, std::string_view sheet_name);

// The confirmation of a layer run, naming the layer and its source (a file, a folder, or a
// connection shown without its password).
std::string LayerConfirmationText(std::string_view layer_name, std::string_view source);

// The stop of a layer run that has no patch to sum: the filter that selected none (empty: there
// was no filter, the layer itself has no feature), the layer and its source.
std::string NoPatchText(std::string_view where, std::string_view layer_name,
                        std::string_view source);

// The same for a run over `count` sources, none of which has a patch to sum.
std::string NoPatchInPartsText(std::string_view where, size_t count);

enum class MessageKind {
  kConfirmation,  // the run goes on after it
  kCompletion,    // the run completed
  kStop,          // a fixed message that stopped the run
  kHostFailure,   // the workbook could not be read or saved, or the connection was lost
  kWarning,       // something the user should check: after the completion, or before a run
};

// The warning about area cells that were not plain numbers: how many, the area they counted, and
// the first few of them, each as "第 5 行 "1,234.5" 计为 1".
std::string OddAreasText(int64_t count, double counted, const std::vector<std::string>& first);

// The warning about an area column (named as "第 99 列") in which no cell gave a number.
std::string NoAreaNumberText(std::string_view column);

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows one message and returns when the user has seen it (a modal box waits for OK).
  virtual void Show(MessageKind kind, std::string_view text) = 0;
  // Asks whether the run should go on after a warning; true to go on. Sinks that cannot ask
  // (the command line, a script) show the warning and go on.
  virtual bool Ask(std::string_view warning) {
    Show(MessageKind::kWarning, warning);
    return true;
  }
  // Shows the confirmation (the workbook and sheet, or layer and source, about to be summed) and
  // says whether to go on; false cancels the run with nothing written. Sinks that cannot ask show
  // it and go on.
  virtual bool Confirm(std::string_view text) {
    Show(MessageKind::kConfirmation, text);
    return true;
  }
  // Names the stage the run has reached ("读取工作簿", a pass, "保存"); most sinks ignore it.
  virtual void Progress(std::string_view /*stage*/) {}
  // The rows read so far of `total` (0: not known in advance); most sinks ignore it.
  virtual void RowsRead(int64_t /*done*/, int64_t /*total*/) {}
  // Whether the user has asked the run to stop (the window's 取消); asked between rows. Sinks
  // that cannot be asked say no.
  virtual bool CancelRequested() { return false; }
  // The run is about to write its result: false when it was cancelled first. Once this has said
  // true a cancel is refused, so a run either writes all of its result or none of it.
  virtual bool BeginWriting() { return !CancelRequested(); }
};

// Hands every call on to another sink; a sink that changes one kind of message derives from it
// and overrides only that.
class RelaySink : public MessageSink {
 public:
  explicit RelaySink(MessageSink& sink) : sink_(sink) {}
  void Show(MessageKind kind, std::string_view text) override { sink_.Show(kind, text); }
  bool Ask(std::string_view warning) override { return sink_.Ask(warning); }
  bool Confirm(std::string_view text) override { return sink_.Confirm(text); }
  void Progress(std::string_view stage) override { sink_.Progress(stage); }
  void RowsRead(int64_t done, int64_t total) override { sink_.RowsRead(done, total); }
  bool CancelRequested() override { return sink_.CancelRequested(); }
  bool BeginWriting() override { return sink_.BeginWriting(); }

 protected:
  MessageSink& sink_;
};

}  // namespace quilmark
