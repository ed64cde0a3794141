#include "src/app/main_window.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHash>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleFactory>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "src/app/chinese_ui.h"
#include "src/app/columns.h"
#include "src/app/desktop_open.h"
#include "src/app/land_use_choice.h"
#include "src/app/layer_field_boxes.h"
#include "src/app/layer_input.h"
#include "src/app/layer_parts.h"
#include "src/app/first_rows_view.h"
#include "src/app/report_rows.h"
#include "src/app/run_in_background.h"
#include "src/app/run_input.h"
#include "src/app/run_progress.h"
#include "src/app/run_request.h"
#include "src/app/run_target.h"
#include "src/host/layer_path.h"
#include "src/landuse/class_families.h"
#include "src/masterplan/planning_methods.h"
#include "src/output/new_workbook.h"
#include "src/resources/window_controls.h"

// The example picture is compiled into this static library; a program linking it must register
// it before use.
static void InitWindowResources() { Q_INIT_RESOURCE(quilmark_window); }

namespace quilmark {
namespace {

constexpr int kNotePitch = 12;  // the usage note's three lines fill its 36 pixels exactly
constexpr int kRowGap = 5;  // between the client area of the listed controls and the workbook row
constexpr int kRowHeight = 22;  // the workbook row, as tall as the buttons
constexpr int kBottomMargin = 5;

// The options a task's check box enables and disables, besides the land-use methods' buttons.
constexpr const char* kLandUseControls[] = {"CheckZQDM2MC"};

// Twips to pixels at 96 dots per inch, to the nearest pixel.
constexpr int Px(int twips) { return (twips * 2 + 15) / 30; }

QRect PxRect(const ControlEntry& entry) {
  return QRect(Px(entry.left), Px(entry.top), Px(entry.width), Px(entry.height));
}

// Lays the text out in lines of the given width, breaking at word boundaries, which fall between
// any two Chinese characters.
void LayOutLines(QTextLayout& layout, qreal width, int pitch, qreal baseline) {
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  for (int i = 0;; ++i) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(width);
    line.setPosition(QPointF(0, i * pitch + baseline - line.ascent()));
  }
  layout.endLayout();
}

// Where no workbook is chosen and no office answers (or none can be reached in this build), the
// user has most likely not chosen one yet: ask for it instead of reporting the missing office.
class AskForWorkbookSink final : public RelaySink {
 public:
  AskForWorkbookSink(MessageSink& sink, bool chosen) : RelaySink(sink), chosen_(chosen) {}
  void Show(MessageKind kind, std::string_view text) override {
    const bool no_office = kind == MessageKind::kStop &&
                           (text == MessageText(StopReason::kNoApplication) ||
                            (!LiveOfficeBuiltIn() && text == MessageText(StopReason::kNoWorkbook)));
    sink_.Show(kind, !chosen_ && no_office ? std::string_view(kChooseWorkbookFirst) : text);
  }

