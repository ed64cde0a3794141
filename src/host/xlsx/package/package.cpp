#include "src/host/xlsx/package/package.h"

#include <zip.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <pugixml.hpp>
#include <system_error>
#include <thread>

#include "src/host/xlsx/package/entry_inflater.h"
#include "src/host/xlsx/package/xml_util.h"

namespace quilmark::xlsx {
namespace {

std::string MegaBytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

[[noreturn]] void TooLarge(std::string_view part, uint64_t limit) {
  throw PackageError("部件 " + std::string(part) + " 解压后超过 " + MegaBytes(limit) +
                     " 或压缩比异常 (可能是恶意构造的压缩包), 拒绝读取");
}

}  // namespace

bool TypeIs(std::string_view type, std::string_view kind) {
  return type.size() > kind.size() && type.ends_with(kind) &&
         type[type.size() - kind.size() - 1] == '/';
}

std::string ResolveTarget(std::string_view source, std::string_view target) {
  std::string path;
  if (target.starts_with('/')) {
    path = std::string(target.substr(1));
  } else {
    const size_t slash = source.rfind('/');
    path = (slash == std::string_view::npos ? std::string()
                                            : std::string(source.substr(0, slash + 1)));
    path += target;
  }
  // Remove "." and ".." segments.
  std::vector<std::string> segments;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& segment : segments) {
    if (!out.empty()) out.push_back('/');
    out += segment;
  }
  return out;
}

std::string RelationshipsPartOf(std::string_view part) {
  const size_t slash = part.rfind('/');
  if (slash == std::string_view::npos) return "_rels/" + std::string(part) + ".rels";
  return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) +
         ".rels";
}

Package::Package(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (source != nullptr) archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (archive_ == nullptr) {
    const int code = zip_error_code_zip(&error);
    std::string detail = zip_error_strerror(&error);
    if (source != nullptr) zip_source_free(source);
    zip_error_fini(&error);
    if (code == ZIP_ER_NOZIP) throw PackageError("不是 .xlsx 工作簿 (不是 zip 压缩包)");
    throw PackageError("压缩包已损坏 (" + detail + ")");
  }
  zip_error_fini(&error);
}

Package::~Package() {
  if (archive_ != nullptr) zip_discard(archive_);
}

std::optional<uint64_t> Package::IndexOf(std::string_view part) const {
  const zip_int64_t index = zip_name_locate(archive_, std::string(part).c_str(), ZIP_FL_ENC_RAW);
  if (index < 0) return std::nullopt;
  return static_cast<uint64_t>(index);
}

bool Package::Has(std::string_view part) const { return IndexOf(part).has_value(); }

std::optional<uint64_t> Package::DeclaredSize(std::string_view part) const {
  const std::optional<uint64_t> index = IndexOf(part);
  zip_stat_t st;
  zip_stat_init(&st);
  if (!index || zip_stat_index(archive_, *index, 0, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) {
    return std::nullopt;
  }
  return st.size;
}

uint64_t Package::InflateBound(std::string_view part, uint64_t index, uint64_t limit) const {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, index, 0, &st) != 0 || (st.valid & ZIP_STAT_COMP_SIZE) == 0) {
    return limit;
  }
  const uint64_t bound = std::min(limit, std::max(kRatioFloor, st.comp_size * kMaxRatio));
  if ((st.valid & ZIP_STAT_SIZE) != 0 && st.size > bound) TooLarge(part, limit);
  return bound;
}

void Package::Stream(std::string_view part, uint64_t limit,
                     const std::function<void(const char*, size_t)>& sink) const {
  PartReader reader(*this, part, limit);
  constexpr size_t kBuffer = 1 << 18;
  const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kBuffer);
  while (const size_t n = reader.Read(buffer.get(), kBuffer)) sink(buffer.get(), n);
}

