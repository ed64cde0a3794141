// The window: its controls as the user first sees them, the enabling rules, the snapshot a run
// gets, a run from the confirm button on a workbook file, and the message box.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStringListModel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "src/app/desktop_open.h"
#include "src/app/main_window.h"
#include "src/app/run_options.h"
#include "src/app/run_progress.h"
#include "src/app/window_settings.h"
#include "src/host/memory_host.h"
#include "src/host/xlsx/xlsx_host.h"
#include "src/resources/window_controls.h"

namespace quilmark {
namespace {

// Records each message with the cursor the user saw while it was shown.
class RecordingSink : public MessageSink {
 public:
  void Show(MessageKind kind, std::string_view text) override {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    messages.push_back({kind, std::string(text), cursor ? cursor->shape() : Qt::ArrowCursor});
    if (on_show) on_show(kind);
  }
  std::function<void(MessageKind)> on_show;  // called after each message is recorded
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const Message& message : messages) result.push_back(message.text);
    return result;
  }

  struct Message {
    MessageKind kind;
    std::string text;
    Qt::CursorShape cursor;
  };
  std::vector<Message> messages;
  bool answer = true;  // what Ask answers, after recording the warning
  bool Ask(std::string_view warning) override {
    Show(MessageKind::kWarning, warning);
    return answer;
  }
  bool confirmed = true;             // what Confirm answers, after recording the confirmation
  std::function<void()> on_confirm;  // what the user does while the confirmation shows
  bool Confirm(std::string_view text) override {
    Show(MessageKind::kConfirmation, text);
    if (on_confirm) on_confirm();
    return confirmed;
  }
};

// The workbook of a test, handed to runs without giving it away.
class BorrowedHost : public SpreadsheetHost {
 public:
  explicit BorrowedHost(MemoryWorkbook& workbook) : workbook_(workbook) {}
  bool Attach() override { return true; }
  Workbook* ActiveWorkbook() override { return &workbook_; }

 private:
  MemoryWorkbook& workbook_;
};

// A workbook that takes its time to open, as a large one does.
class SlowHost : public SpreadsheetHost {
 public:
  SlowHost() { workbook_.AddSheet("图斑").SetRow(1, {std::string("A"), std::string("111"), 2.5}); }
  bool Attach() override { return true; }
  Workbook* ActiveWorkbook() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    return &workbook_;
  }

 private:
  MemoryWorkbook workbook_{"大.xlsx"};
};

QAbstractButton* ButtonOf(const SpaAnalysis& window, const char* name) {
  return window.findChild<QAbstractButton*>(QString::fromUtf8(name));
}

// Starts a run that the user declines at the confirmation, which keeps the settings, and returns
// a new window that took them up.
std::unique_ptr<SpaAnalysis> NextStart(SpaAnalysis& window) {
  RecordingSink sink;
  sink.confirmed = false;
  window.SetMessageSink(&sink);
  ButtonOf(window, "CommandProc")->click();
  window.SetMessageSink(nullptr);
  auto next = std::make_unique<SpaAnalysis>();
  next->LoadSettings();
  return next;
}

// Answers each box the window shows, from inside its event loop: records its text and presses
// the button of that object name, else OK.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(QString press) : press_(std::move(press)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      texts << box->text();
      QAbstractButton* button = press_ == QStringLiteral("Cancel")
                                    ? box->button(QMessageBox::Cancel)
                                    : box->findChild<QPushButton*>(press_);
      (button != nullptr ? button : box->button(QMessageBox::Ok))->click();
    });
    timer_.start(20);
  }
  QStringList texts;

 private:
  QString press_;
  QTimer timer_;
};

QString LayerAndFilter(const SpaAnalysis& window) {
  return window.findChild<QComboBox*>("ListLayer")->currentText() + QChar('|') +
         window.findChild<QLineEdit*>("TextWhere")->text();
}

}  // namespace

// Takes the URLs the window hands to the desktop, while it lives.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
  ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

 public slots:
  void Open(const QUrl& url) { urls << url; }

 public:
  QList<QUrl> urls;
};

// Stands in for the desktop's query of the program for a type while it lives: a script that
// prints what `body` prints for its arguments (query default TYPE) and exits as it does.
class DesktopQueryStandIn {
 public:
  explicit DesktopQueryStandIn(const QString& body) {
    const QString script = dir_.filePath(QStringLiteral("query"));
    QFile file(script);
    if (file.open(QIODevice::WriteOnly)) file.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    SetDesktopQueryProgram(script);
  }
  ~DesktopQueryStandIn() { SetDesktopQueryProgram(QStringLiteral("xdg-mime")); }

 private:
  QTemporaryDir dir_;
};

class SpaAnalysisTest : public QObject {
  Q_OBJECT

 private slots:
  void ControlsStartAsListed_data();
  void ControlsStartAsListed();
  void WindowAndPicture();
  void CaptionsFitTheirBoxes();
  void OptionGroupsAreExclusive();
  void TaskBoxesEnableWithoutChangingValues_data();
  void TaskBoxesEnableWithoutChangingValues();
  void SnapshotCarriesEveryControl();
  void ZoneRowReachesTheSnapshot();
  void ClassificationListAndFormatReachTheSnapshot();
  void RunWithoutWorkbookSaysNoneIsOpen();
  void RunFromButtonWritesIntoTheFile();
  void CheckButtonSaysWhatItFoundAndWritesNothing();
  void LongRunKeepsWindowAliveAndShowsProgress();
  void CancelStopsTheRunWithNothingWritten();
  void ProgressCountsTheRunNotTheBoxes();
  void DropChoosesWorkbook_data();
  void DropChoosesWorkbook();
  void SeveralLayersRunAsOne();
  void LayerSourceOffersItsLayersAndFieldsAndRunsIntoANewWorkbook();
  void FieldListShowsWholeNamesAndAliases();
  void ReportsFromTheWindowGoIntoTheirOwnWorkbook();
  void MessageBoxHasTitleNoIconOneButton();
  void CompletionLeadsToTheResult();
  void OpeningSaysWhenNothingCan_data();
  void OpeningSaysWhenNothingCan();
  void QuestionsCanBeBackedOutOf();
  void ChoicesComeBackAtTheNextStart();
  void RecentListKeepsTheLatestEight();
  void RestoreDefaultsResetsEveryControl();
  void PreviewShowsTheFirstRowsAndLettersNameColumns();
};