 private:
  bool chosen_;
};

// Where the method list keeps, for a method an option button chooses, that button's name, and
// for a family's heading the start of its methods' names and the family's title.
constexpr int kMethodButtonRole = Qt::UserRole + 1;
constexpr int kGroupPrefixRole = Qt::UserRole + 2;
constexpr int kGroupTitleRole = Qt::UserRole + 3;

QString HeadingText(const QString& title, bool likely) {
  return QStringLiteral("── %1 ──").arg(title) +
         (likely ? QStringLiteral(" (数据的代码像这一类)") : QString());
}

// The families the method list groups the methods into, by the start of their command-line names.
constexpr std::pair<std::string_view, const char*> kMethodGroups[] = {
    {"2008-", "2008 土地分类"},
    {"survey-", "第二次土地调查"},
    {"survey3-", "第三次国土调查 工作分类"},
    {"2017-", "土地利用现状分类 2017"},
    {"plan2023-", "国土空间用地用海分类 2023"},
    {"plan2020-", "国土空间用地用海分类 2020 (试行)"},
};

// The caption the window's control of that name shows.
std::string ControlCaption(std::string_view name) {
  for (const ControlEntry& entry : kWindowControls) {
    if (name == entry.name) return entry.caption;
  }
  return std::string(name);
}

// Every land-use method in one list, under a heading per family that cannot itself be chosen: an
// option button's method by the button's caption, with the button's name kept.
void FillMethodList(QComboBox& list) {
  auto* model = new QStandardItemModel(&list);
  model->appendRow(new QStandardItem(QStringLiteral("(不使用, 按上方选项统计)")));
  for (const auto& [prefix, title] : kMethodGroups) {
    auto* heading = new QStandardItem(HeadingText(QString::fromUtf8(title), false));
    heading->setFlags(Qt::NoItemFlags);
    heading->setData(QString::fromUtf8(prefix.data(), static_cast<qsizetype>(prefix.size())),
                     kGroupPrefixRole);
    heading->setData(QString::fromUtf8(title), kGroupTitleRole);
    QFont bold = list.font();
    bold.setBold(true);
    heading->setFont(bold);
    model->appendRow(heading);
    for (const LandUseMethodEntry& method : LandUseMethods()) {
      if (!method.cli_name.starts_with(prefix)) continue;
      const std::string control(method.control);
      const bool button = method.control_kind == MethodControl::kOptionButton;
      auto* item = new QStandardItem(QString::fromUtf8(button ? ControlCaption(control) : control));
      if (button) item->setData(QString::fromStdString(control), kMethodButtonRole);
      model->appendRow(item);
    }
  }
  list.setModel(model);
}

// false where `result` exists and the user does not want it replaced: the run then writes nothing.
bool ReplaceResultAsked(const std::filesystem::path& result, MessageSink& sink) {
  std::error_code error;
  if (!std::filesystem::exists(result, error)) return true;
  return sink.Ask("结果工作簿已存在: " + result.string() +
                  "\n确定: 替换它; 取消: 不统计, 原文件保持不变。");
}

// A listed control of its kind in `container`, with its caption and look; its name, place, frame
// and option group are the caller's.
QWidget* NewControl(const ControlEntry& entry, QWidget* container) {
  const QString caption = QString::fromUtf8(entry.caption);
  switch (entry.kind) {
    case ControlKind::kLabel: {
      auto* label = new QLabel(caption, container);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      return label;
    }
    case ControlKind::kNote:
      return new FixedPitchLabel(caption, kNotePitch, container);
    case ControlKind::kPicture: {
      auto* picture = new QLabel(container);
      picture->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      picture->setPixmap(QPixmap(QString::fromUtf8(kExamplePicture)));
      return picture;
    }
    case ControlKind::kTextBox: {
      auto* text = new QLineEdit(caption, container);
      text->setTextMargins(0, 0, 0, 0);
      return text;
    }
    case ControlKind::kFrame:
      return new QGroupBox(container);
    case ControlKind::kCheckBox:
      return new QCheckBox(caption, container);
    case ControlKind::kOption:
      return new QRadioButton(caption, container);
    case ControlKind::kButton:
      return new QPushButton(caption, container);
  }
  return nullptr;
}

// A label of the window's own rows, its text centred in the row's height.
void AddRowLabel(QWidget& window, const char* text, int x, int y, int width) {
  auto* shown = new QLabel(QString::fromUtf8(text), &window);
  shown->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  shown->setGeometry(x, y, width, kRowHeight);
}

QLineEdit* AddRowLine(QWidget& window, const char* name, int x, int y, int width) {
  auto* edit = new QLineEdit(&window);
  edit->setObjectName(QString::fromUtf8(name));
  edit->setGeometry(x, y, width, kRowHeight);
  return edit;
}

// The user's own classification table: its file, typed or chosen with 选择....
void BuildClassTableRow(QWidget& window, int left, int right, int top) {
  AddRowLabel(window, "自定义分类表:", left, top, 84);
  QLineEdit* table = AddRowLine(window, "TextClassTable", left + 84, top, right - left - 84 - 66);
  auto* choose = new QPushButton(QStringLiteral("选择..."), &window);
  choose->setObjectName(QStringLiteral("CommandChooseTable"));
  choose->setGeometry(right - 60, top, 60, kRowHeight);
  QObject::connect(choose, &QAbstractButton::clicked, &window, [&window, table] {
    const QString path = QFileDialog::getOpenFileName(
        &window, QStringLiteral("选择分类表"), QString(), QStringLiteral("分类表 (*.tsv *.txt)"),
        nullptr, QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty()) table->setText(path);
  });
}

// The deduction coefficient's column, the area unit, the decimals and the totals.
void BuildDeductionRow(QWidget& window, int left, int right, int top) {
  AddRowLabel(window, "田坎系数列号", left, top, 76);
  AddRowLine(window, "TextKCXSColumn", left + 76, top, 34);
  AddRowLabel(window, "面积单位", left + 122, top, 52);
  auto* unit = new QComboBox(&window);
  unit->setObjectName(QStringLiteral("ListUnit"));
  unit->addItems({QStringLiteral("平方米"), QStringLiteral("公顷"), QStringLiteral("亩")});
  unit->setGeometry(left + 174, top, 64, kRowHeight);
  AddRowLabel(window, "小数位", left + 250, top, 40);
  AddRowLine(window, "TextDecimals", left + 290, top, 28);
  auto* totals = new QCheckBox(QStringLiteral("合计"), &window);
  totals->setObjectName(QStringLiteral("CheckTotals"));
  totals->setGeometry(right - 52, top, 52, kRowHeight);
}

// The column boxes that take a layer's field names.
const std::vector<const char*> kFieldBoxes = {"TextZQColumn", "TextDKStyleColumn", "TextAreaColumn",
                                              "TextKCXSColumn"};

// The 选择... dialog's filters, the first chosen at start: the layer files it offers, by kind.
QString InputFilters() {
  QString all = QStringLiteral("*.xlsx"), maps, tables;
  for (const LayerExtension& layer : LayerExtensions()) {
    if (layer.offer == LayerFileOffer::kNotOffered) continue;
    const QString pattern =
        "*" + QString::fromUtf8(layer.extension.data(), static_cast<int>(layer.extension.size()));
    all += " " + pattern;
    QString& kind = layer.offer == LayerFileOffer::kMap ? maps : tables;
    kind += (kind.isEmpty() ? "" : " ") + pattern;
  }
  return QStringLiteral("所有支持的文件 (%1);;Excel 工作簿 (*.xlsx);;GIS 图层 (%2);;表格图层 (%3)")
      .arg(all, maps, tables);
}

bool IsLayer(const std::filesystem::path& path) { return IsLayerPath(path.string()); }

std::filesystem::path PathOf(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// The inputs a drop offers: one local .xlsx file or layer source (a .gdb folder included), or
// several layer sources; else nothing.
QStringList DroppedSources(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls()) return {};
  QStringList paths;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) return {};
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(QChar('/'))) path.chop(1);  // a folder's URL
    const bool layer = IsLayer(PathOf(path));
    if (!layer && !(path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive) &&
                    mime->urls().size() == 1)) {
      return {};
    }
    paths.push_back(path);
  }
  return paths;
}

}  // namespace

