#include "src/app/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
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
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTextLayout>
#include <QUrl>
#include <exception>
#include <string>
#include <utility>

#include "src/app/land_use_choice.h"
#include "src/app/run_driver.h"
#include "src/app/run_input.h"
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
constexpr const char* kMasterPlanControls[] = {"IsAllZone", "IsOldGH", "IsNewGH"};

// Twips to pixels at 96 dots per inch, to the nearest pixel.
int Px(int twips) { return (twips * 2 + 15) / 30; }

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

// The workbook a drop offers: one local .xlsx file, else nothing.
std::optional<QString> DroppedWorkbook(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls()) return std::nullopt;
  const QList<QUrl> urls = mime->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  QString path = urls.front().toLocalFile();
  if (!path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive)) return std::nullopt;
  return path;
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
}

std::unique_ptr<SpreadsheetHost> OpenHost(const std::optional<std::filesystem::path>& workbook) {
  // No file chosen: the workbook in front of a running office, when one listens.
  return OpenInput(RunInput{workbook, {}, {}, 2002});
}

int WrappedLineCount(const QString& text, const QFont& font, int width) {
  QTextLayout layout(text, font);
  LayOutLines(layout, width, 0, 0);
  return layout.lineCount();
}

void MessageBoxSink::Show(MessageKind /*kind*/, std::string_view text) {
  // The confirmation separates its lines with a lone carriage return, which a label does not
  // break on.
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quilmark"), shown, QMessageBox::Ok, parent_);
  // Workbook and sheet names are the user's: never read them as markup.
  box.setTextFormat(Qt::PlainText);
  // The run shows a busy cursor; the box waits for OK with the ordinary one.
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  QGuiApplication::restoreOverrideCursor();
}

void MessageBoxSink::Progress(std::string_view /*stage*/) {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
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
  setWindowTitle(QStringLiteral("Quilmark"));
  setAcceptDrops(true);
  BuildControls();
  // The workbook row sits below the client area the listed controls were drawn for.
  const int row_top = Px(kClientHeightTwips) + kRowGap;
  BuildWorkbookRow(row_top);
  setFixedSize(Px(kClientWidthTwips), row_top + kRowHeight + kBottomMargin);
  // The start state of the options follows from the unticked task boxes.
  CheckTDLYClick(false);
  CheckZTGHClick(false);
}

SpaAnalysis::~SpaAnalysis() = default;

void SpaAnalysis::BuildControls() {
  QHash<QString, QWidget*> frames;
  QHash<QString, QButtonGroup*> option_groups;
  for (const ControlEntry& entry : kWindowControls) {
    QWidget* container = entry.container == nullptr ? this : frames.value(entry.container);
    const QString caption = QString::fromUtf8(entry.caption);
    QWidget* control = nullptr;
    switch (entry.kind) {
      case ControlKind::kLabel: {
        auto* label = new QLabel(caption, container);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        control = label;
        break;
      }
      case ControlKind::kNote:
        control = new FixedPitchLabel(caption, kNotePitch, container);
        break;
      case ControlKind::kPicture: {
        auto* picture = new QLabel(container);
        picture->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->setPixmap(QPixmap(QString::fromUtf8(kExamplePicture)));
        control = picture;
        break;
      }
      case ControlKind::kTextBox: {
        auto* text = new QLineEdit(caption, container);
        text->setTextMargins(0, 0, 0, 0);
        control = text;
        break;
      }
      case ControlKind::kFrame:
        control = new QGroupBox(container);
        frames.insert(entry.name, control);
        break;
      case ControlKind::kCheckBox:
        control = new QCheckBox(caption, container);
        break;
      case ControlKind::kOption: {
        auto* option = new QRadioButton(caption, container);
        // One exclusive group per frame; none is chosen at start.
        QButtonGroup*& group = option_groups[entry.container];
        if (group == nullptr) group = new QButtonGroup(this);
        group->addButton(option);
        control = option;
        break;
      }
      case ControlKind::kButton:
        control = new QPushButton(caption, container);
        break;
    }
    control->setObjectName(QString::fromUtf8(entry.name));
    control->setGeometry(PxRect(entry));
  }

  connect(Button("CheckTDLY"), &QAbstractButton::toggled, this, &SpaAnalysis::CheckTDLYClick);
  connect(Button("CheckZTGH"), &QAbstractButton::toggled, this, &SpaAnalysis::CheckZTGHClick);
  connect(Button("CommandProc"), &QAbstractButton::clicked, this, &SpaAnalysis::CommandProcClick);
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
  workbook_name_->setGeometry(name_left, top, right - button_width - 6 - name_left, kRowHeight);

  auto* choose = new QPushButton(QString::fromUtf8(kChooseWorkbook), this);
  choose->setObjectName(QStringLiteral("CommandChooseWorkbook"));
  choose->setGeometry(right - button_width, top, button_width, kRowHeight);
  connect(choose, &QAbstractButton::clicked, this, &SpaAnalysis::ChooseWorkbookClick);
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
  options.IsAllZone = IsTicked("IsAllZone");
  options.IsOldGH = IsTicked("IsOldGH");
  options.IsNewGH = IsTicked("IsNewGH");
  options.TextZQColumn = text("TextZQColumn");
  options.TextDKStyleColumn = text("TextDKStyleColumn");
  options.TextAreaColumn = text("TextAreaColumn");
  return options;
}

