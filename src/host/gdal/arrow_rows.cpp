#include "src/host/gdal/arrow_rows.h"

#include <cpl_string.h>
#include <ogr_recordbatch.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "src/host/gdal/dataset_open.h"

namespace quilmark {
namespace {

// Rows per batch. GDAL's default (65,536) holds tens of megabytes in flight across its threads;
// batches of a few hundred kilobytes keep the run's memory where the feature reader had it, stay
// in the cache while their cells are read, and measured no slower.
constexpr const char* kBatchRows = "4096";

// How a column's values read. Other formats (dates, truth values, 16-bit numbers, lists) are
// left to the feature reader.
enum class ColumnKind { kInt32, kInt64, kDouble, kText };

struct KnownFormat {
  std::string_view format;
  ColumnKind kind;
};
constexpr KnownFormat kKnownFormats[] = {{"i", ColumnKind::kInt32},
                                         {"l", ColumnKind::kInt64},
                                         {"g", ColumnKind::kDouble},
                                         {"u", ColumnKind::kText}};

// nullopt for a format not in the table, and for a field whose values are indices into the
// texts of a coded domain (a dictionary), which the feature reader reads as the values.
std::optional<ColumnKind> KindOf(const ArrowSchema& schema) {
  if (schema.dictionary != nullptr || schema.format == nullptr) return std::nullopt;
  for (const KnownFormat& known : kKnownFormats) {
    if (known.format == schema.format) return known.kind;
  }
  return std::nullopt;
}

// Whether one of the eight bytes is zero.
constexpr bool HoldsZeroByte(uint64_t word) {
  return ((word - 0x0101010101010101u) & ~word & 0x8080808080808080u) != 0;
}

// The length of the text up to its first NUL, as a C string reads it. Looked for eight bytes at
// a time: the texts are short codes and names, millions of them, and hardly ever hold a NUL. The
// last bytes are read as one word too where the batch's texts go on past them (`end`); the bytes
// beyond the text then count as not zero.
size_t UpToNul(const char* text, size_t length, const char* end) {
  size_t at = 0;
  uint64_t word;
  for (; at + 8 <= length; at += 8) {
    std::memcpy(&word, text + at, 8);
    if (HoldsZeroByte(word)) break;
  }
  const bool little_endian = std::endian::native == std::endian::little;
  if (little_endian && at < length && length - at < 8 && text + at + 8 <= end) {
    std::memcpy(&word, text + at, 8);
    if (!HoldsZeroByte(word | (~uint64_t{0} << (8 * (length - at))))) return length;
  }
  for (; at < length; ++at) {
    if (text[at] == '\0') return at;
  }
  return length;
}

// One chosen field: where it sits in a batch and how its values read.
class Column {
 public:
  Column(size_t child, ColumnKind kind, bool code) : child_(child), kind_(kind), code_(code) {}

  // Points the column at its values in the batch.
  void Bind(const ArrowArray& batch) {
    const ArrowArray& values = *batch.children[child_];
    offset_ = values.offset;
    validity_ = values.null_count != 0 ? static_cast<const uint8_t*>(values.buffers[0]) : nullptr;
    values_ = values.buffers[1];
    texts_ = kind_ == ColumnKind::kText ? static_cast<const char*>(values.buffers[2]) : nullptr;
    texts_end_ = texts_ != nullptr
                     ? texts_ + static_cast<const int32_t*>(values_)[values.offset + values.length]
                     : nullptr;
  }

  // The value of the batch's row as the feature reader gives it: numbers as numbers, a whole
  // number as its digits where the field is a code, texts as far as their first NUL, null as
  // empty.
  void Read(int64_t row, std::optional<CellValue>& cell) const {
    const int64_t at = offset_ + row;
    if (validity_ != nullptr && ((validity_[at >> 3] >> (at & 7)) & 1) == 0) return SetEmpty(cell);
    switch (kind_) {
      case ColumnKind::kInt32:
        return ReadWhole(static_cast<const int32_t*>(values_)[at], cell);
      case ColumnKind::kInt64:
        return ReadWhole(static_cast<const int64_t*>(values_)[at], cell);
      case ColumnKind::kDouble:
        return ReadReal(static_cast<const double*>(values_)[at], cell);
      case ColumnKind::kText: {
        const int32_t* offsets = static_cast<const int32_t*>(values_);
        const char* text = texts_ + offsets[at];
        const auto length = static_cast<size_t>(offsets[at + 1] - offsets[at]);
        return SetText(cell, std::string_view(text, UpToNul(text, length, texts_end_)));
      }
    }
  }