void ApplyAppearance(QApplication& app) {
  QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"));
  if (style != nullptr) {
    QApplication::setStyle(style);
    QApplication::setPalette(style->standardPalette());
  }
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(12);
  app.setFont(font);
  UseChineseForQt(app);
}

int WrappedLineCount(const QString& text, const QFont& font, int width) {
  QTextLayout layout(text, font);
  LayOutLines(layout, width, 0, 0);
  return layout.lineCount();
}

namespace {

// The window's and its boxes' title: the program as the desktop's menu names it.
QString ProgramTitle() { return QStringLiteral("图斑统计汇总"); }

// A modal box under the program's title with the text as plain text (workbook and sheet names are
// the user's: never read as markup); a lone carriage return, as the confirmation separates its
// lines, starts a new line. The box waits with the ordinary cursor, whatever the run shows. Returns
// the button pressed; Esc or closing the box gives Cancel where there is one.
int ShowBox(QWidget* parent, QMessageBox::Icon icon, std::string_view text,
            QMessageBox::StandardButtons buttons, QMessageBox::StandardButton default_button) {
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
  QMessageBox box(icon, ProgramTitle(), shown, buttons, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(default_button);
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  QGuiApplication::restoreOverrideCursor();
  return answer;
}

}  // namespace

void MessageBoxSink::Show(MessageKind kind, std::string_view text) {
  if (kind != MessageKind::kCompletion || result_file_.isEmpty()) {
    ShowBox(parent_, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
    return;
  }
  ShowCompletion(text);
}

// One box for the end of a run: the completion, then every warning, instead of a box each.
void MessageBoxSink::Complete(std::string_view completion,
                              const std::vector<std::string>& warnings) {
  std::string text(completion);
  for (const std::string& warning : warnings) text += (text.empty() ? "" : "\n\n") + warning;
  Show(MessageKind::kCompletion, text);
}

// The completion with the result file named (where the text does not name it already) and two
// buttons that open it or its folder with the desktop's handler; either closes the box.
void MessageBoxSink::ShowCompletion(std::string_view text) {
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QString native = QDir::toNativeSeparators(result_file_);
  if (!shown.contains(native)) shown += QStringLiteral("\n结果文件: ") + native;
  QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), shown, QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  QPushButton* open = box.addButton(QStringLiteral("打开结果"), QMessageBox::ActionRole);
  open->setObjectName(QStringLiteral("CommandOpenResult"));
  QPushButton* folder = box.addButton(QStringLiteral("打开所在文件夹"), QMessageBox::ActionRole);
  folder->setObjectName(QStringLiteral("CommandOpenFolder"));
  box.setDefaultButton(QMessageBox::Ok);
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  QGuiApplication::restoreOverrideCursor();
  const bool whole = box.clickedButton() == open;
  if (!whole && box.clickedButton() != folder) return;
  const QString target = whole ? result_file_ : QFileInfo(result_file_).absolutePath();
  // Where the desktop has nothing to open it with, the user learns so rather than seeing nothing.
  if (OpenOnDesktop(target)) return;
  const QString file = QDir::toNativeSeparators(result_file_);
  const QString said =
      whole ? QStringLiteral(
                  "这台电脑上没有能打开 %1 的程序。结果已经保存在这个文件中, 请安装电子表格"
                  "程序 (如 LibreOffice Calc) 后打开它, 或把它复制到装有电子表格程序的电脑上。")
                  .arg(file)
            : QStringLiteral(
                  "这台电脑上没有能打开文件夹 %1 的程序。结果已经保存在 %2, 请在文件管理器"
                  "或电子表格程序的 打开 对话框中找到它。")
                  .arg(QDir::toNativeSeparators(target), file);
  ShowBox(parent_, QMessageBox::NoIcon, said.toStdString(), QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxSink::Ask(std::string_view warning) {
  return ShowBox(parent_, QMessageBox::Warning, warning, QMessageBox::Ok | QMessageBox::Cancel,
                 QMessageBox::Cancel) == QMessageBox::Ok;
}

bool MessageBoxSink::Confirm(std::string_view text) {
  return ShowBox(parent_, QMessageBox::NoIcon, text, QMessageBox::Ok | QMessageBox::Cancel,
                 QMessageBox::Ok) == QMessageBox::Ok;
}

FixedPitchLabel::FixedPitchLabel(const QString& text, int pitch, QWidget* parent)
    : QLabel(text, parent), pitch_(pitch) {
  setWordWrap(true);
}

void FixedPitchLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  const QFontMetricsF metrics(font());
  // Each baseline sits so that the font's ascent and descent are centred on its line.
  const qreal baseline = (pitch_ + metrics.ascent() - metrics.descent()) / 2;
  QTextLayout layout(text(), font());
  const QRect area = contentsRect();
  LayOutLines(layout, area.width(), pitch_, baseline);
  layout.draw(&painter, area.topLeft());
}

SpaAnalysis::SpaAnalysis(QWidget* parent)
    : QWidget(parent), box_sink_(std::make_unique<MessageBoxSink>(this)) {
  InitWindowResources();
  setObjectName(QStringLiteral("SpaAnalysis"));
  setWindowTitle(ProgramTitle());
  QIcon icon;
  for (int size : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/quilmark/icons/quilmark-%1.png").arg(size));
  }
  setWindowIcon(icon);
  setAcceptDrops(true);
  BuildControls();
  // The workbook row sits below the client area the listed controls were drawn for.
  const int row_top = Px(kClientHeightTwips) + kRowGap;
  BuildWorkbookRow(row_top);
  const int result_top = row_top + kRowHeight + kRowGap;
  BuildResultRow(result_top);
  const int classification_bottom = BuildClassificationRows(result_top + kRowHeight + kRowGap);
  // The layer rows sit below everything drawn before them.
  layer_boxes_ =
      new LayerFieldBoxes(*this, Px(240), Px(120 + 5830), classification_bottom + kRowGap,
                          kRowHeight, kRowGap, kFieldBoxes);
  connect(layer_boxes_->folder_button(), &QAbstractButton::clicked, this,
          &SpaAnalysis::ChooseFolderClick);
  // The 统计报表 group below the layer rows.
  report_rows_ =
      new ReportRows(*this, Px(240), Px(120 + 5830), layer_boxes_->bottom() + kRowGap, kRowHeight);
  const int bottom = report_rows_->bottom();
  preview_ = new PreviewTable(*findChild<QLabel*>(QStringLiteral("PictureExample")));
  connect(preview_, &PreviewTable::Filled, this, &SpaAnalysis::SuggestMethodFamily);
  // The progress covers the workbook's row while a run goes on, the buttons the run disables
  // included, so that its line has room for the rows read and the time left.
  progress_ = new RunProgress(this);
  progress_->setGeometry(
      workbook_name_->geometry().united(Button("CommandChooseWorkbook")->geometry()));
  setFixedSize(Px(kClientWidthTwips), bottom + kBottomMargin);
  // The start state of the options follows from the unticked task boxes.
  CheckTDLYClick(false);
  CheckZTGHClick(false);
  defaults_ = ReadControls(*this);
  // Everything chosen would be lost: the user agrees first (the box's default is 取消).
  connect(Button("CommandDefaults"), &QAbstractButton::clicked, this, [this] {
    MessageSink& shown = sink_ != nullptr ? *sink_ : *box_sink_;
    if (shown.Ask("恢复默认: 所有选项、列号和统计方式都回到开始时的样子, 选择的工作簿或图层也"
                  "一并清除 (最近使用的文件列表保留)。确定要恢复默认吗?")) {
      RestoreDefaults();
    }
  });
  connect(qApp, &QCoreApplication::aboutToQuit, this, &SpaAnalysis::SaveSettings);
}

SpaAnalysis::~SpaAnalysis() = default;

void SpaAnalysis::BuildControls() {
  QHash<QString, QWidget*> frames;
  QHash<QString, QButtonGroup*> option_groups;
  for (const ControlEntry& entry : kWindowControls) {
    QWidget* container = entry.container == nullptr ? this : frames.value(entry.container);
    QWidget* control = NewControl(entry, container);
    if (entry.kind == ControlKind::kFrame) frames.insert(entry.name, control);
    if (entry.kind == ControlKind::kOption) {
      // One exclusive group per frame; none is chosen at start.
      QButtonGroup*& group = option_groups[entry.container];
      if (group == nullptr) group = new QButtonGroup(this);
      group->addButton(static_cast<QAbstractButton*>(control));
    }
    control->setObjectName(QString::fromUtf8(entry.name));
    control->setGeometry(PxRect(entry));
  }

  connect(Button("CheckTDLY"), &QAbstractButton::toggled, this, &SpaAnalysis::CheckTDLYClick);
  connect(Button("CheckZTGH"), &QAbstractButton::toggled, this, &SpaAnalysis::CheckZTGHClick);
  connect(Button("CommandProc"), &QAbstractButton::clicked, this, &SpaAnalysis::CommandProcClick);
  connect(Button("CommandCheck"), &QAbstractButton::clicked, this, &SpaAnalysis::CommandCheckClick);
  connect(Button("CommandExit"), &QAbstractButton::clicked, this, &SpaAnalysis::CommandExitClick);
}

void SpaAnalysis::BuildWorkbookRow(int top) {
  // Lined up with the column-number labels on the left and the frames' right edge.
  const int left = Px(240);
  const int right = Px(120 + 5830);
  const int button_width = 60;

  auto* label = new QLabel(QString::fromUtf8(kWorkbookLabel), this);
  label->setObjectName(QStringLiteral("LbWorkbook"));
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const int label_width = label->sizeHint().width() + 4;
  label->setGeometry(left, top, label_width, kRowHeight);

  workbook_name_ = new QLabel(this);
  workbook_name_->setObjectName(QStringLiteral("LbWorkbookName"));
  workbook_name_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  workbook_name_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  workbook_name_->setIndent(4);
  workbook_name_->setTextFormat(Qt::PlainText);
  const int name_left = left + label_width;
  const int recent_width = 40;
  workbook_name_->setGeometry(name_left, top, right - button_width - recent_width - 12 - name_left,
                              kRowHeight);

  auto* recent = new QPushButton(QString::fromUtf8(kRecentWorkbooks), this);
  recent->setObjectName(QStringLiteral("CommandRecent"));
  recent->setToolTip(QStringLiteral("最近选择过的工作簿和图层"));
  recent->setGeometry(right - button_width - 6 - recent_width, top, recent_width, kRowHeight);
  recent_menu_ = new QMenu(recent);
  recent_menu_->setObjectName(QStringLiteral("MenuRecent"));
  connect(recent, &QAbstractButton::clicked, this, &SpaAnalysis::ShowRecentMenu);

  auto* choose = new QPushButton(QString::fromUtf8(kChooseWorkbook), this);
  choose->setObjectName(QStringLiteral("CommandChooseWorkbook"));
  choose->setGeometry(right - button_width, top, button_width, kRowHeight);
  connect(choose, &QAbstractButton::clicked, this, &SpaAnalysis::ChooseWorkbookClick);
}

// Where a workbook's result goes: below its data (saved into the file), or into a new workbook
// beside it, as a layer's always does.
void SpaAnalysis::BuildResultRow(int top) {
  const int left = Px(240);
  auto* label = new QLabel(QStringLiteral("结果写入:"), this);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setGeometry(left, top, 60, kRowHeight);
  auto* below = new QRadioButton(QStringLiteral("原工作表数据下方"), this);
  below->setObjectName(QStringLiteral("OptBelowData"));
  below->setChecked(true);
  below->setGeometry(left + 60, top, 130, kRowHeight);
  auto* separate = new QRadioButton(QStringLiteral("新的工作簿 (…-汇总.xlsx)"), this);
  separate->setObjectName(QStringLiteral("OptNewWorkbook"));
  separate->setToolTip(QStringLiteral("结果写入工作簿旁边新的 …-汇总.xlsx, 原工作簿保持不变"));
  separate->setGeometry(left + 196, top, 180, kRowHeight);
  auto* group = new QButtonGroup(this);
  group->addButton(below);
  group->addButton(separate);
}

QAbstractButton* SpaAnalysis::Button(const char* name) const {
  return findChild<QAbstractButton*>(QString::fromUtf8(name));
}

bool SpaAnalysis::IsTicked(const char* name) const {
  // A grayed check box counts as not selected.
  if (auto* check = findChild<QCheckBox*>(QString::fromUtf8(name))) {
    return check->checkState() == Qt::Checked;
  }
  return Button(name)->isChecked();
}

// The list of every method in the land-use group's last row, beside 转换镇区代码为名称, so that
// it stays with the group's options wherever the window puts the group; its entries, which are
// longer than the row, show whole in the open list and in the tooltip.
void SpaAnalysis::BuildMethodList() {
  QWidget& frame = *findChild<QWidget*>(QStringLiteral("FrameTDLY"));
  const QRect convert = Button("CheckZQDM2MC")->geometry();
  const int top = convert.center().y() - kRowHeight / 2;
  const int left = Px(240);
  AddRowLabel(frame, "统计方式:", left, top, 56);
  land_use_list_ = new QComboBox(&frame);
  land_use_list_->setObjectName(QStringLiteral("ListLandUse"));
  FillMethodList(*land_use_list_);
  land_use_list_->setGeometry(left + 56, top, convert.left() - left - 62, kRowHeight);
  land_use_list_->view()->setMinimumWidth(land_use_list_->view()->sizeHintForColumn(0) + 24);
  land_use_list_->setToolTip(land_use_list_->currentText());
  connect(land_use_list_, &QComboBox::currentTextChanged, land_use_list_, &QComboBox::setToolTip);
}

// Below the workbook row: the method list's 带K另列 (an entry chosen in the list clears the option
// buttons above, and an option button clears the list), a user's own table, and the deduction
// column, unit, decimals and totals. Returns the bottom of the last row.
int SpaAnalysis::BuildClassificationRows(int top) {
  const int left = Px(240);
  const int right = Px(120 + 5830);
  BuildMethodList();
  auto* split_k = new QCheckBox(QStringLiteral("带K另列"), this);
  split_k->setObjectName(QStringLiteral("CheckSplitK"));
  split_k->setGeometry(left, top, 72, kRowHeight);
  connect(land_use_list_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index <= 0) return;
    // A method of an option button ticks it; a method only the list has clears them all (the
    // buttons share one exclusive group: lift it to clear them).
    const QString button = land_use_list_->itemData(index, kMethodButtonRole).toString();
    QButtonGroup* group = Button("OptClassC_2008")->group();
    group->setExclusive(false);
    for (QAbstractButton* option : group->buttons()) {
      option->setChecked(option->objectName() == button);
    }
    group->setExclusive(true);
  });
  connect(Button("OptClassC_2008")->group(), &QButtonGroup::buttonClicked, this,
          [this](QAbstractButton* option) {
            const int at = land_use_list_->findData(option->objectName(), kMethodButtonRole);
            land_use_list_->setCurrentIndex(std::max(at, 0));
          });