void SpaAnalysisTest::ControlsStartAsListed_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("container");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<QRect>("geometry");
  const auto row = [](const char* name, const char* kind, const char* container,
                      const char* caption, bool enabled, QRect geometry) {
    QTest::newRow(name) << kind << container << QString::fromUtf8(caption) << enabled << geometry;
  };
  // Pixels from twips at 96 dots per inch; every box and option starts unticked.
  row("LbComment", "QLabel", "SpaAnalysis",
      "此工具汇总 GIS 叠加分析得到的图斑 (如红线与地类图、总体规划图叠加): 选择工作簿或 "
      "GIS 图层, 填写区域、类别、面积所在的列号或字段, 汇总结果写在数据末尾10行之后或"
      "新的工作簿中。如下图所示:",
      true, QRect(8, 8, 392, 36));
  row("PictureExample", "QLabel", "SpaAnalysis", "", true, QRect(8, 48, 389, 89));
  row("LbZQColumn", "QLabel", "SpaAnalysis", "区域名称(如镇区名称、图斑号)所在列号", true,
      QRect(16, 152, 225, 17));
  row("TextZQColumn", "QLineEdit", "SpaAnalysis", "1", true, QRect(240, 150, 41, 18));
  row("LbStyleColumn", "QLabel", "SpaAnalysis",
      "地块类别（如地类、规划用途、土地分等定级、用地手续类型等）所在列号", true,
      QRect(16, 176, 217, 33));
  row("TextDKStyleColumn", "QLineEdit", "SpaAnalysis", "2", true, QRect(240, 181, 41, 18));
  row("LbAreaColumn", "QLabel", "SpaAnalysis", "地块面积所在列号", true, QRect(16, 211, 105, 17));
  row("TextAreaColumn", "QLineEdit", "SpaAnalysis", "3", true, QRect(128, 209, 41, 18));
  row("FrameTDLY", "QGroupBox", "SpaAnalysis", "", true, QRect(8, 232, 389, 197));
  row("CheckTDLY", "QCheckBox", "FrameTDLY", "土地利用情况分区域汇总", true, QRect(8, 13, 153, 17));
  row("OptClassC_2008", "QRadioButton", "FrameTDLY", "统计到三级地类，带K农用地另列（2008）", false,
      QRect(16, 35, 257, 17));
  row("OptClassB_2008", "QRadioButton", "FrameTDLY", "统计到二级地类，带K农用地另列（2008）", false,
      QRect(16, 56, 249, 17));
  row("OptClassA_2008", "QRadioButton", "FrameTDLY",
      "统计到一级地类，耕地、园地、林地，带K农用地另列（2008）", false, QRect(16, 77, 361, 17));
  row("OptQSXZ_ED", "QRadioButton", "FrameTDLY", "统计权属性质（二调图）", false,
      QRect(16, 99, 177, 17));
  row("OptClassA_ED", "QRadioButton", "FrameTDLY", "统计到一级类，带K另列（二调图）", false,
      QRect(16, 120, 249, 17));
  row("OptAgriLand_ED", "QRadioButton", "FrameTDLY", "统计农用地、建设用地、未利用地（二调图）",
      false, QRect(16, 141, 289, 17));
  row("CheckZQDM2MC", "QCheckBox", "FrameTDLY", "转换镇区代码为名称", false,
      QRect(240, 170, 137, 17));
  row("FrameZTGH", "QGroupBox", "SpaAnalysis", "", true, QRect(8, 432, 389, 99));
  row("CheckZTGH", "QCheckBox", "FrameZTGH", "总体规划情况分区域汇总", true, QRect(8, 13, 193, 17));
  row("IsAllZone", "QRadioButton", "FrameZTGH", "统计到每一种用途分区", false,
      QRect(16, 35, 161, 17));
  row("IsOldGH", "QRadioButton", "FrameZTGH",
      "统计符合规划、基本农田、其它不符合规划三种类别(06版)", false, QRect(16, 56, 369, 17));
  row("IsNewGH", "QRadioButton", "FrameZTGH",
      "统计符合规划、基本农田、其它不符合规划三种类别(09版)", false, QRect(16, 77, 361, 17));
  row("FrameZQ", "QGroupBox", "SpaAnalysis", "", true, QRect(8, 536, 389, 61));
  row("CheckZQStat", "QCheckBox", "FrameZQ",
      "按区域统计,不细分用地类别(适合统计报批、发证等用地情况)", true, QRect(8, 13, 359, 17));
  row("ChkNumArea", "QCheckBox", "FrameZQ", "统计每个区域内每一种类别地块的宗数和面积", true,
      QRect(8, 35, 369, 17));
  row("CommandProc", "QPushButton", "SpaAnalysis", "确 认", true, QRect(216, 608, 47, 22));
  row("CommandExit", "QPushButton", "SpaAnalysis", "退 出", true, QRect(312, 608, 47, 22));
}

void SpaAnalysisTest::ControlsStartAsListed() {
  QFETCH(QString, kind);
  QFETCH(QString, container);
  QFETCH(QString, caption);
  QFETCH(bool, enabled);
  QFETCH(QRect, geometry);
  SpaAnalysis window;
  auto* control = window.findChild<QWidget*>(QString::fromUtf8(QTest::currentDataTag()));
  QVERIFY(control != nullptr);
  QVERIFY2(control->inherits(kind.toLatin1()), control->metaObject()->className());
  QCOMPARE(control->parentWidget()->objectName(), container);
  QCOMPARE(control->isEnabled(), enabled);
  QCOMPARE(control->geometry(), geometry);
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    QCOMPARE(button->text(), caption);
    QVERIFY(!button->isChecked());
  } else if (auto* text = qobject_cast<QLineEdit*>(control)) {
    QCOMPARE(text->text(), caption);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    QCOMPARE(label->text(), caption);
  } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
    QCOMPARE(frame->title(), caption);
  }
}

void SpaAnalysisTest::WindowAndPicture() {
  SpaAnalysis window;
  QCOMPARE(window.windowTitle(), QStringLiteral("图斑统计汇总"));
  QCOMPARE(window.objectName(), QStringLiteral("SpaAnalysis"));
  // The client area, plus the workbook row below the buttons.
  QCOMPARE(window.width(), 403);
  QVERIFY(window.height() > 635);
  QVERIFY(!window.workbook());
  QCOMPARE(window.findChild<QLabel*>("LbWorkbook")->text(), QStringLiteral("工作簿:"));
  QCOMPARE(window.findChild<QPushButton*>("CommandChooseWorkbook")->text(),
           QStringLiteral("选择..."));

  // The shipped bitmap, whole inside its frame.
  auto* picture = window.findChild<QLabel*>("PictureExample");
  QCOMPARE(picture->pixmap().size(), QSize(382, 83));
  QVERIFY(picture->contentsRect().width() >= 382 && picture->contentsRect().height() >= 83);
}

// With the window's own font, no caption is cut off: buttons and boxes are wide enough for their
// text, and wrapped labels tall enough for their lines (the note at its 12-pixel pitch).
void SpaAnalysisTest::CaptionsFitTheirBoxes() {
  SpaAnalysis window;
  QCOMPARE(window.font().family(), QStringLiteral("WenQuanYi Micro Hei"));
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (qobject_cast<QAbstractItemView*>(button->parentWidget())) continue;  // a table corner
    // The room the style leaves for the text beside the indicator or inside the bevel.
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
    if (qobject_cast<QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
    const QRect room = button->style()->subElementRect(contents, &option, button);
    QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= room.width(),
             qPrintable(button->objectName()));
    QVERIFY2(button->fontMetrics().height() <= room.height(), qPrintable(button->objectName()));
  }
  for (const char* name : {"LbZQColumn", "LbStyleColumn", "LbAreaColumn"}) {
    auto* label = window.findChild<QLabel*>(name);
    const int lines = WrappedLineCount(label->text(), label->font(), label->contentsRect().width());
    QVERIFY2(lines * label->fontMetrics().height() <= label->height(), name);
  }
  auto* note = window.findChild<QLabel*>("LbComment");
  QCOMPARE(WrappedLineCount(note->text(), note->font(), note->contentsRect().width()), 3);
}

void SpaAnalysisTest::OptionGroupsAreExclusive() {
  const std::vector<std::vector<const char*>> groups = {
      {"OptClassC_2008", "OptClassB_2008", "OptClassA_2008", "OptQSXZ_ED", "OptClassA_ED",
       "OptAgriLand_ED"},
      {"IsAllZone", "IsOldGH", "IsNewGH"}};
  SpaAnalysis window;
  ButtonOf(window, "CheckTDLY")->click();
  ButtonOf(window, "CheckZTGH")->click();
  ButtonOf(window, "IsOldGH")->click();
  for (const char* chosen : groups[0]) {
    ButtonOf(window, chosen)->click();
    for (const char* option : groups[0]) {
      QCOMPARE(ButtonOf(window, option)->isChecked(), std::string(option) == chosen);
    }
    // The other group keeps its choice.
    QVERIFY(ButtonOf(window, "IsOldGH")->isChecked());
  }
  for (const char* chosen : groups[1]) {
    ButtonOf(window, chosen)->click();
    for (const char* option : groups[1]) {
      QCOMPARE(ButtonOf(window, option)->isChecked(), std::string(option) == chosen);
    }
    QVERIFY(ButtonOf(window, "OptAgriLand_ED")->isChecked());
  }
}

