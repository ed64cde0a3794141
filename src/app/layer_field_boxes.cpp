#include "src/app/layer_field_boxes.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStringList>
#include <QWidget>
#include <algorithm>

namespace quilmark {
namespace {

constexpr int kLabelWidth = 60;
constexpr int kButtonWidth = 84;
constexpr int kFieldNameRole = Qt::UserRole;  // what a chosen field puts into its box

// The zone prefixes offered: the lengths of the county, township and village codes.
struct ZonePrefixChoice {
  const char* text;
  int prefix;
};
constexpr ZonePrefixChoice kZonePrefixes[] = {
    {"不截取", 0},
    {"县 (前 6 位)", 6},
    {"乡镇 (前 9 位)", 9},
    {"村 (前 12 位)", 12},
};

QLabel* RowLabel(QWidget& window, const char* text, QRect geometry) {
  auto* label = new QLabel(QString::fromUtf8(text), &window);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setGeometry(geometry);
  return label;
}

}  // namespace

LayerFieldBoxes::LayerFieldBoxes(QWidget& window, int left, int right, int top, int row_height,
                                 int gap, const std::vector<const char*>& column_boxes)
    : QObject(&window), right_(right) {
  RowLabel(window, "GIS 图层:", QRect(left, top, kLabelWidth, row_height));
  layers_ = new QComboBox(&window);
  layers_->setObjectName(QStringLiteral("ListLayer"));
  layers_->setGeometry(left + kLabelWidth, top, right - left - kLabelWidth - kButtonWidth - 6,
                       row_height);
  layers_->setToolTip(QStringLiteral("数据源中要汇总的图层 (同命令行 --layer)"));
  folder_button_ = new QPushButton(QStringLiteral("选择文件夹..."), &window);
  folder_button_->setObjectName(QStringLiteral("CommandChooseFolder"));
  folder_button_->setGeometry(right - kButtonWidth, top, kButtonWidth, row_height);
  folder_button_->setToolTip(
      QStringLiteral("选择 File Geodatabase (.gdb 文件夹) 或存放 shapefile 的文件夹"));

  top += row_height + gap;
  RowLabel(window, "筛选条件:", QRect(left, top, kLabelWidth, row_height));
  where_ = new QLineEdit(&window);
  where_->setObjectName(QStringLiteral("TextWhere"));
  const int half = (right - left - 2 * kLabelWidth) / 2;
  where_->setGeometry(left + kLabelWidth, top, half - 6, row_height);
  where_->setPlaceholderText(QStringLiteral("例如 DLBM LIKE '01%' (留空: 全部图斑)"));
  BuildOverlayBox(window, left + kLabelWidth + half, right, top, row_height);
  bottom_ = BuildZoneRow(window, left, right, top + row_height + gap, row_height);

  fields_ = new QStandardItemModel(this);
  for (const char* name : column_boxes) {
    auto* box = window.findChild<QLineEdit*>(QString::fromUtf8(name));
    auto* completer = new QCompleter(fields_, box);
    completer->setCompletionRole(kFieldNameRole);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    box->setCompleter(completer);
    box->installEventFilter(this);
    column_boxes_.push_back(box);
    column_tips_.push_back(box->toolTip());
    column_widths_.push_back(box->width());
  }
  connect(layers_, &QComboBox::currentTextChanged, this, [this](const QString& layer) {
    if (source_ && !layer.isEmpty()) {
      ShowFields(ReadLayerChoices(*source_, layer.toStdString()));
    }
  });
  ShowSource(std::nullopt);
}

void LayerFieldBoxes::ShowSource(const std::optional<std::string>& source) {
  source_ = source;
  const LayerChoices choices = source ? ReadLayerChoices(*source, "") : LayerChoices{};
  {
    const QSignalBlocker quiet(layers_);
    layers_->clear();
    for (const std::string& name : choices.layers) layers_->addItem(QString::fromStdString(name));
  }
  layers_->setEnabled(choices.layers.size() > 1);
  where_->setEnabled(source.has_value());
  overlay_->setEnabled(source.has_value());
  if (!source) where_->clear();
  ShowFields(choices);
}

// The overlay beside the filter: a layer whose features cut the patches before they are summed.
void LayerFieldBoxes::BuildOverlayBox(QWidget& window, int left, int right, int top,
                                      int row_height) {
  RowLabel(window, "叠加图层:", QRect(left, top, kLabelWidth, row_height));
  overlay_ = new QLineEdit(&window);
  overlay_->setObjectName(QStringLiteral("TextOverlay"));
  overlay_->setGeometry(left + kLabelWidth, top, right - left - kLabelWidth, row_height);
  overlay_->setPlaceholderText(QStringLiteral("如 规划.gpkg:YDYH (留空: 不叠加)"));
  overlay_->setToolTip(QStringLiteral(
      "先把此图层 (规划分区、项目红线等) 与图斑相交, 再按块汇总; 冒号后是它带入的字段, 逗号分隔, "
      "区域、类别列可填这些字段 (同命令行 --overlay)"));
}

// Builds the zone row at `top` and returns its bottom.
int LayerFieldBoxes::BuildZoneRow(QWidget& window, int left, int right, int top, int row_height) {
  RowLabel(window, "区域代码:", QRect(left, top, kLabelWidth, row_height));
  zone_prefix_ = new QComboBox(&window);
  zone_prefix_->setObjectName(QStringLiteral("ListZonePrefix"));
  for (const ZonePrefixChoice& choice : kZonePrefixes) {
    zone_prefix_->addItem(QString::fromUtf8(choice.text), choice.prefix);
  }
  zone_prefix_->setGeometry(left + kLabelWidth, top, 104, row_height);
  zone_prefix_->setToolTip(
      QStringLiteral("区域只取代码的前几位, 按乡镇或村汇总 (同命令行 --zone-prefix)"));
  constexpr int kNamesLabel = 52, kChooseWidth = 60;
  const int names_left = left + kLabelWidth + 104 + 8;
  RowLabel(window, "名称表:", QRect(names_left, top, kNamesLabel, row_height));
  zone_names_ = new QLineEdit(&window);
  zone_names_->setObjectName(QStringLiteral("TextZoneNames"));
  zone_names_->setGeometry(names_left + kNamesLabel, top,
                           right - names_left - kNamesLabel - kChooseWidth - 6, row_height);
  zone_names_->setToolTip(
      QStringLiteral("区域代码与名称对照表 (两列 CSV/TSV; 同命令行 --zone-names), 留空: 不转换"));
  auto* choose = new QPushButton(QStringLiteral("选择..."), &window);
  choose->setObjectName(QStringLiteral("CommandChooseZoneNames"));
  choose->setGeometry(right - kChooseWidth, top, kChooseWidth, row_height);
  connect(choose, &QAbstractButton::clicked, this, [this, &window] {
    const QString path = QFileDialog::getOpenFileName(
        &window, QStringLiteral("选择区域名称表"), QString(),
        QStringLiteral("名称表 (*.csv *.tsv *.txt)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty()) zone_names_->setText(path);
  });
  return top + row_height;
}

void LayerFieldBoxes::ShowFields(const LayerChoices& choices) {
  fields_->clear();
  QStringList names;
  int widest = 0;
  for (size_t i = 0; i < choices.fields.size(); ++i) {
    const QString name = QString::fromStdString(choices.fields[i]);
    const std::string alias = i < choices.aliases.size() ? choices.aliases[i] : std::string();
    const QString shown = alias.empty() || alias == choices.fields[i]
                              ? name
                              : name + QLatin1Char(' ') + QString::fromStdString(alias);
    auto* item = new QStandardItem(shown);
    item->setData(name, kFieldNameRole);
    fields_->appendRow(item);
    names.push_back(name);
    if (!column_boxes_.empty()) {
      widest = std::max(widest, column_boxes_[0]->fontMetrics().horizontalAdvance(shown));
    }
  }
  const QString tip = QStringLiteral("图层的字段 (可填字段名或序号): ") + names.join(", ");
  int longest = 0;  // the widest bare name, as a box shows it
  for (const QString& name : names) {
    if (!column_boxes_.empty()) {
      longest = std::max(longest, column_boxes_[0]->fontMetrics().horizontalAdvance(name));
    }
  }
  for (size_t i = 0; i < column_boxes_.size(); ++i) {
    column_boxes_[i]->setToolTip(names.isEmpty() ? column_tips_[i] : tip);
    WidenForNames(i, longest);
    // The list is as wide as its widest entry (room for the frame, margins and a scroll bar),
    // never narrower than its box.
    QAbstractItemView* popup = column_boxes_[i]->completer()->popup();
    popup->setMinimumWidth(widest + popup->verticalScrollBar()->sizeHint().width() + 24);
  }
}

// A box shows a whole field name (ZLDWDM, not its end), as far as its column reaches (the second
// one where the window shows two); without names it is as drawn.
void LayerFieldBoxes::WidenForNames(size_t i, int longest) {
  QLineEdit* box = column_boxes_[i];
  box->setCursorPosition(0);
  // The coefficient's box has the unit list beside it.
  if (box->objectName() == QStringLiteral("TextKCXSColumn")) return;
  const int own = column_widths_[i];
  const int reach = (box->x() > right_ ? 2 * right_ : right_) - box->x();
  box->resize(std::clamp(longest + 16, own, std::max(reach, own)), box->height());
}

void LayerFieldBoxes::Fill(RunInput& input) const {
  // A source of one layer names none: each of several files (a folder of shapefiles) then reads
  // its own, as on the command line, and is not asked for the first file's layer.
  input.layer = layers_->count() > 1 ? layers_->currentText().toStdString() : std::string();
  input.where = where_->text().trimmed().toStdString();
  input.overlay = overlay_->text().trimmed().toStdString();
}

void LayerFieldBoxes::Fill(RunOptions& options) const {
  options.ZonePrefix = zone_prefix_->currentData().toInt();
  options.ZoneNamesFile = zone_names_->text().trimmed().toStdString();
}

bool LayerFieldBoxes::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && fields_->rowCount() > 0) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box != nullptr && box->isEnabled() && box->completer() != nullptr) {
      box->completer()->setCompletionPrefix(QString());
      box->completer()->complete();
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace quilmark