  top += kRowHeight + kRowGap;
  BuildClassTableRow(*this, left, right, top);
  top += kRowHeight + kRowGap;
  BuildDeductionRow(*this, left, right, top);
  return top + kRowHeight;
}

// After a first look at the chosen source's class texts (the preview's column that the class
// box names), the method list marks the family they most likely come from.
void SpaAnalysis::SuggestMethodFamily() {
  const QString named =
      findChild<QLineEdit*>(QStringLiteral("TextDKStyleColumn"))->text().trimmed();
  int column = -1;
  if (workbook_ && !IsLayer(*workbook_)) {
    column = SheetColumn(named.toStdString()).value_or(0) - 1;
  } else {
    for (int i = 0; i < preview_->columnCount(); ++i) {
      if (preview_->horizontalHeaderItem(i)->text().compare(named, Qt::CaseInsensitive) == 0)
        column = i;
    }
  }
  std::vector<TextArea> texts;
  for (const QString& text : preview_->ColumnTexts(column)) {
    if (!text.trimmed().isEmpty()) texts.push_back({text.trimmed().toStdString(), 1});
  }
  const ClassFamily* family = LikelyFamily(texts);
  const std::string likely =
      family != nullptr ? std::string(MethodEntry(family->level1).cli_name) : "";
  for (int i = 0; i < land_use_list_->count(); ++i) {
    const QString prefix = land_use_list_->itemData(i, kGroupPrefixRole).toString();
    if (prefix.isEmpty()) continue;
    land_use_list_->setItemText(i,
                                HeadingText(land_use_list_->itemData(i, kGroupTitleRole).toString(),
                                            likely.starts_with(prefix.toStdString())));
  }
}

