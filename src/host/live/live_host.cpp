#include "src/host/live/live_host.h"

#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <utility>
#include <vector>

#include "src/host/live/live_sheet.h"
#include "src/host/live/office_connection.h"

namespace quilmark {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

class LiveWorkbook : public Workbook {
 public:
  LiveWorkbook(const OfficeConnection& office, Reference<css::sheet::XSpreadsheetDocument> document)
      : office_(office), document_(std::move(document)) {}

  std::string Name() const override {
    return office_.Guard(document_, [&] {
      return ToUtf8(Reference<css::frame::XTitle>(document_, UNO_QUERY_THROW)->getTitle());
    });
  }

  Worksheet* ActiveSheet() override {
    return office_.Guard(document_, [&]() -> Worksheet* {
      Reference<css::frame::XController> controller =
          Reference<css::frame::XModel>(document_, UNO_QUERY_THROW)->getCurrentController();
      Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY);
      if (!view.is()) return nullptr;
      Reference<css::sheet::XSpreadsheet> active = view->getActiveSheet();
      if (!active.is()) return nullptr;
      for (const auto& sheet : sheets_) {
        if (sheet->sheet() == active) return sheet.get();
      }
      return sheets_.emplace_back(std::make_unique<LiveSheet>(office_, document_, active)).get();
    });
  }

  bool HasWorksheet(std::string_view name) const override {
    return office_.Guard(document_,
                         [&] { return document_->getSheets()->hasByName(FromUtf8(name)); });
  }

  // The run's writes reach the document here; the document itself stays unsaved in the office,
  // for the user to review.
  void Save() override {
    for (const auto& sheet : sheets_) sheet->Flush();
  }

  const Reference<css::sheet::XSpreadsheetDocument>& document() const { return document_; }

 private:
  const OfficeConnection& office_;
  Reference<css::sheet::XSpreadsheetDocument> document_;
  std::vector<std::unique_ptr<LiveSheet>> sheets_;
};

class LiveHost : public SpreadsheetHost {
 public:
  explicit LiveHost(LiveHostOptions options) : options_(std::move(options)) {}

  // A second attach starts over: workbooks handed out before belong to the old connection.
  bool Attach() override {
    workbooks_.clear();
    office_.reset();
    office_ = OfficeConnection::Open(options_);
    return office_ != nullptr;
  }

  Workbook* ActiveWorkbook() override {
    if (!office_) return nullptr;
    return office_->Guard({}, [&]() -> Workbook* {
      Reference<css::sheet::XSpreadsheetDocument> document(
          office_->desktop()->getCurrentComponent(), UNO_QUERY);
      if (!document.is()) return nullptr;
      for (const auto& workbook : workbooks_) {
        if (workbook->document() == document) return workbook.get();
      }
      return workbooks_.emplace_back(std::make_unique<LiveWorkbook>(*office_, document)).get();
    });
  }

 private:
  LiveHostOptions options_;
  std::unique_ptr<OfficeConnection> office_;  // declared before the workbooks that use it
  std::vector<std::unique_ptr<LiveWorkbook>> workbooks_;
};

}  // namespace

std::unique_ptr<SpreadsheetHost> MakeLiveHost(LiveHostOptions options) {
  return std::make_unique<LiveHost>(std::move(options));
}

}  // namespace quilmark
