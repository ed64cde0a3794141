// The host of a workbook file: the "application" is this program, the workbook in front is the
// .xlsx file the user named, loaded on first use and written back when the run completes.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "src/host/sheet_host.h"

namespace quilmark {

struct XlsxHostOptions {
  std::string sheet;  // empty: the sheet the workbook opens on (its active tab)
  // nullopt: write the result back into the input file. An empty path is refused.
  std::optional<std::filesystem::path> output;
  // The run only reads the file (a preview, CSV): nothing is checked for writing.
  bool read_only = false;
  // From this size of its XML on, the worksheet's rows are read when first needed, or streamed
  // to a run that asks for them (Worksheet::StreamedRows) so that they are never all held; a
  // damaged sheet is then reported by the first use of its rows rather than by ActiveWorkbook.
  // nullopt: the rows load with the workbook.
  std::optional<uint64_t> stream_rows_from;
};

// Where the programs start streaming a sheet's rows: below it the rows are loaded, which is a
// little quicker on two cores, and holding them costs at most some 15 MB.
inline constexpr uint64_t kStreamRowsFrom = uint64_t{32} << 20;

namespace xlsx {
class XlsxWorkbook;
}

class XlsxFileHost final : public SpreadsheetHost {
 public:
  explicit XlsxFileHost(std::filesystem::path workbook, XlsxHostOptions options = {});
  ~XlsxFileHost() override;

  // Always true: the application is this program.
  bool Attach() override { return true; }
  // Loads the file on the first call (every later call returns the same workbook). Throws
  // HostError("无法读取工作簿: " + reason) when it cannot, naming the file and what is wrong, and
  // before loading HostError("无法保存工作簿: " + reason) when the result may not be written
  // there (the file is open in an office, read-only, or the output name is not a workbook's).
  // Its Save() writes atomically (a temporary file in the target folder, then a rename) and
  // throws HostError("无法保存工作簿: " + reason), leaving the target as it was.
  Workbook* ActiveWorkbook() override;

 private:
  std::filesystem::path path_;
  XlsxHostOptions options_;
  std::unique_ptr<xlsx::XlsxWorkbook> workbook_;
};

}  // namespace quilmark