void SpaAnalysisTest::TaskBoxesEnableWithoutChangingValues_data() {
  QTest::addColumn<QString>("task");
  QTest::addColumn<QStringList>("controlled");
  QTest::addColumn<QStringList>("others");
  QTest::addColumn<QString>("chosen");
  const QStringList land_use = {"OptClassC_2008", "OptClassB_2008", "OptClassA_2008", "OptQSXZ_ED",
                                "OptClassA_ED",   "OptAgriLand_ED", "CheckZQDM2MC"};
  const QStringList master_plan = {"IsAllZone", "IsOldGH", "IsNewGH"};
  QTest::newRow("land use") << "CheckTDLY" << land_use << master_plan << "OptClassA_ED";
  QTest::newRow("master plan") << "CheckZTGH" << master_plan << land_use << "IsNewGH";
}

// An option chosen and then its task box unticked stays chosen (and counts in the snapshot)
// while disabled; ticking the box again shows it enabled and still chosen. A ticked CheckZQDM2MC
// stays ticked in the same way.
void SpaAnalysisTest::TaskBoxesEnableWithoutChangingValues() {
  QFETCH(QString, task);
  QFETCH(QStringList, controlled);
  QFETCH(QStringList, others);
  QFETCH(QString, chosen);
  SpaAnalysis window;
  auto* box = window.findChild<QAbstractButton*>(task);
  const auto button = [&](const QString& name) { return window.findChild<QAbstractButton*>(name); };
  const auto all_enabled = [&](const QStringList& names, bool enabled) {
    for (const QString& name : names) {
      if (button(name)->isEnabled() != enabled) return false;
    }
    return true;
  };

  box->click();
  QVERIFY(all_enabled(controlled, true));
  QVERIFY(all_enabled(others, false));
  button(chosen)->click();
  if (controlled.contains("CheckZQDM2MC")) button("CheckZQDM2MC")->click();

  box->click();
  QVERIFY(all_enabled(controlled, false));
  QVERIFY(button(chosen)->isChecked());
  const RunOptions options = window.Snapshot();
  QCOMPARE(options.CheckTDLY || options.CheckZTGH, false);
  if (controlled.contains("CheckZQDM2MC")) {
    QVERIFY(button("CheckZQDM2MC")->isChecked());
    QVERIFY(options.CheckZQDM2MC && options.OptClassA_ED);
  } else {
    QVERIFY(options.IsNewGH);
  }

  box->click();
  QVERIFY(all_enabled(controlled, true));
  QVERIFY(button(chosen)->isChecked());
}

// Each control reaches its own field of the snapshot and no other.
void SpaAnalysisTest::SnapshotCarriesEveryControl() {
  QCOMPARE(SpaAnalysis().Snapshot(), RunOptions());

  struct Flag {
    const char* control;
    bool RunOptions::*field;
    bool RunOptions::*task;  // the box that enables the control, if any
  };
  const Flag flags[] = {
      {"CheckTDLY", &RunOptions::CheckTDLY, nullptr},
      {"CheckZTGH", &RunOptions::CheckZTGH, nullptr},
      {"CheckZQStat", &RunOptions::CheckZQStat, nullptr},
      {"ChkNumArea", &RunOptions::ChkNumArea, nullptr},
      {"CheckZQDM2MC", &RunOptions::CheckZQDM2MC, &RunOptions::CheckTDLY},
      {"OptClassC_2008", &RunOptions::OptClassC_2008, &RunOptions::CheckTDLY},
      {"OptClassB_2008", &RunOptions::OptClassB_2008, &RunOptions::CheckTDLY},
      {"OptClassA_2008", &RunOptions::OptClassA_2008, &RunOptions::CheckTDLY},
      {"OptQSXZ_ED", &RunOptions::OptQSXZ_ED, &RunOptions::CheckTDLY},
      {"OptClassA_ED", &RunOptions::OptClassA_ED, &RunOptions::CheckTDLY},
      {"OptAgriLand_ED", &RunOptions::OptAgriLand_ED, &RunOptions::CheckTDLY},
      {"IsAllZone", &RunOptions::IsAllZone, &RunOptions::CheckZTGH},
      {"IsOldGH", &RunOptions::IsOldGH, &RunOptions::CheckZTGH},
      {"IsNewGH", &RunOptions::IsNewGH, &RunOptions::CheckZTGH},
  };
  for (const Flag& flag : flags) {
    SpaAnalysis window;
    RunOptions expected;
    if (flag.task != nullptr) {
      ButtonOf(window, flag.task == &RunOptions::CheckTDLY ? "CheckTDLY" : "CheckZTGH")->click();
      expected.*flag.task = true;
    }
    ButtonOf(window, flag.control)->click();
    expected.*flag.field = true;
    QVERIFY2(window.Snapshot() == expected, flag.control);
  }

  // Column texts go through as typed, non-numbers and Chinese included.
  struct Text {
    const char* control;
    std::string RunOptions::*field;
  };
  const Text texts[] = {{"TextZQColumn", &RunOptions::TextZQColumn},
                        {"TextDKStyleColumn", &RunOptions::TextDKStyleColumn},
                        {"TextAreaColumn", &RunOptions::TextAreaColumn}};
  for (const Text& text : texts) {
    SpaAnalysis window;
    auto* edit = window.findChild<QLineEdit*>(text.control);
    edit->setText(QStringLiteral(" 2.5列"));
    RunOptions expected;
    expected.*text.field = " 2.5列";
    QVERIFY2(window.Snapshot() == expected, text.control);
  }
}

// The zone row holds for every source: its prefix by code length and its name table.
void SpaAnalysisTest::ZoneRowReachesTheSnapshot() {
  const int prefixes[] = {0, 6, 9, 12};  // 不截取, 县, 乡镇, 村
  for (int index = 0; index < 4; ++index) {
    SpaAnalysis window;
    window.findChild<QComboBox*>("ListZonePrefix")->setCurrentIndex(index);
    window.findChild<QLineEdit*>("TextZoneNames")->setText(" 乡镇名称.csv ");
    const RunOptions options = window.Snapshot();
    QCOMPARE(options.ZonePrefix, prefixes[index]);
    QCOMPARE(options.ZoneNamesFile, std::string("乡镇名称.csv"));
  }
}

// A list entry and an option button clear each other; the formatting choices reach the snapshot.
void SpaAnalysisTest::ClassificationListAndFormatReachTheSnapshot() {
  SpaAnalysis window;
  auto* list = window.findChild<QComboBox*>("ListLandUse");
  QVERIFY(!list->isEnabled());
  // The list lies in the land-use group, whichever column the group is shown in, clear of its
  // options and the conversion box.
  auto* group = window.findChild<QWidget*>("FrameTDLY");
  QCOMPARE(list->parentWidget(), group);
  QVERIFY(group->rect().contains(list->geometry()));
  for (QAbstractButton* option : group->findChildren<QAbstractButton*>()) {
    QVERIFY2(!option->geometry().intersects(list->geometry()), qPrintable(option->objectName()));
  }
  ButtonOf(window, "CheckTDLY")->click();
  ButtonOf(window, "OptClassA_ED")->click();
  QCOMPARE(list->currentText(), ButtonOf(window, "OptClassA_ED")->text());
  list->setCurrentIndex(list->findText("三调 三大类 (农用地、建设用地、未利用地)"));
  QVERIFY(!ButtonOf(window, "OptClassA_ED")->isChecked());
  window.findChild<QLineEdit*>("TextKCXSColumn")->setText("4");
  window.findChild<QLineEdit*>("TextDecimals")->setText("2");
  window.findChild<QComboBox*>("ListUnit")->setCurrentIndex(1);
  ButtonOf(window, "CheckTotals")->click();
  RunOptions options = window.Snapshot();
  QCOMPARE(options.ListLandUse, std::string("三调 三大类 (农用地、建设用地、未利用地)"));
  QVERIFY(!options.OptClassA_ED && options.CheckTotals);
  QCOMPARE(options.TextKCXSColumn + options.TextDecimals + options.ListUnit, std::string("42ha"));
  ButtonOf(window, "OptQSXZ_ED")->click();
  QCOMPARE(list->currentText(), ButtonOf(window, "OptQSXZ_ED")->text());
  QVERIFY(window.Snapshot().ListLandUse.empty());
  // The one list holds every method under its family's heading; a button's method ticks it.
  list->setCurrentIndex(list->findText(ButtonOf(window, "OptClassB_2008")->text()));
  QVERIFY(ButtonOf(window, "OptClassB_2008")->isChecked());
  QVERIFY(window.Snapshot().OptClassB_2008 && window.Snapshot().ListLandUse.empty());
  for (const char* family :
       {"2008 土地分类", "第三次国土调查 工作分类", "国土空间用地用海分类 2023"}) {
    const int heading = list->findText(QStringLiteral("── %1 ──").arg(QString::fromUtf8(family)));
    QVERIFY2(heading > 0, family);
    QVERIFY(!(list->model()->flags(list->model()->index(heading, 0)) & Qt::ItemIsEnabled));
  }
}

