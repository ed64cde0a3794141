#include "src/app/report_rows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "src/report/report_kinds.h"

namespace quilmark {
namespace {

// The captions of the reports, in the order of Reports().
constexpr const char* kCaptions[] = {"一级分类",   "二级分类",     "三大类",
                                     "按权属性质", "城镇村及工矿", "耕地坡度分级"};
constexpr const char* kLevels[] = {"county", "township", "village"};

// The column boxes, their starting texts and the survey fields that replace them.
struct StandardField {
  const char* box;
  const char* start;
  const char* field;
};
constexpr StandardField kStandardFields[] = {{"TextZQColumn", "1", "ZLDWDM"},
                                             {"TextDKStyleColumn", "2", "DLBM"},
                                             {"TextAreaColumn", "3", "TBMJ"}};

}  // namespace

ReportRows::ReportRows(QWidget& window, int left, int right, int top, int row_height)
    : QObject(&window), window_(window) {
  auto* group = new QGroupBox(QStringLiteral("统计报表 (三调地类图斑层, 写入新的工作簿)"), &window);
  group->setObjectName(QStringLiteral("FrameReports"));
  const int inner = row_height + 4;
  group->setGeometry(left, top, right - left, 3 * inner + 22);
  const int columns = 3;
  const int width = (right - left - 16) / columns;
  for (size_t i = 0; i < Reports().size(); ++i) {
    auto* box = new QCheckBox(QString::fromUtf8(kCaptions[i]), group);
    box->setObjectName(QStringLiteral("CheckReport_") +
                       QString::fromUtf8(Reports()[i].cli_name.data()));
    box->setToolTip(QString::fromUtf8(Reports()[i].title.data(),
                                      static_cast<qsizetype>(Reports()[i].title.size())));
    const int slot = static_cast<int>(i);
    box->setGeometry(8 + (slot % columns) * width, 18 + (slot / columns) * inner, width,
                     row_height);
    connect(box, &QCheckBox::toggled, this, [this](bool ticked) {
      if (ticked) FillStandardFields();
    });
    boxes_.push_back(box);
  }
  auto* label = new QLabel(QStringLiteral("统计到"), group);
  label->setGeometry(8, 18 + 2 * inner, 44, row_height);
  level_ = new QComboBox(group);
  level_->setObjectName(QStringLiteral("ListReportLevel"));
  level_->addItems(
      {QStringLiteral("县"), QStringLiteral("乡镇"), QStringLiteral("村 (加乡镇小计)")});
  level_->setCurrentIndex(1);
  level_->setGeometry(8 + 44, 18 + 2 * inner, width + 20, row_height);
  bottom_ = top + group->height();
}

void ReportRows::Fill(RunOptions& options) const {
  options.ListReports.clear();
  for (size_t i = 0; i < boxes_.size(); ++i) {
    if (!boxes_[i]->isChecked()) continue;
    if (!options.ListReports.empty()) options.ListReports += ',';
    options.ListReports += Reports()[i].cli_name;
  }
  options.ListReportLevel = kLevels[level_->currentIndex()];
}

void ReportRows::FillStandardFields() {
  for (const StandardField& standard : kStandardFields) {
    auto* box = window_.findChild<QLineEdit*>(QString::fromUtf8(standard.box));
    if (box != nullptr && box->text().trimmed() == QString::fromUtf8(standard.start)) {
      box->setText(QString::fromUtf8(standard.field));
    }
  }
}

}  // namespace quilmark