RunOptions SpaAnalysis::Snapshot() const {
  const auto text = [this](const char* name) {
    return findChild<QLineEdit*>(QString::fromUtf8(name))->text().toStdString();
  };
  RunOptions options;
  options.CheckTDLY = IsTicked("CheckTDLY");
  options.CheckZTGH = IsTicked("CheckZTGH");
  options.CheckZQStat = IsTicked("CheckZQStat");
  options.ChkNumArea = IsTicked("ChkNumArea");
  options.CheckZQDM2MC = IsTicked("CheckZQDM2MC");
  for (const LandUseMethodEntry& method : LandUseMethods()) {
    if (method.control_kind != MethodControl::kOptionButton) continue;
    const std::string name(method.control);
    if (bool RunOptions::*field = LandUseOptionField(name)) options.*field = IsTicked(name.c_str());
  }
  // An option button's method is the button's; only a method the list alone has is named by it.
  const int method_at = land_use_list_->currentIndex();
  if (method_at > 0 && land_use_list_->itemData(method_at, kMethodButtonRole).isNull()) {
    options.ListLandUse = land_use_list_->currentText().toStdString();
  }
  options.CheckSplitK = IsTicked("CheckSplitK");
  const auto edit = [this](const char* name) {
    return findChild<QLineEdit*>(QString::fromUtf8(name))->text().trimmed().toStdString();
  };
  options.TextClassTable = edit("TextClassTable");
  options.TextKCXSColumn = edit("TextKCXSColumn");
  options.TextDecimals = edit("TextDecimals");
  constexpr const char* kUnits[] = {"", "ha", "mu"};  // 平方米: as the data holds them
  options.ListUnit = kUnits[findChild<QComboBox*>(QStringLiteral("ListUnit"))->currentIndex()];
  options.CheckTotals = IsTicked("CheckTotals");
  options.IsAllZone = IsTicked("IsAllZone");
  options.IsOldGH = IsTicked("IsOldGH");
  options.IsNewGH = IsTicked("IsNewGH");
  options.TextZQColumn = text("TextZQColumn");
  options.TextDKStyleColumn = text("TextDKStyleColumn");
  options.TextAreaColumn = text("TextAreaColumn");
  report_rows_->Fill(options);
  layer_boxes_->Fill(options);
  return options;
}