// With no file chosen and no office answering (none listens during the tests) the window asks
// for a workbook; it shows the busy cursor while the run is going and restores it afterwards.
void SpaAnalysisTest::RunWithoutWorkbookSaysNoneIsOpen() {
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  ButtonOf(window, "CheckZQStat")->click();
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.texts(), std::vector<std::string>{kChooseWorkbookFirst});
  QCOMPARE(sink.messages[0].cursor, Qt::WaitCursor);
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);

  // A failure the run does not report itself is shown, not let loose in the event loop.
  window.SetHostFactory([](const auto&) -> std::unique_ptr<SpreadsheetHost> {
    throw std::runtime_error("cannot open");
  });
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.messages.back().kind, MessageKind::kHostFailure);
  QCOMPARE(sink.messages.back().text, std::string("cannot open"));
  QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

// Each press reads the file afresh and writes the result back into it: the second run reads the
// first run's block as data (after a warning) and writes its own below it.
void SpaAnalysisTest::RunFromButtonWritesIntoTheFile() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("地块.xlsx"));
  QVERIFY(QFile::copy(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"), path));

  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.SetWorkbook(path);
  ButtonOf(window, "CheckZQStat")->click();
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.texts(), (std::vector<std::string>{
                             "确认: 需要统计的工作薄为 地块.xlsx\r                工作表为 地块",
                             "统计完毕, 到Excel工作表查看结果! 汇总结果写在工作表 地块 的第 "
                             "14-16 行。"}));

  // Rows (zone, class, area): A 111 2.5, B 112 1, A 111 4; the block starts ten rows below.
  const auto cell = [&](int row, int column) -> CellValue {
    XlsxFileHost host(window.workbook().value());
    return host.ActiveWorkbook()->ActiveSheet()->Read(row, column).value_or(CellValue{});
  };
  QVERIFY(IsEmpty(cell(14, 1)));
  QCOMPARE(cell(15, 1), CellValue(std::string("A")));
  QCOMPARE(cell(15, 2), CellValue(6.5));
  QCOMPARE(cell(16, 1), CellValue(std::string("B")));
  QCOMPARE(cell(16, 2), CellValue(1.0));
  // The run gives back the buttons it took, but not the table's, whose task is not ticked.
  QVERIFY(ButtonOf(window, "CommandProc")->isEnabled());
  QVERIFY(!ButtonOf(window, "CommandChooseTable")->isEnabled());

  // The second press first warns that the first run's block is among the rows it reads.
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.messages.size(), size_t{5});
  QCOMPARE(sink.messages[2].kind, MessageKind::kWarning);
  QCOMPARE(sink.messages[4].kind, MessageKind::kCompletion);
  QCOMPARE(cell(28, 1), CellValue(std::string("A")));
  QCOMPARE(cell(28, 2), CellValue(6.5));
  QCOMPARE(cell(29, 1), CellValue(std::string("B")));

  // Cancelled at the warning, the third press leaves the file as it was.
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  sink.answer = false;
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.messages.size(), size_t{6});
  QCOMPARE(sink.messages[5].kind, MessageKind::kWarning);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), before);
  file.close();

  // So is one cancelled at the confirmation, and nothing more is said.
  sink.answer = true;
  sink.confirmed = false;
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.messages.size(), size_t{8});
  QCOMPARE(sink.messages[7].kind, MessageKind::kConfirmation);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), before);
}

// 检查数据 runs the data check alone: its findings end in one completion, the file stays as it was.
void SpaAnalysisTest::CheckButtonSaysWhatItFoundAndWritesNothing() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("地块.xlsx"));
  QVERIFY(QFile::copy(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"), path));
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.SetWorkbook(path);
  ButtonOf(window, "CommandCheck")->click();
  QCOMPARE(sink.messages.size(), size_t{2});
  QCOMPARE(sink.messages[1].kind, MessageKind::kCompletion);
  QCOMPARE(sink.messages[1].text, std::string("数据检查完毕: 0 个错误, 0 个警告。"));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), before);
  QVERIFY(ButtonOf(window, "CommandCheck")->isEnabled());
}

// A run of over half a second: the event loop keeps turning, the stage shows, the buttons stay
// disabled until the run ends.
void SpaAnalysisTest::LongRunKeepsWindowAliveAndShowsProgress() {
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.SetHostFactory([](const auto&) { return std::make_unique<SlowHost>(); });
  ButtonOf(window, "CheckZQStat")->click();
  auto* progress = window.findChild<RunProgress*>();
  int ticks = 0;
  QStringList shown;
  bool buttons_disabled = true;
  QTimer timer;
  connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    if (!progress->isHidden()) shown << progress->text();
    for (const char* name :
         {"CommandProc", "CommandExit", "CommandChooseWorkbook", "CommandChooseTable"}) {
      buttons_disabled = buttons_disabled && !ButtonOf(window, name)->isEnabled();
    }
  });
  timer.start(50);
  ButtonOf(window, "CommandProc")->click();
  timer.stop();

  QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
  QVERIFY2(!shown.filter(QStringLiteral("读取工作簿 … ")).isEmpty(), qPrintable(shown.join('|')));
  QVERIFY(buttons_disabled);
  QCOMPARE(sink.messages.back().kind, MessageKind::kCompletion);
  QVERIFY(progress->isHidden());
  QVERIFY(ButtonOf(window, "CommandProc")->isEnabled());
}

// 取消 during a run stops it between rows: nothing written or saved, and the run says so.
void SpaAnalysisTest::CancelStopsTheRunWithNothingWritten() {
  MemoryWorkbook workbook("大.xlsx");
  MemorySheet& sheet = workbook.AddSheet("图斑");
  for (int32_t row = 1; row <= 3000; ++row) {
    sheet.SetRow(row, {std::string("A"), std::string("111"), 1.0});
  }
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.SetHostFactory([&](const auto&) { return std::make_unique<BorrowedHost>(workbook); });
  ButtonOf(window, "CheckZQStat")->click();
  sink.on_confirm = [&] { ButtonOf(window, "CommandCancel")->click(); };
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.messages.back().kind, MessageKind::kStop);
  QCOMPARE(sink.messages.back().text, std::string(kCancelledText));
  QCOMPARE(sheet.write_count(), 0);
  QCOMPARE(workbook.save_count(), 0);
  // The next run is not cancelled by the last one's button.
  sink.on_confirm = nullptr;
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.messages.back().kind, MessageKind::kCompletion);
  QCOMPARE(workbook.save_count(), 1);
}

