#include "src/app/first_rows_view.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <thread>

#include "src/app/source_preview.h"

namespace quilmark {
namespace {

constexpr int kRows = 30;  // some 4 show; the rest are there to scroll to, and for a first look
constexpr int kColumns = 12;

QString Text(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

PreviewTable::PreviewTable(QLabel& picture)
    : QTableWidget(picture.parentWidget()), picture_(picture) {
  setObjectName(QStringLiteral("TablePreview"));
  setGeometry(picture.geometry());
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
  setFocusPolicy(Qt::NoFocus);
  setWordWrap(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
  verticalHeader()->setMinimumSectionSize(fontMetrics().height());
  horizontalHeader()->setHighlightSections(false);
  hide();
}

void PreviewTable::ShowSource(const std::optional<std::string>& source, const std::string& layer) {
  const unsigned generation = ++generation_;
  if (!source) {
    reading_ = false;
    Fill(std::nullopt);
    return;
  }
  reading_ = true;
  QPointer<PreviewTable> self(this);
  std::thread([self, generation, source = *source, layer] {
    std::optional<SourcePreview> preview = ReadSourcePreview(source, layer, kRows, kColumns);
    // Back on the window's thread; a window closed meanwhile, or a newer source, drops it.
    QMetaObject::invokeMethod(
        qApp,
        [self, generation, preview = std::move(preview)] {
          if (self.isNull() || generation != self->generation_) return;
          self->reading_ = false;
          self->Fill(preview);
        },
        Qt::QueuedConnection);
  }).detach();
}

void PreviewTable::Fill(const std::optional<SourcePreview>& preview) {
  clear();
  const bool shown = preview && !preview->rows.empty() && !preview->headers.empty();
  setVisible(shown);
  picture_.setVisible(!shown);
  if (!shown) return;
  setRowCount(static_cast<int>(preview->rows.size()));
  setColumnCount(static_cast<int>(preview->headers.size()));
  QStringList headers;
  for (const std::string& header : preview->headers) headers.push_back(Text(header));
  setHorizontalHeaderLabels(headers);
  for (int row = 0; row < rowCount(); ++row) {
    const auto& texts = preview->rows[static_cast<size_t>(row)];
    for (int column = 0; column < columnCount() && column < static_cast<int>(texts.size());
         ++column) {
      setItem(row, column, new QTableWidgetItem(Text(texts[static_cast<size_t>(column)])));
    }
  }
  resizeColumnsToContents();
  setToolTip(QStringLiteral("%1 的前几行: 按列字母或列号 (GIS 图层按字段名) 填写下面的列")
                 .arg(Text(preview->shown)));
  emit Filled();
}

QStringList PreviewTable::ColumnTexts(int column) const {
  QStringList texts;
  if (column < 0 || column >= columnCount()) return texts;
  for (int row = 0; row < rowCount(); ++row) {
    const QTableWidgetItem* cell = item(row, column);
    if (cell != nullptr) texts.push_back(cell->text());
  }
  return texts;
}

}  // namespace quilmark
