#include "src/app/source_preview.h"

#include <algorithm>
#include <exception>

#include "src/host/cell_value.h"
#include "src/host/column_letters.h"
#include "src/host/gdal/layer_source.h"
#include "src/host/layer_path.h"
#include "src/host/xlsx/xlsx_host.h"

namespace quilmark {
namespace {

std::optional<SourcePreview> SheetPreview(const std::string& path, int rows, int columns) {
  XlsxHostOptions options;
  options.read_only = true;
  XlsxFileHost host(path, options);
  Workbook* workbook = host.ActiveWorkbook();
  Worksheet* sheet = workbook != nullptr ? workbook->ActiveSheet() : nullptr;
  if (sheet == nullptr) return std::nullopt;
  SourcePreview preview{sheet->Name(), {}, {}};
  const int32_t last_row = std::min(sheet->LastUsedRow(), rows);
  int32_t used_columns = 0;
  for (int32_t row = 1; row <= last_row; ++row) {
    std::vector<std::string>& texts = preview.rows.emplace_back();
    for (int32_t column = 1; column <= columns; ++column) {
      const std::optional<CellValue> value = sheet->Read(row, column);
      texts.push_back(value ? ValueText(*value) : std::string());
      if (!texts.back().empty()) used_columns = std::max(used_columns, column);
    }
  }
  for (std::vector<std::string>& texts : preview.rows) texts.resize(used_columns);
  for (int32_t column = 1; column <= used_columns; ++column) {
    preview.headers.push_back(ColumnLetters(column) + " (" + std::to_string(column) + ")");
  }
  return preview;
}

}  // namespace

std::optional<SourcePreview> ReadSourcePreview(const std::string& source, const std::string& layer,
                                               int rows, int columns) {
  try {
    if (!IsLayerPath(source)) return SheetPreview(source, rows, columns);
    SourcePreview preview{layer, LayerFieldNames(source, layer),
                          LayerFirstFeatures(source, layer, rows)};
    if (static_cast<int>(preview.headers.size()) > columns) preview.headers.resize(columns);
    for (std::vector<std::string>& texts : preview.rows) texts.resize(preview.headers.size());
    return preview;
  } catch (const std::exception&) {  // HostError, or memory for a sheet too large
    return std::nullopt;
  }
}

}  // namespace quilmark