// The seconds shown leave out the time the run's boxes wait for the user; the rows read show as
// a share of the total, with the time left on a long run.
void SpaAnalysisTest::ProgressCountsTheRunNotTheBoxes() {
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.SetHostFactory([](const auto&) { return std::make_unique<SlowHost>(); });
  ButtonOf(window, "CheckZQStat")->click();
  auto* progress = window.findChild<RunProgress*>();
  double at_completion = -1;
  sink.on_confirm = [&] { QTest::qWait(1500); };
  sink.on_show = [&](MessageKind kind) {
    if (kind == MessageKind::kCompletion) at_completion = progress->seconds();
  };
  ButtonOf(window, "CommandProc")->click();
  // The slow workbook takes 1.2 s to open; the confirmation waited 1.5 s more.
  QVERIFY2(at_completion >= 1.0 && at_completion < 2.5, qPrintable(QString::number(at_completion)));

  struct Case {
    int64_t done, total;
    double seconds;
    const char* shown;
  };
  const Case cases[] = {
      {0, 0, 3, "汇总图斑 … 3 秒"},
      {500, 0, 3, "汇总图斑 … 3 秒"},
      {5000, 20000, 3, "汇总图斑 已读 5,000 / 20,000 行 25% … 3 秒"},
      {5000, 20000, 6, "汇总图斑 已读 5,000 / 20,000 行 25% … 6 秒, 约剩 18 秒"},
      {20000, 20000, 9, "汇总图斑 已读 20,000 / 20,000 行 100% … 9 秒"},
  };
  for (const Case& c : cases) {
    QCOMPARE(ProgressText(QStringLiteral("汇总图斑"), c.done, c.total, c.seconds),
             QString::fromUtf8(c.shown));
  }
}

void SpaAnalysisTest::DropChoosesWorkbook_data() {
  QTest::addColumn<QList<QUrl>>("urls");
  QTest::addColumn<QString>("shown");  // empty: nothing chosen
  const auto file = [](const char* path) { return QUrl::fromLocalFile(QString::fromUtf8(path)); };
  QTest::newRow("xlsx") << QList<QUrl>{file("/data/地块.xlsx")} << "地块.xlsx";
  QTest::newRow("upper case") << QList<QUrl>{file("/data/A.XLSX")} << "A.XLSX";
  QTest::newRow("layer") << QList<QUrl>{file("/data/图斑.shp")} << "图斑.shp";
  QTest::newRow("table layer") << QList<QUrl>{file("/data/a.csv")} << "a.csv";
  QTest::newRow("geodatabase") << QList<QUrl>{file("/data/调查.gdb")} << "调查.gdb";
  QTest::newRow("other file") << QList<QUrl>{file("/data/a.docx")} << "";
  QTest::newRow("two files") << QList<QUrl>{file("/data/a.xlsx"), file("/data/b.xlsx")} << "";
  QTest::newRow("layer and workbook")
      << QList<QUrl>{file("/data/a.shp"), file("/data/b.xlsx")} << "";
  QTest::newRow("three layers") << QList<QUrl>{file("/data/a.shp"), file("/data/b.gpkg"),
                                               file("/data/c.shp")}
                                << "a.shp 等 3 个图层";
  QTest::newRow("remote") << QList<QUrl>{QUrl("https://example.org/a.xlsx")} << "";
}

void SpaAnalysisTest::DropChoosesWorkbook() {
  QFETCH(QList<QUrl>, urls);
  QFETCH(QString, shown);
  const bool chosen = !shown.isEmpty();
  SpaAnalysis window;
  QMimeData mime;
  mime.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  QCOMPARE(enter.isAccepted(), chosen);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  QCOMPARE(window.workbook().has_value(), chosen);
  if (chosen) {
    QCOMPARE(QString::fromStdString(window.workbook()->string()), urls.front().toLocalFile());
    QCOMPARE(window.more_sources().size(), static_cast<size_t>(urls.size() - 1));
    QCOMPARE(window.findChild<QLabel*>("LbWorkbookName")->text(), shown);
  }
}

// Several layers chosen at once are summed as one, into a new workbook beside the first; choosing
// one source again forgets the others.
void SpaAnalysisTest::SeveralLayersRunAsOne() {
  QTemporaryDir dir;
  QStringList parts;
  for (const char* part : {"FID <= 3", "FID > 3"}) {
    parts.push_back(dir.filePath(QStringLiteral("p%1.gpkg").arg(parts.size())));
    // Each file has its own layer name, as a folder of shapefiles has.
    QVERIFY(std::system(("ogr2ogr -q -f GPKG -a_srs EPSG:4547 -oo KEEP_GEOM_COLUMNS=NO -nln dltb" +
                         std::to_string(parts.size() - 1) + " -where '" + std::string(part) +
                         "' '" + parts.back().toStdString() +
                         "' '" QUILMARK_GUI_TEST_DATA "/../gis/patches.csv'")
                            .c_str()) == 0);
  }
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  QVERIFY(window.SetSources(parts));
  window.findChild<QLineEdit*>("TextZQColumn")->setText("ZLMC");
  window.findChild<QLineEdit*>("TextAreaColumn")->setText("TBMJ");
  ButtonOf(window, "CheckZQStat")->click();
  ButtonOf(window, "CommandProc")->click();
  const std::string result = dir.filePath(QStringLiteral("p0等2个图层-汇总.xlsx")).toStdString();
  QCOMPARE(sink.texts(),
           (std::vector<std::string>{"确认: 需要统计 2 个数据源的图层, 合为一个结果:\r"
                                     "1. dltb0 (p0.gpkg)\r2. dltb1 (p1.gpkg)",
                                     "统计完毕, 汇总结果已写入新的工作簿: " + result}));
  XlsxFileHost host(result);
  Worksheet* sheet = host.ActiveWorkbook()->ActiveSheet();
  QCOMPARE(sheet->Read(1, 1).value_or(CellValue{}), CellValue(std::string("石碣镇")));
  window.SetWorkbook(parts.back());
  QVERIFY(window.more_sources().empty());
}