bool SpaAnalysis::CheckXSheet(std::string_view strXSheet, const Workbook* xWorkbook) const {
  return quilmark::CheckXSheet(strXSheet, xWorkbook);
}

void SpaAnalysis::SetWorkbook(const QString& path) {
  if (path.isEmpty()) {
    workbook_.reset();
    workbook_name_->clear();
    workbook_name_->setToolTip(QString());
    return;
  }
  const QFileInfo file(path);
  const QString absolute = file.absoluteFilePath();
  workbook_ = std::filesystem::path(QFile::encodeName(absolute).toStdString());
  const int room = workbook_name_->contentsRect().width() - 2 * workbook_name_->indent();
  workbook_name_->setText(
      workbook_name_->fontMetrics().elidedText(file.fileName(), Qt::ElideMiddle, room));
  workbook_name_->setToolTip(QDir::toNativeSeparators(absolute));
}

void SpaAnalysis::dragEnterEvent(QDragEnterEvent* event) {
  if (!running_ && DroppedWorkbook(event->mimeData())) event->acceptProposedAction();
}

void SpaAnalysis::dropEvent(QDropEvent* event) {
  if (running_) return;
  if (std::optional<QString> path = DroppedWorkbook(event->mimeData())) {
    SetWorkbook(*path);
    event->acceptProposedAction();
  }
}

// Enabling never changes an option's value: a chosen option stays chosen while it is disabled.
void SpaAnalysis::CheckTDLYClick(bool ticked) {
  for (const LandUseMethodEntry& method : LandUseMethods()) {
    if (method.control_kind != MethodControl::kOptionButton) continue;
    Button(std::string(method.control).c_str())->setEnabled(ticked);
  }
  for (const char* name : kLandUseControls) Button(name)->setEnabled(ticked);
}

void SpaAnalysis::CheckZTGHClick(bool ticked) {
  for (const char* name : kMasterPlanControls) Button(name)->setEnabled(ticked);
}

void SpaAnalysis::CommandProcClick() {
  if (running_) return;
  // Restores the cursor and the flag at every end of the run.
  struct RunScope {
    explicit RunScope(bool& running) : running(running) {
      running = true;
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~RunScope() {
      QGuiApplication::restoreOverrideCursor();
      running = false;
    }
    bool& running;
  } scope(running_);

  const RunOptions options = Snapshot();
  MessageSink& sink = sink_ != nullptr ? *sink_ : *box_sink_;
  try {
    std::unique_ptr<SpreadsheetHost> host = host_factory_(workbook_);
    RunSummary(options, *host, sink);
  } catch (const std::exception& error) {
    // The run reports the host's failures itself; nothing may escape into the event loop.
    sink.Show(MessageKind::kHostFailure, error.what());
  }
}

void SpaAnalysis::CommandExitClick() { QCoreApplication::quit(); }

void SpaAnalysis::ChooseWorkbookClick() {
  const QString start =
      workbook_ ? QFileInfo(QFile::decodeName(workbook_->c_str())).absolutePath() : QString();
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("选择工作簿"), start,
                                                    QStringLiteral("Excel (*.xlsx)"));
  if (!path.isEmpty()) SetWorkbook(path);
}

}  // namespace quilmark
