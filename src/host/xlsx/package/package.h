// The zip package of a workbook file, read from memory: its parts by name, the relationships
// between them, and the limits that keep a hostile file from exhausting memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/xlsx/package/package_error.h"

struct zip;
struct zip_file;
struct zip_source;

namespace quilmark::xlsx {

class EntryInflater;

// Any part's inflated size is counted while inflating (the zip header may lie) and refused
// beyond these.
inline constexpr uint64_t kMaxLargePart = uint64_t{1} << 30;   // worksheet, shared strings
inline constexpr uint64_t kMaxSmallPart = uint64_t{64} << 20;  // every other part read
inline constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;
// Beyond this many inflated bytes, a part may inflate to at most kMaxRatio times its compressed
// size: real parts stay far below (a large worksheet about 10 times), a zip bomb far above, and
// the limit holds before anything is inflated when the sizes are declared and while inflating
// when they lie.
inline constexpr uint64_t kRatioFloor = uint64_t{16} << 20;
inline constexpr uint64_t kMaxRatio = 100;

struct Relationship {
  std::string id;
  std::string type;    // the full type URI
  std::string target;  // the resolved part name ("xl/worksheets/sheet1.xml"), empty if external
};

// Whether a relationship type URI ends in "/<kind>" (both the transitional and the strict URIs).
bool TypeIs(std::string_view type, std::string_view kind);

// The part name a relationship target names, seen from the part `source`.
std::string ResolveTarget(std::string_view source, std::string_view target);

// The name of the relationships part of a part ("xl/_rels/workbook.xml.rels").
std::string RelationshipsPartOf(std::string_view part);

class Package {
 public:
  // Opens the package held in `bytes`, which must outlive it. Throws PackageError.
  explicit Package(const std::string& bytes);
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  bool Has(std::string_view part) const;
  // The zip index of the part; nullopt when absent.
  std::optional<uint64_t> IndexOf(std::string_view part) const;
  // The inflated size the zip directory declares for the part; nullopt when absent or undeclared.
  std::optional<uint64_t> DeclaredSize(std::string_view part) const;

  // The whole inflated part. Throws PackageError when missing, damaged or over the limit.
  std::string Read(std::string_view part, uint64_t limit = kMaxSmallPart) const;
  // Feeds the inflated part to `sink` piece by piece.
  void Stream(std::string_view part, uint64_t limit,
              const std::function<void(const char*, size_t)>& sink) const;

  // Inflates every entry but those named, checking each against its checksum, so that a damaged
  // member is found now rather than carried into the saved file. Throws PackageError.
  void VerifyAll(const std::vector<std::string>& already_read) const;

  // The same, with the inflating done by a second thread while `sink` works on the pieces
  // already inflated.
  void StreamInBackground(std::string_view part, uint64_t limit,
                          const std::function<void(const char*, size_t)>& sink) const;

  // The relationships of a part; empty when it has none.
  std::vector<Relationship> RelationshipsOf(std::string_view part) const;

 private:
  friend class PartReader;

  // How many bytes the part may inflate to; throws PackageError when its declared size is more.
  uint64_t InflateBound(std::string_view part, uint64_t index, uint64_t limit) const;
  // Throws PackageError when the entry could not be copied as it is into a saved package: its
  // local header or its stored bytes are damaged, though its content may inflate well.
  void CheckCopyable(std::string_view part, uint64_t index) const;

  zip* archive_ = nullptr;
};

// One part inflating as its reader asks for more, within the same limits as Package::Stream.
class PartReader {
 public:
  // Throws PackageError when the part is missing, encrypted or declares a size over the limit.
  PartReader(const Package& package, std::string_view part, uint64_t limit);
  ~PartReader();
  PartReader(const PartReader&) = delete;
  PartReader& operator=(const PartReader&) = delete;

  // Fills up to `capacity` bytes and returns how many; 0 at the end. Throws PackageError when
  // the part is damaged (its checksum is checked at the end) or inflates beyond the limit.
  size_t Read(char* out, size_t capacity);

 private:
  std::string part_;
  uint64_t limit_ = 0;
  uint64_t bound_ = 0;
  uint64_t total_ = 0;
  [[noreturn]] void OpenFailed(zip* archive) const;

  std::unique_ptr<EntryInflater> inflater_;  // a deflated entry
  zip_file* file_ = nullptr;                  // any other, read by libzip
};

}  // namespace quilmark::xlsx