PartReader::PartReader(const Package& package, std::string_view part, uint64_t limit)
    : part_(part), limit_(limit) {
  const std::optional<uint64_t> index = package.IndexOf(part);
  if (!index) throw PackageError("缺少部件 " + part_);
  bound_ = package.InflateBound(part, *index, limit);
  zip_stat_t st;
  zip_stat_init(&st);
  constexpr zip_uint64_t kNeeded = ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD | ZIP_STAT_CRC;
  if (zip_stat_index(package.archive_, *index, 0, &st) == 0 && (st.valid & kNeeded) == kNeeded &&
      st.comp_method == ZIP_CM_DEFLATE && st.encryption_method == ZIP_EM_NONE) {
    zip_file_t* stored = zip_fopen_index(package.archive_, *index, ZIP_FL_COMPRESSED);
    if (stored == nullptr) OpenFailed(package.archive_);
    const std::optional<uint64_t> size =
        (st.valid & ZIP_STAT_SIZE) != 0 ? std::optional<uint64_t>(st.size) : std::nullopt;
    inflater_ = std::make_unique<EntryInflater>(stored, st.crc, size, part_);
    return;
  }
  // Stored, encrypted or otherwise compressed entries are read by libzip.
  file_ = zip_fopen_index(package.archive_, *index, 0);
  if (file_ == nullptr) OpenFailed(package.archive_);
}

void PartReader::OpenFailed(zip* archive) const {
  const zip_error_t* error = zip_get_error(archive);
  if (zip_error_code_zip(error) == ZIP_ER_NOPASSWD ||
      zip_error_code_zip(error) == ZIP_ER_WRONGPASSWD) {
    throw PackageError("部件 " + part_ + " 已加密");
  }
  throw PackageError("无法解压部件 " + part_ + " (" + zip_strerror(archive) + ")");
}

PartReader::~PartReader() {
  if (file_ != nullptr) zip_fclose(file_);
}

size_t PartReader::Read(char* out, size_t capacity) {
  size_t n = 0;
  if (inflater_ != nullptr) {
    n = inflater_->Read(out, capacity);
  } else {
    const zip_int64_t read = zip_fread(file_, out, capacity);
    if (read < 0) {
      throw PackageError("部件 " + part_ + " 已损坏 (" + zip_file_strerror(file_) + ")");
    }
    n = static_cast<size_t>(read);
  }
  total_ += n;
  if (total_ > bound_) TooLarge(part_, limit_);
  return n;
}

void Package::CheckCopyable(std::string_view part, uint64_t index) const {
  const auto damaged = [&](const char* reason) {
    throw PackageError("部件 " + std::string(part) + " 已损坏 (" + reason + ")");
  };
  if (zip_file_extra_fields_count(archive_, index, ZIP_FL_LOCAL) < 0) {
    damaged(zip_strerror(archive_));
  }
  // The stored bytes as they are, all of them: a deflate stream may end before its claimed size.
  zip_file_t* file = zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED);
  if (file == nullptr) damaged(zip_strerror(archive_));
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(file, zip_fclose);
  constexpr size_t kBuffer = 1 << 16;
  const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kBuffer);
  for (;;) {
    const zip_int64_t n = zip_fread(file, buffer.get(), kBuffer);
    if (n < 0) damaged(zip_file_strerror(file));
    if (n == 0) break;
  }
}

void Package::VerifyAll(const std::vector<std::string>& already_read) const {
  const zip_int64_t count = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name == nullptr)
      throw PackageError(std::string("压缩包已损坏 (") + zip_strerror(archive_) + ")");
    const std::string_view part(name);
    bool skip = false;
    for (const std::string& read : already_read) skip = skip || read == part;
    if (!skip) Stream(part, kMaxLargePart, [](const char*, size_t) {});
    // Folder entries too, and every entry as stored: a save copies each entry as it is, so damage
    // that inflating does not meet would only show when the result is written.
    CheckCopyable(part, static_cast<uint64_t>(i));
  }
}

