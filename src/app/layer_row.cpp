#include "src/app/layer_row.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QStringListModel>
#include <QWidget>

namespace quilmark {
namespace {

constexpr int kLabelWidth = 60;
constexpr int kButtonWidth = 84;

QLabel* RowLabel(QWidget& window, const char* text, QRect geometry) {
  auto* label = new QLabel(QString::fromUtf8(text), &window);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setGeometry(geometry);
  return label;
}

}  // namespace

LayerRows::LayerRows(QWidget& window, int left, int right, int top, int row_height, int gap,
                     const std::vector<const char*>& column_boxes)
    : QObject(&window) {
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
  where_->setGeometry(left + kLabelWidth, top, right - left - kLabelWidth, row_height);
  where_->setPlaceholderText(QStringLiteral("例如 DLBM LIKE '01%' (留空: 全部图斑)"));
  bottom_ = top + row_height;

  fields_ = new QStringListModel(this);
  for (const char* name : column_boxes) {
    auto* box = window.findChild<QLineEdit*>(QString::fromUtf8(name));
    auto* completer = new QCompleter(fields_, box);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    box->setCompleter(completer);
    box->installEventFilter(this);
    column_boxes_.push_back(box);
    column_tips_.push_back(box->toolTip());
  }
  connect(layers_, &QComboBox::currentTextChanged, this, [this](const QString& layer) {
    if (source_ && !layer.isEmpty()) {
      ShowFields(ReadLayerChoices(*source_, layer.toStdString()).fields);
    }
  });
  ShowSource(std::nullopt);
}

void LayerRows::ShowSource(const std::optional<std::string>& source) {
  source_ = source;
  const LayerChoices choices = source ? ReadLayerChoices(*source, "") : LayerChoices{};
  {
    const QSignalBlocker quiet(layers_);
    layers_->clear();
    for (const std::string& name : choices.layers) layers_->addItem(QString::fromStdString(name));
  }
  layers_->setEnabled(choices.layers.size() > 1);
  where_->setEnabled(source.has_value());
  if (!source) where_->clear();
  ShowFields(choices.fields);
}

void LayerRows::ShowFields(const std::vector<std::string>& fields) {
  QStringList names;
  for (const std::string& field : fields) names.push_back(QString::fromStdString(field));
  fields_->setStringList(names);
  const QString tip = QStringLiteral("图层的字段 (可填字段名或序号): ") + names.join(", ");
  for (size_t i = 0; i < column_boxes_.size(); ++i) {
    column_boxes_[i]->setToolTip(names.isEmpty() ? column_tips_[i] : tip);
  }
}

LayerInput LayerRows::Input() const {
  return {source_.value_or(""), layers_->currentText().toStdString(),
          where_->text().trimmed().toStdString()};
}

bool LayerRows::eventFilter(QObject* watched, QEvent* event) {
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