  // Whether the row's value is a Real too large to hold a code's every digit.
  bool LosesDigits(int64_t row) const {
    const int64_t at = offset_ + row;
    if (kind_ != ColumnKind::kDouble) return false;
    if (validity_ != nullptr && ((validity_[at >> 3] >> (at & 7)) & 1) == 0) return false;
    return quilmark::LosesDigits(static_cast<const double*>(values_)[at]);
  }

 private:
  void ReadWhole(int64_t value, std::optional<CellValue>& cell) const {
    if (code_) return SetDigits(cell, value);
    cell.emplace(static_cast<double>(value));
  }

  void ReadReal(double value, std::optional<CellValue>& cell) const {
    if (code_) {
      if (const std::optional<int64_t> whole = WholeNumber(value)) return SetDigits(cell, *whole);
    }
    cell.emplace(value);
  }

  size_t child_;
  ColumnKind kind_;
  bool code_;  // a zone or class
  int64_t offset_ = 0;
  const uint8_t* validity_ = nullptr;  // nullptr: no value is null
  const void* values_ = nullptr;       // the numbers, or a text's offsets
  const char* texts_ = nullptr;
  const char* texts_end_ = nullptr;  // the end of the batch's texts
};

// The chosen fields' columns, in SourceRow's order, and the feature ids'.
struct Columns {
  std::optional<Column> zone;
  std::optional<Column> class_;
  std::optional<Column> area;
  std::optional<Column> deduction;
  std::vector<Column> extras;
  std::optional<size_t> fid;  // the child of the feature ids (64-bit), where the stream has it

  void Bind(const ArrowArray& batch) {
    for (std::optional<Column>* column : {&zone, &class_, &area, &deduction}) {
      if (*column) (*column)->Bind(batch);
    }
    for (Column& extra : extras) extra.Bind(batch);
  }
};

void Release(ArrowArray& batch) {
  if (batch.release != nullptr) batch.release(&batch);
  batch = ArrowArray{};
}

class ArrowRows : public RowSource {
 public:
  // `first` is the stream's first batch, already read (released: the stream has ended).
  // `count`: the features the layer holds (0: not known).
  ArrowRows(GDALDatasetUniquePtr dataset, ArrowArrayStream stream, Columns columns,
            ArrowArray first, int64_t count)
      : dataset_(std::move(dataset)),
        stream_(stream),
        columns_(std::move(columns)),
        batch_(first),
        count_known_(count) {
    if (batch_.release == nullptr) {
      ended_ = true;
    } else {
      Bind();
    }
  }

  ~ArrowRows() override {
    Release(batch_);
    stream_.release(&stream_);
  }

  bool Next(SourceRow& row) override {
    while (batch_.release == nullptr || at_ == batch_.length) {
      if (!NextBatch()) return false;
    }
    const int64_t at = batch_.offset + at_++;
    row.number = ++count_;
    row.patches = 1;  // the row is reused: it may have stood for a group before
    row.ridge.reset();
    ids_.Start(row.number, fids_ != nullptr ? fids_[at] : OGRNullFID);
    columns_.zone->Read(at, row.zone);
    row.inexact_zone = columns_.zone->LosesDigits(at);
    if (columns_.class_) {
      columns_.class_->Read(at, row.class_);
      row.cross_class = row.class_;
    }
    columns_.area->Read(at, row.area);
    if (columns_.deduction) columns_.deduction->Read(at, row.deduction);
    row.fields.resize(columns_.extras.size());
    for (size_t i = 0; i < columns_.extras.size(); ++i) columns_.extras[i].Read(at, row.fields[i]);
    ids_.KeepWhenDoubtful(row);
    return true;
  }

  std::string RowLabel(int64_t number) const override { return ids_.Label(number); }
  int64_t RowCount() const override { return count_known_; }