namespace {

// Pieces of a part on their way from the thread that inflates them to the one that uses them.
class PieceQueue {
 public:
  // Waits for room; false when the queue was cancelled.
  bool Push(std::string piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return full_.size() < kMaxQueued || cancelled_; });
    if (cancelled_) return false;
    full_.push_back(std::move(piece));
    changed_.notify_all();
    return true;
  }
  // A piece used before, or an empty one: reusing them spares allocating and clearing room for
  // every piece.
  std::string TakeSpare() {
    std::lock_guard lock(mutex_);
    if (spare_.empty()) return {};
    std::string piece = std::move(spare_.back());
    spare_.pop_back();
    return piece;
  }
  void Recycle(std::string piece) {
    std::lock_guard lock(mutex_);
    spare_.push_back(std::move(piece));
  }
  // Waits for a piece; false once the inflating has ended and every piece is taken.
  bool Pop(std::string& piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !full_.empty() || done_; });
    if (full_.empty()) return false;
    piece = std::move(full_.front());
    full_.pop_front();
    changed_.notify_all();
    return true;
  }
  // The inflating has ended, with this failure or none.
  void Finish(std::exception_ptr failure) {
    std::lock_guard lock(mutex_);
    if (!cancelled_) failure_ = failure;
    done_ = true;
    changed_.notify_all();
  }
  void Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
  }
  std::exception_ptr failure() const { return failure_; }

 private:
  static constexpr size_t kMaxQueued = 8;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> full_;
  std::vector<std::string> spare_;
  bool done_ = false;
  bool cancelled_ = false;
  std::exception_ptr failure_;
};

// Inflates the part into the queue in pieces, small so that work on the first ones starts early
// even on a small part.
void InflateInto(const Package& package, std::string_view part, uint64_t limit, PieceQueue& queue) {
  constexpr size_t kPiece = 1 << 18;
  try {
    PartReader reader(package, part, limit);
    for (;;) {
      std::string piece = queue.TakeSpare();
      piece.resize(kPiece);
      piece.resize(reader.Read(piece.data(), kPiece));
      if (piece.empty() || !queue.Push(std::move(piece))) break;
    }
    queue.Finish(nullptr);
  } catch (...) {
    queue.Finish(std::current_exception());
  }
}

}  // namespace

void Package::StreamInBackground(std::string_view part, uint64_t limit,
                                 const std::function<void(const char*, size_t)>& sink) const {
  PieceQueue queue;
  std::thread worker;
  try {
    worker = std::thread([&] { InflateInto(*this, part, limit, queue); });
  } catch (const std::system_error&) {
    // No second thread to be had: inflate and work in turn.
    Stream(part, limit, sink);
    return;
  }
  try {
    std::string piece;
    while (queue.Pop(piece)) {
      sink(piece.data(), piece.size());
      queue.Recycle(std::move(piece));
    }
  } catch (...) {
    queue.Cancel();
    worker.join();
    throw;
  }
  worker.join();
  if (queue.failure()) std::rethrow_exception(queue.failure());
}

std::string Package::Read(std::string_view part, uint64_t limit) const {
  std::string out;
  Stream(part, limit, [&](const char* data, size_t n) { out.append(data, n); });
  return out;
}

std::vector<Relationship> Package::RelationshipsOf(std::string_view part) const {
  const std::string rels_part = RelationshipsPartOf(part);
  std::vector<Relationship> out;
  if (!Has(rels_part)) return out;
  const std::string text = Read(rels_part);
  pugi::xml_document doc;
  ParseSmallXml(doc, text, rels_part);
  const pugi::xml_node root = doc.document_element();
  if (LocalName(root.name()) != "Relationships") {
    throw PackageError("部件 " + rels_part + " 不是关系部件");
  }
  const std::string source = part == "" ? std::string() : std::string(part);
  for (const pugi::xml_node node : root.children()) {
    if (LocalName(node.name()) != "Relationship") continue;
    Relationship rel;
    rel.id = node.attribute("Id").value();
    rel.type = node.attribute("Type").value();
    const std::string_view mode = node.attribute("TargetMode").value();
    if (mode != "External") rel.target = ResolveTarget(source, node.attribute("Target").value());
    out.push_back(std::move(rel));
  }
  return out;
}

}  // namespace quilmark::xlsx