void SpaAnalysis::SetWorkbook(const QString& path) {
  more_sources_.clear();
  if (path.isEmpty()) {
    workbook_.reset();
    layer_boxes_->ShowSource(std::nullopt);
    preview_->ShowSource(std::nullopt, "");
    Button("OptBelowData")->setEnabled(true);
    workbook_name_->clear();
    workbook_name_->setToolTip(QString());
    return;
  }
  const QFileInfo file(path);
  const QString absolute = file.absoluteFilePath();
  workbook_ = PathOf(absolute);
  recent_ = WithRecent(recent_, absolute);
  const bool layer = IsLayer(*workbook_);
  layer_boxes_->ShowSource(layer ? std::optional(workbook_->string()) : std::nullopt);
  preview_->ShowSource(workbook_->string(), "");
  // A layer cannot take its result below its data: the choice is a workbook's.
  Button("OptBelowData")->setEnabled(!layer);
  if (layer) Button("OptNewWorkbook")->setChecked(true);
  const int room = workbook_name_->contentsRect().width() - 2 * workbook_name_->indent();
  workbook_name_->setText(
      workbook_name_->fontMetrics().elidedText(file.fileName(), Qt::ElideMiddle, room));
  workbook_name_->setToolTip(QDir::toNativeSeparators(absolute));
}