 private:
  // The next batch; false once the stream has ended. Throws HostError where the driver fails.
  bool NextBatch() {
    if (ended_) return false;
    Release(batch_);
    at_ = 0;
    if (stream_.get_next(&stream_, &batch_) != 0) {
      batch_ = ArrowArray{};
      const char* error = stream_.get_last_error(&stream_);
      ThrowLayerError("读到第 " + std::to_string(count_ + 1) + " 个要素时出错: " +
                      (error != nullptr ? std::string(error) : LastGdalError("数据源中断")));
    }
    if (batch_.release == nullptr) {
      ended_ = true;
      return false;
    }
    Bind();
    return true;
  }

  void Bind() {
    columns_.Bind(batch_);
    fids_ = nullptr;
    if (columns_.fid) {
      const ArrowArray& fids = *batch_.children[*columns_.fid];
      fids_ = static_cast<const int64_t*>(fids.buffers[1]) + fids.offset;
    }
  }

  GDALDatasetUniquePtr dataset_;  // outlives the stream, which reads its layer
  ArrowArrayStream stream_;
  Columns columns_;
  ArrowArray batch_;  // released (release == nullptr) between batches
  const int64_t* fids_ = nullptr;
  bool ended_ = false;
  int64_t at_ = 0;             // the next row of the batch
  const int64_t count_known_;  // the features the layer holds; 0: not known
  int64_t count_ = 0;
  RowIds ids_;
};

// The index of the stream's child of that name.
std::optional<size_t> ChildNamed(const ArrowSchema& schema, const char* name) {
  for (int64_t i = 0; i < schema.n_children; ++i) {
    const char* child = schema.children[i]->name;
    if (child != nullptr && std::strcmp(child, name) == 0) return static_cast<size_t>(i);
  }
  return std::nullopt;
}

// The columns of the chosen fields; nullopt where one is missing or of a kind not read here.
std::optional<Columns> ChooseColumns(const ArrowSchema& schema, OGRLayer& layer,
                                     const ChosenFields& fields) {
  const OGRFeatureDefn& definition = *layer.GetLayerDefn();
  bool found = true;
  const auto column = [&](int field, bool code) -> std::optional<Column> {
    if (field == kNoField) return std::nullopt;
    const std::optional<size_t> child =
        ChildNamed(schema, definition.GetFieldDefn(field)->GetNameRef());
    const std::optional<ColumnKind> kind = child ? KindOf(*schema.children[*child]) : std::nullopt;
    if (!kind) {
      found = false;
      return std::nullopt;
    }
    return Column(*child, *kind, code);
  };
  Columns columns{column(fields.zone, true),
                  column(fields.class_, true),
                  column(fields.area, false),
                  column(fields.deduction, false),
                  {},
                  {}};
  for (int extra : fields.extras) {
    if (std::optional<Column> read = column(extra, false)) columns.extras.push_back(*read);
  }
  const char* fid_name = layer.GetFIDColumn();
  columns.fid = ChildNamed(schema, fid_name != nullptr && *fid_name != 0 ? fid_name : "OGC_FID");
  if (columns.fid && std::string_view(schema.children[*columns.fid]->format) != "l") {
    columns.fid.reset();
  }
  if (!found) return std::nullopt;
  return columns;
}

}  // namespace

std::unique_ptr<RowSource> OpenArrowRows(GDALDatasetUniquePtr& dataset, OGRLayer& layer,
                                         const ChosenFields& fields, int64_t count, bool& empty) {
  if (fields.area == kNoField || !layer.TestCapability(OLCFastGetArrowStream)) return nullptr;
  ArrowArrayStream stream{};
  CPLStringList options;
  options.SetNameValue("INCLUDE_FID", "YES");
  options.SetNameValue("MAX_FEATURES_IN_BATCH", kBatchRows);
  if (!layer.GetArrowStream(&stream, options.List())) return nullptr;
  ArrowSchema schema{};
  std::optional<Columns> columns;
  if (stream.get_schema(&stream, &schema) == 0) {
    columns = ChooseColumns(schema, layer, fields);
    schema.release(&schema);
  }
  ArrowArray first{};
  if (!columns || stream.get_next(&stream, &first) != 0) {
    stream.release(&stream);
    return nullptr;
  }
  empty = first.release == nullptr || first.length == 0;
  return std::make_unique<ArrowRows>(std::move(dataset), stream, std::move(*columns), first, count);
}

}  // namespace quilmark
