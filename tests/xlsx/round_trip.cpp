#include "tests/xlsx/round_trip.h"

#include <expat.h>

#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/xlsx_host.h"
#include "src/host/xlsx/xlsx_workbook.h"
#include "tests/recording_sink.h"
#include "tests/summarize.h"
#include "tests/xlsx/xlsx_fixture.h"

namespace quilmark::testing {

std::string XmlError(std::string_view xml) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  std::string error;
  if (XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) != XML_STATUS_OK) {
    error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
            std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
            std::to_string(XML_GetCurrentColumnNumber(parser));
  }
  XML_ParserFree(parser);
  return error;
}

namespace {

RunResult RunOn(const std::filesystem::path& input, const std::filesystem::path& output,
                const RunOptions& options, bool stream_rows) {
  RecordingSink sink;
  XlsxHostOptions host_options{"", output};
  if (stream_rows) host_options.stream_rows_from = 0;
  XlsxFileHost host(input, host_options);
  return SummarizeHost(options, host, sink);
}

std::string Differences(const RunResult& loaded, const RunResult& streamed) {
  if (loaded.outcome != streamed.outcome) return "the outcomes differ: " + streamed.message;
  // A workbook damaged in more than one place may be refused for another of them: its sheet is
  // read after the rest when streamed.
  if (loaded.outcome == RunResult::Outcome::kHostFailure) return "";
  if (loaded.message != streamed.message) {
    return "the messages differ: \"" + loaded.message + "\" against \"" + streamed.message + "\"";
  }
  if (loaded.warnings != streamed.warnings) return "the warnings differ";
  return "";
}

}  // namespace

RunOptions RoundTripOptions() {
  RunOptions options;
  options.CheckTDLY = true;
  options.OptClassC_2008 = true;
  options.ChkNumArea = true;
  return options;
}

std::string LoadedDiffers(const std::filesystem::path& input, const RunOptions& options,
                          const RunResult& streamed, const std::filesystem::path& streamed_file,
                          const std::filesystem::path& folder) {
  const std::filesystem::path loaded_file = folder / "loaded.xlsx";
  std::error_code ec;
  std::filesystem::remove(loaded_file, ec);
  const RunResult loaded = RunOn(input, loaded_file, options, false);
  std::string differences = Differences(loaded, streamed);
  if (differences.empty() && loaded.outcome == RunResult::Outcome::kCompleted &&
      ReadZip(loaded_file) != ReadZip(streamed_file)) {
    differences = "the saved workbooks differ";
  }
  return differences;
}

std::string StreamedDiffers(const std::filesystem::path& input, const RunOptions& options,
                            const std::filesystem::path& folder) {
  const std::filesystem::path streamed_file = folder / "streamed.xlsx";
  std::error_code ec;
  std::filesystem::remove(streamed_file, ec);
  const RunResult streamed = RunOn(input, streamed_file, options, true);
  return LoadedDiffers(input, options, streamed, streamed_file, folder);
}

RoundTrip RunAndReload(const std::filesystem::path& input, const std::filesystem::path& output) {
  RoundTrip trip{RunOn(input, output, RoundTripOptions(), true), {}};
  if (trip.run.outcome == RunResult::Outcome::kHostFailure) {
    if (!trip.run.message.starts_with("无法读取工作簿: ") &&
        !trip.run.message.starts_with("内存不足")) {
      trip.problem = "refused with an unexpected message: " + trip.run.message;
    }
    return trip;
  }
  if (trip.run.outcome != RunResult::Outcome::kCompleted) return trip;
  try {
    XlsxFileHost again(output);
    auto* workbook = dynamic_cast<xlsx::XlsxWorkbook*>(again.ActiveWorkbook());
    if (workbook == nullptr || workbook->ActiveSheet() == nullptr) {
      trip.problem = "the saved file has no worksheet in front";
      return trip;
    }
    const std::string bytes = ReadFile(output);
    const xlsx::Package package(bytes);
    const std::string error = XmlError(package.Read(workbook->sheet_part(), xlsx::kMaxLargePart));
    if (!error.empty()) trip.problem = "the saved sheet is not well-formed: " + error;
  } catch (const HostError& error) {
    trip.problem = std::string("the saved file does not load: ") + error.what();
  } catch (const xlsx::PackageError& error) {
    trip.problem = std::string("the saved package cannot be read: ") + error.what();
  }
  return trip;
}

}  // namespace quilmark::testing