// A GIS source (here a GeoPackage of two layers, written by GDAL; b holds the small patches)
// offers its layers and the chosen layer's fields; the run reads the layer chosen, filtered, and
// writes a new workbook beside it, which a second run (by township codes, named from a table)
// replaces only when the user agrees.
void SpaAnalysisTest::LayerSourceOffersItsLayersAndFieldsAndRunsIntoANewWorkbook() {
  QTemporaryDir dir;
  const std::string csv = QUILMARK_GUI_TEST_DATA "/../gis/patches.csv";
  const std::string gpkg = dir.filePath(QStringLiteral("图斑.gpkg")).toStdString();
  const std::string copy = "ogr2ogr -q -f GPKG -a_srs EPSG:4547 -oo KEEP_GEOM_COLUMNS=NO ";
  QVERIFY(std::system((copy + "-nln a '" + gpkg + "' '" + csv + "' && " + copy +
                       "-update -nln b -where 'TBMJ < 200' '" + gpkg + "' '" + csv + "'")
                          .c_str()) == 0);
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.SetWorkbook(QString::fromStdString(gpkg));
  auto* layers = window.findChild<QComboBox*>("ListLayer");
  QCOMPARE(layers->count(), 2);
  QVERIFY(layers->isEnabled());
  auto* zone = window.findChild<QLineEdit*>("TextZQColumn");
  const auto offered = [&] {  // the names a choice puts into the box
    QStringList names;
    const QCompleter* completer = zone->completer();
    for (int row = 0; row < completer->model()->rowCount(); ++row) {
      names.push_back(
          completer->model()->index(row, 0).data(completer->completionRole()).toString());
    }
    return names;
  };
  QCOMPARE(offered(), (QStringList{"ZLDWDM", "ZLMC", "DLBM", "TBMJ"}));

  layers->setCurrentText("b");
  zone->setText("ZLMC");
  window.findChild<QLineEdit*>("TextDKStyleColumn")->setText("dlbm");
  window.findChild<QLineEdit*>("TextAreaColumn")->clear();  // the geometry's area
  window.findChild<QLineEdit*>("TextWhere")->setText("DLBM LIKE '03%'");
  ButtonOf(window, "CheckZQStat")->click();
  ButtonOf(window, "CommandProc")->click();
  const std::string result = dir.filePath(QStringLiteral("图斑-汇总.xlsx")).toStdString();
  QCOMPARE(sink.texts(),
           (std::vector<std::string>{"确认: 需要统计的图层为 b, 数据源为 " + gpkg,
                                     "统计完毕, 汇总结果已写入新的工作簿: " + result}));
  XlsxFileHost host(result);
  Worksheet* sheet = host.ActiveWorkbook()->ActiveSheet();
  QCOMPARE(sheet->Read(1, 1).value_or(CellValue{}), CellValue(std::string("常平镇")));
  QVERIFY(std::abs(std::get<double>(sheet->Read(1, 2).value_or(CellValue{})) - 100) < 0.01);

  // Again, by township codes named from a table: asked first, 取消 leaves the result untouched.
  const QString names = dir.filePath(QStringLiteral("乡镇.csv"));
  QFile names_file(names);
  QVERIFY(names_file.open(QIODevice::WriteOnly));
  names_file.write("441900102,常平\n");
  names_file.close();
  zone->setText("ZLDWDM");
  window.findChild<QComboBox*>("ListZonePrefix")->setCurrentIndex(2);  // 乡镇 (前 9 位)
  window.findChild<QLineEdit*>("TextZoneNames")->setText(names);
  const QByteArray first = [&] {
    QFile file(QString::fromStdString(result));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }();
  const std::string question =
      "结果工作簿已存在: " + result + "\n确定: 替换它; 取消: 不统计, 原文件保持不变。";
  sink.messages.clear();
  sink.answer = false;
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.texts(), std::vector<std::string>{question});
  QFile kept(QString::fromStdString(result));
  QVERIFY(kept.open(QIODevice::ReadOnly));
  QCOMPARE(kept.readAll(), first);
  sink.messages.clear();
  sink.answer = true;
  ButtonOf(window, "CommandProc")->click();
  QCOMPARE(sink.texts().front(), question);
  QCOMPARE(sink.texts().back(), "统计完毕, 汇总结果已写入新的工作簿: " + result);
  XlsxFileHost replaced(result);
  QCOMPARE(replaced.ActiveWorkbook()->ActiveSheet()->Read(1, 1).value_or(CellValue{}),
           CellValue(std::string("常平")));

  // A workbook takes the layer rows out of play again.
  window.SetWorkbook(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"));
  QCOMPARE(layers->count(), 0);
  QVERIFY(offered().isEmpty());
}

// A geodatabase layer whose fields carry aliases, as survey layers do; the names share their first
// letters, so a list as narrow as its box would cut them to the same text.
void SpaAnalysisTest::FieldListShowsWholeNamesAndAliases() {
  QTemporaryDir dir;
  const std::string gdb = dir.filePath(QStringLiteral("地类图斑.gdb")).toStdString();
  {
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("OpenFileGDB");
    GDALDatasetUniquePtr dataset(driver->Create(gdb.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    QVERIFY(dataset != nullptr);
    OGRLayer* layer = dataset->CreateLayer("DLTB", nullptr, wkbPolygon, nullptr);
    for (const auto& [name, alias] : {std::pair{"ZLDWDM", "坐落单位代码"},
                                      std::pair{"ZLDWMC", "坐落单位名称"}, std::pair{"DLBM", ""}}) {
      OGRFieldDefn field(name, OFTString);
      field.SetAlternativeName(alias);
      QVERIFY(layer->CreateField(&field) == OGRERR_NONE);
    }
  }
  SpaAnalysis window;
  window.SetWorkbook(QString::fromStdString(gdb));
  auto* zone = window.findChild<QLineEdit*>("TextZQColumn");
  QCompleter* completer = zone->completer();
  QStringList shown, completed;
  for (int row = 0; row < completer->model()->rowCount(); ++row) {
    const QModelIndex index = completer->model()->index(row, 0);
    shown.push_back(index.data(Qt::DisplayRole).toString());
    completed.push_back(index.data(completer->completionRole()).toString());
  }
  QCOMPARE(shown, (QStringList{"ZLDWDM 坐落单位代码", "ZLDWMC 坐落单位名称", "DLBM"}));
  QCOMPARE(completed, (QStringList{"ZLDWDM", "ZLDWMC", "DLBM"}));
  QVERIFY(completer->popup()->minimumWidth() >
          zone->fontMetrics().horizontalAdvance(QStringLiteral("ZLDWMC 坐落单位名称")));
  // A choice puts the bare name into the box, which shows it whole (not "DWDM"); a workbook
  // brings the box back to its drawn width.
  completer->setCompletionPrefix(QStringLiteral("zldwm"));
  QCOMPARE(completer->currentCompletion(), QStringLiteral("ZLDWMC"));
  const int drawn = SpaAnalysis().findChild<QLineEdit*>("TextZQColumn")->width();
  QVERIFY(zone->contentsRect().width() > zone->fontMetrics().horizontalAdvance("ZLDWMC") + 4);
  window.SetWorkbook(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"));
  QCOMPARE(zone->width(), drawn);
}

// Ticking a report fills the column boxes still at their start with the survey's fields; the
// run writes the chosen tables beside the layer under "-统计报表".
void SpaAnalysisTest::ReportsFromTheWindowGoIntoTheirOwnWorkbook() {
  QTemporaryDir dir;
  const std::string gpkg = dir.filePath(QStringLiteral("地类图斑.gpkg")).toStdString();
  QVERIFY(std::system(("ogr2ogr -q -f GPKG -a_srs EPSG:4547 -oo KEEP_GEOM_COLUMNS=NO -nln DLTB '" +
                       gpkg + "' '" QUILMARK_GUI_TEST_DATA "/../gis/survey3.csv'")
                          .c_str()) == 0);
  SpaAnalysis window;
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.SetWorkbook(QString::fromStdString(gpkg));
  window.findChild<QLineEdit*>("TextAreaColumn")->setText("TBMJ");
  window.findChild<QLineEdit*>("TextDKStyleColumn")->setText("4");  // chosen: kept
  ButtonOf(window, "CheckReport_level1")->click();
  ButtonOf(window, "CheckReport_slope")->click();
  window.findChild<QComboBox*>("ListReportLevel")->setCurrentIndex(2);
  const RunOptions options = window.Snapshot();
  QCOMPARE(options.ListReports, std::string("level1,slope"));
  QCOMPARE(options.ListReportLevel, std::string("village"));
  QCOMPARE(options.TextZQColumn, std::string("ZLDWDM"));
  QCOMPARE(options.TextDKStyleColumn, std::string("4"));
  window.findChild<QLineEdit*>("TextDKStyleColumn")->setText("DLBM");
  ButtonOf(window, "CommandProc")->click();
  const std::string result = dir.filePath(QStringLiteral("地类图斑-统计报表.xlsx")).toStdString();
  QCOMPARE(sink.texts().back(), "统计完毕, 汇总结果已写入新的工作簿: " + result);
  XlsxFileHost host(result);
  QCOMPARE(host.ActiveWorkbook()->ActiveSheet()->Name(),
           std::string("土地利用现状一级分类面积汇总表"));
}

// The real box, closed from inside its own event loop: title 图斑统计汇总, no icon, one OK button,
// the confirmation on two lines, names shown as typed even when they look like markup.
// The completion names the file the result went to and opens it, or its folder, with the
// desktop's handler; a workbook's result can go into a new workbook beside it instead.
void SpaAnalysisTest::CompletionLeadsToTheResult() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("地块.xlsx"));
  QVERIFY(QFile::copy(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"), path));
  UrlRecorder opened;
  DesktopQueryStandIn desktop(QStringLiteral("echo calc.desktop"));
  SpaAnalysis window;
  window.SetWorkbook(path);
  ButtonOf(window, "CheckZQStat")->click();
  {
    BoxAnswerer answerer(QStringLiteral("CommandOpenFolder"));
    ButtonOf(window, "CommandProc")->click();
    QCOMPARE(answerer.texts.size(), 2);
    QCOMPARE(answerer.texts.back(),
             QStringLiteral("统计完毕, 到Excel工作表查看结果! 汇总结果写在工作表 地块 的第 "
                            "14-16 行。\n结果文件: ") +
                 path);
  }
  QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(dir.path())});

  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  ButtonOf(window, "OptNewWorkbook")->click();
  const QString result = dir.filePath(QStringLiteral("地块-汇总.xlsx"));
  {
    BoxAnswerer answerer(QStringLiteral("CommandOpenResult"));
    ButtonOf(window, "CommandProc")->click();
    QCOMPARE(answerer.texts.back(),
             QStringLiteral("统计完毕, 汇总结果已写入新的工作簿: ") + result);
  }
  QCOMPARE(opened.urls.back(), QUrl::fromLocalFile(result));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), before);
  XlsxFileHost host(result.toStdString());
  QCOMPARE(host.ActiveWorkbook()->ActiveSheet()->Read(1, 1).value_or(CellValue{}),
           CellValue(std::string("A")));
}