bool SpaAnalysis::SetSources(const QStringList& paths) {
  if (paths.isEmpty()) return false;
  for (const QString& path : paths) {
    if (!IsLayer(PathOf(QFileInfo(path).absoluteFilePath()))) return false;
  }
  SetWorkbook(paths.front());
  if (paths.size() == 1) return true;
  for (qsizetype i = 1; i < paths.size(); ++i) {
    more_sources_.push_back(PathOf(QFileInfo(paths[i]).absoluteFilePath()));
  }
  const QString text =
      QStringLiteral("%1 等 %2 个图层").arg(QFileInfo(paths.front()).fileName()).arg(paths.size());
  const int room = workbook_name_->contentsRect().width() - 2 * workbook_name_->indent();
  workbook_name_->setText(workbook_name_->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
  QStringList tip;
  for (const QString& path : paths) tip.push_back(QDir::toNativeSeparators(path));
  workbook_name_->setToolTip(tip.join(QChar('\n')));
  return true;
}

void SpaAnalysis::dragEnterEvent(QDragEnterEvent* event) {
  if (!running_ && !DroppedSources(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void SpaAnalysis::dropEvent(QDropEvent* event) {
  if (running_) return;
  const QStringList paths = DroppedSources(event->mimeData());
  if (paths.size() == 1) SetWorkbook(paths.front());
  if (paths.size() > 1) SetSources(paths);
  if (!paths.isEmpty()) event->acceptProposedAction();
}

// Enabling never changes an option's value: a chosen option stays chosen while it is disabled.
void SpaAnalysis::CheckTDLYClick(bool ticked) {
  for (const LandUseMethodEntry& method : LandUseMethods()) {
    if (method.control_kind != MethodControl::kOptionButton) continue;
    Button(std::string(method.control).c_str())->setEnabled(ticked);
  }
  for (const char* name : kLandUseControls) Button(name)->setEnabled(ticked);
  for (const char* name :
       {"ListLandUse", "CheckSplitK", "TextClassTable", "CommandChooseTable", "TextKCXSColumn"}) {
    findChild<QWidget*>(QString::fromUtf8(name))->setEnabled(ticked);
  }
}

void SpaAnalysis::CheckZTGHClick(bool ticked) {
  for (const PlanningMethodEntry& entry : PlanningMethods()) {
    Button(std::string(entry.control).c_str())->setEnabled(ticked);
  }
}

RunRequest SpaAnalysis::RequestSnapshot() const {
  RunRequest request;
  request.options = Snapshot();
  if (workbook_) request.input.sources.push_back(workbook_->string());
  for (const auto& source : more_sources_) request.input.sources.push_back(source.string());
  layer_boxes_->Fill(request.input);
  // A layer's tables go into a new workbook beside it; a workbook's when the user chose so.
  if (workbook_ && !IsLayerInput(request.input) && IsTicked("OptNewWorkbook")) {
    request.output.target = "xlsx";
  }
  return request;
}

void SpaAnalysis::CommandCheckClick() {
  if (running_) return;
  RunRequest request = RequestSnapshot();
  request.options.CheckOnly = true;
  request.output.target.clear();  // no file: the findings come in the completion's box
  StartRun(std::move(request));
}

void SpaAnalysis::CommandProcClick() {
  if (running_) return;
  StartRun(RequestSnapshot());
}

void SpaAnalysis::StartRun(RunRequest request) {
  SaveSettings();
  MessageSink& shown = sink_ != nullptr ? *sink_ : *box_sink_;
  AskForWorkbookSink sink(shown, workbook_.has_value());
  const bool check_only = request.options.CheckOnly;
  const std::optional<std::filesystem::path> result =
      check_only ? std::nullopt : ResultFile(request);
  const bool separate = !check_only && !TargetName(request).empty();
  if (separate && !result) {  // a source that is no path (a database) has no file beside it
    shown.Show(MessageKind::kStop,
               "数据库连接没有默认的结果文件名, 请用命令行的 -o 指定结果工作簿。");
    return;
  }
  if (separate && !ReplaceResultAsked(*result, shown)) return;
  box_sink_->SetResultFile(result ? QFile::decodeName(result->c_str()) : QString());
  // The host is made and used on the run's own thread, which ends before these go.
  const auto run = [&](MessageSink& run_sink) {
    RunRequest made = request;
    std::unique_ptr<SpreadsheetHost> host;
    if (host_factory_ && !IsLayerInput(made.input)) host = host_factory_(workbook_);
    made.input.host = host.get();
    CarryOut(made, run_sink);
  };
  RunControl control;
  RunFeedback feedback;
  feedback.stage = [this](const QString& stage) {
    // Past this point the result is being written: a cancel would come too late.
    if (stage == QStringLiteral("写入汇总结果")) progress_->DisableCancel();
    progress_->SetStage(stage);
  };
  feedback.rows = [this](int64_t done, int64_t total) { progress_->SetRows(done, total); };
  feedback.waiting = [this](bool waiting) { progress_->SetWaiting(waiting); };
  feedback.control = &control;
  const QMetaObject::Connection cancel =
      connect(progress_, &RunProgress::cancelRequested, this, [this, &control] {
        if (control.Cancel()) {
          progress_->SetCancelling();
        } else {
          progress_->DisableCancel();
        }
      });
  SetRunning(true);
  RunInBackground(run, sink, feedback);
  SetRunning(false);
  disconnect(cancel);
}

namespace {

// The bands of the one-column window: the note and picture above the column numbers, the column
// numbers, tasks and buttons, and the rows below them.
constexpr int kControlsTop = Px(2250) - 2;  // the first column number's label and box
constexpr int kRowsTop = Px(kClientHeightTwips);

}  // namespace

QSize SpaAnalysis::SideBySideSize() const {
  if (side_by_side_) return size();
  const int left = kRowsTop - (kControlsTop - Px(120));
  const int right = Px(120) + (kControlsTop - Px(120)) + (height() - kRowsTop - kRowGap);
  return QSize(2 * Px(kClientWidthTwips), std::max(left, right));
}

void SpaAnalysis::ArrangeSideBySide() {
  if (side_by_side_) return;
  const QSize two_columns = SideBySideSize();
  const int lift = kControlsTop - Px(120);
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    const QPoint at = child->pos();
    if (at.y() < kControlsTop) {
      child->move(at.x() + Px(kClientWidthTwips), at.y());
    } else if (at.y() < kRowsTop) {
      child->move(at.x(), at.y() - lift);
    } else {
      child->move(at.x() + Px(kClientWidthTwips), at.y() - kRowsTop - kRowGap + kControlsTop);
    }
  }
  side_by_side_ = true;
  setFixedSize(two_columns);
}

void SpaAnalysis::PutCommandsFirst() {
  QAbstractButton* proc = Button("CommandProc");
  const int row = proc->y();
  if (!side_by_side_ || row <= Px(120)) return;
  const int step = proc->height() + kRowGap;
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    const QPoint at = child->pos();
    if (at.x() >= Px(kClientWidthTwips) || at.y() > row) continue;  // the right column, or below
    // The command row goes to the top; what stood above it moves down by that row.
    child->move(at.x(), at.y() == row ? Px(120) : at.y() + step);
  }
}

void SpaAnalysis::SetRunning(bool running) {
  running_ = running;
  for (const char* name :
       {"CommandProc", "CommandCheck", "CommandExit", "CommandChooseWorkbook",
        "CommandChooseFolder", "CommandRecent", "CommandDefaults", "CommandChooseZoneNames"}) {
    Button(name)->setEnabled(!running);
  }
  // The table's button belongs to the land-use summary: it comes back only with that ticked.
  Button("CommandChooseTable")->setEnabled(!running && Button("CheckTDLY")->isChecked());
  if (running) {
    window()->installEventFilter(this);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    progress_->Start();
  } else {
    progress_->Stop();
    QGuiApplication::restoreOverrideCursor();
    window()->removeEventFilter(this);
  }
}

bool SpaAnalysis::eventFilter(QObject* watched, QEvent* event) {
  if (running_ && event->type() == QEvent::Close) {
    event->ignore();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void SpaAnalysis::CommandExitClick() { QCoreApplication::quit(); }

void SpaAnalysis::ChooseWorkbookClick() {
  const QString start =
      workbook_ ? QFileInfo(QFile::decodeName(workbook_->c_str())).absolutePath() : QString();
  // Qt's own dialog, which speaks the translations the application loaded; a desktop's native
  // one follows the system's language instead.
  // Several layers chosen at once are summed as one.
  const QStringList paths = QFileDialog::getOpenFileNames(
      this, QStringLiteral("选择工作簿或图层 (可同时选多个图层)"), start, InputFilters(), nullptr,
      QFileDialog::DontUseNativeDialog);
  if (paths.size() == 1) SetWorkbook(paths.front());
  if (paths.size() > 1 && !SetSources(paths)) {
    (sink_ != nullptr ? *sink_ : *box_sink_)
        .Show(MessageKind::kWarning,
              "同时选择的多个文件只能都是 GIS 图层, 它们将合为一个图层汇总; 工作簿请单独选择。");
  }
}

void SpaAnalysis::ChooseFolderClick() {
  const QString start =
      workbook_ ? QFileInfo(QFile::decodeName(workbook_->c_str())).absolutePath() : QString();
  const QString path = QFileDialog::getExistingDirectory(
      this, QStringLiteral("选择 File Geodatabase (.gdb) 文件夹, 或放着多个图层的文件夹"), start,
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (path.isEmpty()) return;
  // A folder of several layer files: they are summed as one.
  QStringList files;
  for (const std::string& file : LayerFilesIn(PathOf(path).string())) {
    files.push_back(QFile::decodeName(file.c_str()));
  }
  if (files.size() < 2 || !SetSources(files)) SetWorkbook(path);
}

}  // namespace quilmark

// The kept choices and the recent list; what is kept, and under which keys, is window_settings'.
namespace quilmark {

void SpaAnalysis::LoadSettings() {
  const std::unique_ptr<QSettings> settings = OpenWindowSettings();
  RestoreControls(*this, *settings);
  SetWorkbook(SavedSource(*settings));
  RestoreLayerAndFilter(*this, *settings);
  // Read after choosing the source, which would otherwise move it to the front.
  recent_ = SavedRecent(*settings);
}

void SpaAnalysis::SaveSettings() const {
  const std::unique_ptr<QSettings> settings = OpenWindowSettings();
  SaveControls(*this, workbook_ ? QFile::decodeName(workbook_->c_str()) : QString(), *settings);
  SaveRecent(recent_, *settings);
}

void SpaAnalysis::RestoreDefaults() {
  WriteControls(*this, defaults_);
  SetWorkbook(QString());
  const std::unique_ptr<QSettings> settings = OpenWindowSettings();
  settings->clear();
  SaveRecent(recent_, *settings);
}

// A file that went away stays listed, greyed, until newer ones push it out.
void SpaAnalysis::ShowRecentMenu() {
  recent_menu_->clear();
  for (const QString& path : recent_) {
    const QFileInfo file(path);
    const bool there = file.exists();
    QString text = file.fileName() + QStringLiteral("  (") +
                   QDir::toNativeSeparators(file.absolutePath()) + QChar(')');
    if (!there) text += QStringLiteral(" [已不存在]");
    QAction* action = recent_menu_->addAction(text, this, [this, path] { SetWorkbook(path); });
    action->setEnabled(there);
    action->setData(path);
  }
  if (recent_.isEmpty()) {
    recent_menu_->addAction(QStringLiteral("(还没有最近的文件)"))->setEnabled(false);
  }
  auto* button = Button("CommandRecent");
  recent_menu_->popup(button->mapToGlobal(QPoint(0, button->height())));
}

}  // namespace quilmark
