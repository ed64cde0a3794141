#include "src/app/layer_parts.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>
#include <utility>

#include "src/host/layer_path.h"
#include "src/host/sheet_host.h"
#include "src/host/source_sequence.h"

namespace quilmark {
namespace {

// How many rows the sources opened before their turn may read ahead, together: what lets their
// readers use the other cores while the run sums the source before, at a memory cost that does
// not depend on the sources' sizes or number (some 300 bytes a row).
constexpr size_t kRowsAheadOfTurn = 1 << 17;

// The confirmation lists this many sources, then how many more there are.
constexpr size_t kListedParts = 10;

std::string FileName(const std::string& source) {
  std::filesystem::path path(source);
  if (!path.has_filename()) path = path.parent_path();  // "survey.gdb/"
  return path.filename().string();
}

// Hands the rows on; at their end, a run that met no row at all has nothing to sum.
class NoPatchGuard final : public RowSource {
 public:
  explicit NoPatchGuard(std::unique_ptr<RowSource> inner) : inner_(std::move(inner)) {}
  bool Next(SourceRow& row) override {
    if (inner_->Next(row)) {
      any_ = true;
      return true;
    }
    if (!any_) throw NoPatchInParts{};
    return false;
  }
  std::string RowLabel(int64_t number) const override { return inner_->RowLabel(number); }

 private:
  std::unique_ptr<RowSource> inner_;
  bool any_ = false;
};

}  // namespace

std::vector<std::string> SourceNames(const std::vector<std::string>& sources) {
  std::vector<std::string> names;
  std::set<std::string> distinct;
  for (const std::string& source : sources) {
    names.push_back(IsConnectionString(source) ? HidePassword(source) : FileName(source));
    if (!names.back().empty()) distinct.insert(names.back());
  }
  if (distinct.size() == names.size()) return names;
  for (size_t i = 0; i < sources.size(); ++i) names[i] = HidePassword(sources[i]);
  return names;
}

std::vector<std::string> LayerFilesIn(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  if (fs::path(folder).extension() == ".gdb") return files;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const fs::path& path = entry.path();
    if (entry.is_directory(error) ? path.extension() != ".gdb" : !IsLayerPath(path.string())) {
      continue;
    }
    const bool dbf_of_shapefile =
        path.extension() == ".dbf" && fs::exists(fs::path(path).replace_extension(".shp"), error);
    if (!dbf_of_shapefile) files.push_back(path.string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<LayerPart> CheckLayerParts(const LayerRequest& request,
                                       const std::vector<std::string>& sources) {
  const std::vector<std::string> names = SourceNames(sources);
  std::vector<LayerPart> parts;
  LayerRequest by_name = request;
  for (size_t i = 0; i < sources.size(); ++i) {
    by_name.source = sources[i];
    try {
      CheckedLayer checked = CheckLayer(by_name);
      if (i == 0) by_name = checked.by_name;
      parts.push_back({names[i], std::move(checked.name), by_name});
    } catch (const HostError& error) {
      throw HostError(PartText(i, sources.size(), names[i]) + ": " + error.what());
    }
  }
  return parts;
}

std::string LayerPartsConfirmationText(const std::vector<LayerPart>& parts) {
  std::string text =
      "确认: 需要统计 " + std::to_string(parts.size()) + " 个数据源的图层, 合为一个结果:";
  for (size_t i = 0; i < parts.size() && i < kListedParts; ++i) {
    text += "\r" + std::to_string(i + 1) + ". " + parts[i].layer + " (" + parts[i].name + ")";
  }
  if (parts.size() > kListedParts) {
    text += "\r… 另有 " + std::to_string(parts.size() - kListedParts) + " 个";
  }
  return text;
}

std::string ReadingPartText(size_t index, size_t count, std::string_view name) {
  return "正在读取 第 " + std::to_string(index + 1) + "/" + std::to_string(count) +
         " 个图层: " + std::string(name);
}

std::unique_ptr<RowSource> ReadLayerParts(const std::vector<LayerPart>& parts,
                                          std::function<void(std::string_view)> progress,
                                          size_t open_at_once) {
  if (open_at_once == 0) open_at_once = std::max(1u, std::thread::hardware_concurrency());
  const size_t rows_ahead = kRowsAheadOfTurn / std::max<size_t>(1, open_at_once - 1);
  std::vector<SourceSequence::Part> sequence;
  for (const LayerPart& part : parts) {
    sequence.push_back({part.name, [request = part.request, rows_ahead] {
                          return OpenLayer(request, rows_ahead).rows;
                        }});
  }
  std::vector<std::string> names;
  for (const LayerPart& part : parts) names.push_back(part.name);
  auto entered = [progress = std::move(progress), names = std::move(names)](size_t index) {
    if (progress) progress(ReadingPartText(index, names.size(), names[index]));
  };
  return std::make_unique<NoPatchGuard>(
      std::make_unique<SourceSequence>(std::move(sequence), open_at_once, std::move(entered)));
}

}  // namespace quilmark