// 打开结果 and 打开所在文件夹 open with the desktop's program for the type or one it derives from;
// where the desktop has none, a box names the file instead of nothing happening; where the
// desktop cannot be asked, the opening is left to it.
void SpaAnalysisTest::OpeningSaysWhenNothingCan_data() {
  QTest::addColumn<QString>("query");
  QTest::addColumn<QString>("press");
  QTest::addColumn<bool>("opened");
  QTest::addColumn<QString>("said");
  const QString result = QStringLiteral("CommandOpenResult");
  const QString folder = QStringLiteral("CommandOpenFolder");
  QTest::newRow("no program for a workbook")
      << "exit 0" << result << false << "没有能打开 {file} 的程序";
  QTest::newRow("no program for a folder")
      << "exit 0" << folder << false << "没有能打开文件夹 {folder} 的程序。结果已经保存在 {file}";
  QTest::newRow("a program for the parent type")
      << R"([ "$3" = application/zip ] && echo archive.desktop; exit 0)" << result << true << "";
  QTest::newRow("a file manager") << R"([ "$3" = inode/directory ] && echo files.desktop; exit 0)"
                                  << folder << true << "";
  QTest::newRow("the query fails") << "exit 2" << result << true << "";
}

void SpaAnalysisTest::OpeningSaysWhenNothingCan() {
  QFETCH(QString, query);
  QFETCH(QString, press);
  QFETCH(bool, opened);
  QFETCH(QString, said);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("结果.xlsx"));
  QVERIFY(QFile::copy(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"), path));
  UrlRecorder recorder;
  DesktopQueryStandIn desktop(query);
  SpaAnalysis window;
  MessageBoxSink sink(&window);
  sink.SetResultFile(path);
  BoxAnswerer answerer(press);
  sink.Complete("统计完毕", {});
  const QString target = press == QStringLiteral("CommandOpenResult") ? path : dir.path();
  QCOMPARE(recorder.urls, opened ? QList<QUrl>{QUrl::fromLocalFile(target)} : QList<QUrl>{});
  QCOMPARE(answerer.texts.size(), opened ? 1 : 2);
  if (!opened)
    QVERIFY2(answerer.texts.back().contains(
                 said.replace("{file}", path).replace("{folder}", dir.path())),
             qPrintable(answerer.texts.back()));
}

void SpaAnalysisTest::MessageBoxHasTitleNoIconOneButton() {
  SpaAnalysis window;
  MessageBoxSink sink(&window);
  QString title, text, button_text;
  QMessageBox::Icon icon = QMessageBox::Information;
  QList<QAbstractButton*> buttons;
  Qt::TextFormat format = Qt::AutoText;
  std::optional<Qt::CursorShape> cursor;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->buttons();
    button_text = buttons.value(0) != nullptr ? buttons.front()->text() : QString();
    format = box->textFormat();
    if (const QCursor* shown = QGuiApplication::overrideCursor()) cursor = shown->shape();
    box->button(QMessageBox::Ok)->click();
  });
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);  // as during a run
  sink.Show(MessageKind::kConfirmation, ConfirmationText("<b>地块</b>.xlsx", "Sheet1"));
  QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QGuiApplication::restoreOverrideCursor();

  QCOMPARE(title, QStringLiteral("图斑统计汇总"));
  QCOMPARE(icon, QMessageBox::NoIcon);
  QCOMPARE(buttons.size(), 1);
  // Qt's own translation, whatever the locale the test runs under.
  QCOMPARE(button_text, QStringLiteral("确定"));
  QCOMPARE(text, QStringLiteral("确认: 需要统计的工作薄为 <b>地块</b>.xlsx\n"
                                "                工作表为 Sheet1"));
  QCOMPARE(format, Qt::PlainText);
  QCOMPARE(cursor, std::optional<Qt::CursorShape>(Qt::ArrowCursor));
}

// The confirmation and the double-count warning offer 确定 and 取消: Esc (or closing the box)
// cancels both; Enter goes on from the confirmation but not past the warning.
void SpaAnalysisTest::QuestionsCanBeBackedOutOf() {
  SpaAnalysis window;
  MessageBoxSink sink(&window);
  const struct {
    bool confirmation;
    Qt::Key key;
    bool goes_on;
  } cases[] = {{true, Qt::Key_Return, true},
               {true, Qt::Key_Escape, false},
               {false, Qt::Key_Return, false},
               {false, Qt::Key_Escape, false}};
  for (const auto& c : cases) {
    QStringList buttons;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      for (QAbstractButton* button : box->buttons()) buttons << button->text();
      QTest::keyClick(box, c.key);
    });
    const bool goes_on = c.confirmation ? sink.Confirm(ConfirmationText("地块.xlsx", "Sheet1"))
                                        : sink.Ask("注意: 第 12-20 行是先前一次统计写入的汇总结果");
    QCOMPARE(goes_on, c.goes_on);
    buttons.sort();
    QCOMPARE(buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
  }
}

// Everything kept comes back in a new window: on a workbook, then on a layer with its layer,
// filter and reports; a source that went away is not chosen again.
void SpaAnalysisTest::ChoicesComeBackAtTheNextStart() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("地块.xlsx"));
  QVERIFY(QFile::copy(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"), path));
  SpaAnalysis window;
  window.SetWorkbook(path);
  for (const char* name : {"CheckTDLY", "OptClassB_2008", "CheckSplitK", "CheckTotals", "CheckZTGH",
                           "IsNewGH", "ChkNumArea", "CheckZQDM2MC"}) {
    ButtonOf(window, name)->click();
  }
  for (const char* name : {"TextZQColumn", "TextClassTable", "TextKCXSColumn", "TextDecimals"}) {
    window.findChild<QLineEdit*>(name)->setText(QStringLiteral("7列"));
  }
  window.findChild<QComboBox*>("ListUnit")->setCurrentIndex(2);
  std::unique_ptr<SpaAnalysis> next = NextStart(window);
  QVERIFY(next->Snapshot() == window.Snapshot());
  QCOMPARE(next->workbook(), window.workbook());

  // A list entry in place of the option, and a layer source.
  const std::string gpkg = dir.filePath(QStringLiteral("图斑.gpkg")).toStdString();
  QVERIFY(std::system(("ogr2ogr -q -f GPKG -a_srs EPSG:4547 -oo KEEP_GEOM_COLUMNS=NO -nln a '" +
                       gpkg + "' '" QUILMARK_GUI_TEST_DATA "/../gis/patches.csv' && ogr2ogr -q " +
                       "-f GPKG -update -nln b '" + gpkg + "' '" QUILMARK_GUI_TEST_DATA +
                       "/../gis/patches.csv'")
                          .c_str()) == 0);
  next->SetWorkbook(QString::fromStdString(gpkg));
  next->findChild<QComboBox*>("ListLandUse")->setCurrentIndex(2);
  next->findChild<QComboBox*>("ListLayer")->setCurrentText("b");
  next->findChild<QLineEdit*>("TextWhere")->setText("TBMJ > 1");
  ButtonOf(*next, "CheckReport_major")->click();
  next->findChild<QComboBox*>("ListReportLevel")->setCurrentIndex(0);
  std::unique_ptr<SpaAnalysis> third = NextStart(*next);
  QVERIFY(third->Snapshot() == next->Snapshot());
  QCOMPARE(third->workbook(), next->workbook());
  QCOMPARE(LayerAndFilter(*third), QStringLiteral("b|TBMJ > 1"));

  QVERIFY(QFile::remove(QString::fromStdString(gpkg)));
  std::unique_ptr<SpaAnalysis> fourth = NextStart(*third);
  QVERIFY(!fourth->workbook());
  QVERIFY(fourth->Snapshot() == third->Snapshot());
  QCOMPARE(fourth->recent().front(), QString::fromStdString(gpkg));
}

// The latest chosen first, each once, at most eight; the list comes back at the next start, and
// choosing an entry chooses that file; one that went away is listed but cannot be chosen.
void SpaAnalysisTest::RecentListKeepsTheLatestEight() {
  QTemporaryDir dir;
  QStringList paths;
  for (int i = 0; i < 10; ++i) {
    paths.push_back(dir.filePath(QStringLiteral("第%1.xlsx").arg(i)));
    QVERIFY(QFile::copy(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"), paths.back()));
  }
  SpaAnalysis window;
  for (const QString& path : paths) window.SetWorkbook(path);
  window.SetWorkbook(paths[4]);
  const QStringList expected = {paths[4], paths[9], paths[8], paths[7],
                                paths[6], paths[5], paths[3], paths[2]};
  QCOMPARE(window.recent(), expected);
  QVERIFY(QFile::remove(paths[7]));
  std::unique_ptr<SpaAnalysis> next = NextStart(window);
  QCOMPARE(next->recent(), expected);

  ButtonOf(*next, "CommandRecent")->click();
  auto* menu = next->findChild<QMenu*>("MenuRecent");
  const QList<QAction*> entries = menu->actions();
  menu->close();
  QCOMPARE(entries.size(), 8);
  QVERIFY(!entries[3]->isEnabled());
  entries[6]->trigger();
  QCOMPARE(next->workbook()->string(), paths[3].toStdString());
  QCOMPARE(next->recent().front(), paths[3]);
}

// 恢复默认 sets every control back to how a new window shows it, chooses no source and forgets
// the kept choices, but not the recent list.
void SpaAnalysisTest::RestoreDefaultsResetsEveryControl() {
  const QString path = QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx");
  SpaAnalysis window;
  window.SetWorkbook(path);
  for (const char* name : {"CheckTDLY", "OptQSXZ_ED", "CheckSplitK", "CheckTotals", "CheckZTGH",
                           "IsAllZone", "CheckZQStat", "CheckReport_level2"}) {
    ButtonOf(window, name)->click();
  }
  for (const char* name : {"TextAreaColumn", "TextClassTable", "TextKCXSColumn", "TextDecimals"}) {
    window.findChild<QLineEdit*>(name)->setText(QStringLiteral("9"));
  }
  window.findChild<QComboBox*>("ListUnit")->setCurrentIndex(1);
  window.findChild<QComboBox*>("ListReportLevel")->setCurrentIndex(2);
  window.SaveSettings();
  const RunOptions chosen = window.Snapshot();
  {  // asked first; 取消 keeps every choice
    BoxAnswerer answerer(QStringLiteral("Cancel"));
    ButtonOf(window, "CommandDefaults")->click();
    QCOMPARE(answerer.texts.size(), 1);
  }
  QVERIFY(window.Snapshot() == chosen);
  QVERIFY(window.workbook());
  {
    BoxAnswerer answerer(QStringLiteral("OK"));
    ButtonOf(window, "CommandDefaults")->click();
  }
  QVERIFY(window.Snapshot() == SpaAnalysis().Snapshot());
  QVERIFY(!window.workbook());
  QVERIFY(!ButtonOf(window, "OptQSXZ_ED")->isEnabled());
  QCOMPARE(window.recent(), QStringList{path});

  SpaAnalysis next;
  next.LoadSettings();
  QVERIFY(next.Snapshot() == SpaAnalysis().Snapshot());
  QVERIFY(!next.workbook());
  QCOMPARE(next.recent(), QStringList{path});
}

// The chosen source's first rows take the picture's place, under the column letters of a sheet or
// the field names of a layer; the columns can then be given by their letters.
void SpaAnalysisTest::PreviewShowsTheFirstRowsAndLettersNameColumns() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("地块.xlsx"));
  QVERIFY(QFile::copy(QString::fromUtf8(QUILMARK_GUI_TEST_DATA "/zones.xlsx"), path));
  const std::string gpkg = dir.filePath(QStringLiteral("图斑.gpkg")).toStdString();
  QVERIFY(std::system(("ogr2ogr -q -f GPKG -a_srs EPSG:4547 -oo KEEP_GEOM_COLUMNS=NO '" + gpkg +
                       "' '" QUILMARK_GUI_TEST_DATA "/../gis/patches.csv'")
                          .c_str()) == 0);
  SpaAnalysis window;
  auto* table = window.findChild<QTableWidget*>("TablePreview");
  auto* picture = window.findChild<QLabel*>("PictureExample");
  QVERIFY(table->isHidden() && !picture->isHidden());
  const struct {
    QString source;
    QString header;
    QString first;
  } cases[] = {{path, QStringLiteral("A (1)"), QStringLiteral("A")},
               {QString::fromStdString(gpkg), QStringLiteral("ZLDWDM"),
                QStringLiteral("4419001010000000001")}};
  for (const auto& c : cases) {
    window.SetWorkbook(c.source);
    const auto first_header = [table] {
      return table->columnCount() > 0 ? table->horizontalHeaderItem(0)->text() : QString();
    };
    QTRY_COMPARE(first_header(), c.header);
    QVERIFY(!table->isHidden() && picture->isHidden());
    QCOMPARE(table->item(0, 0)->text(), c.first);
    QCOMPARE(table->rowCount(), c.source == path ? 3 : 8);
  }
  // A first look at the layer's class codes marks their family in the method list.
  window.findChild<QLineEdit*>("TextDKStyleColumn")->setText(QStringLiteral("DLBM"));
  window.SetWorkbook(QString::fromStdString(gpkg));
  QTRY_VERIFY(window.findChild<QComboBox*>("ListLandUse")
                  ->findText(QStringLiteral("── 第三次国土调查 工作分类 ── (数据的代码像这一类)")) >
              0);
  window.SetWorkbook(QString());
  QTRY_VERIFY(table->isHidden() && !picture->isHidden());
  window.findChild<QLineEdit*>("TextDKStyleColumn")->setText(QStringLiteral("2"));

  window.SetWorkbook(path);
  RecordingSink sink;
  window.SetMessageSink(&sink);
  window.findChild<QLineEdit*>("TextZQColumn")->setText(QStringLiteral("a"));
  window.findChild<QLineEdit*>("TextAreaColumn")->setText(QStringLiteral("C"));
  ButtonOf(window, "CheckZQStat")->click();
  ButtonOf(window, "CommandProc")->click();
  // (into a new workbook: the layer chosen before made that the choice)
  QVERIFY(QString::fromStdString(sink.texts().back()).startsWith(QStringLiteral("统计完毕")));
}

}  // namespace quilmark

int main(int argc, char** argv) {
  // The windows keep their settings in a folder of their own, never in the user's, and every
  // run of the tests starts with none kept.
  QStandardPaths::setTestModeEnabled(true);
  QTemporaryDir settings;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  QApplication app(argc, argv);
  quilmark::ApplyAppearance(app);
  quilmark::SpaAnalysisTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "spa_analysis_test.moc"
