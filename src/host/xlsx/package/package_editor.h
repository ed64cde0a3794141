// Writing a changed package: the loaded package with some parts replaced, added or removed,
// written straight to a file descriptor. Every part not named keeps its compressed bytes as
// they were.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "src/host/xlsx/package/parallel_deflate.h"

struct zip;
struct zip_source;

namespace quilmark::xlsx {

struct EditorIo;
struct DeflatedSource;

class PackageEditor {
 public:
  // Edits the package held in `bytes`, which must outlive the editor. Throws PackageError.
  explicit PackageEditor(const std::string& bytes);
  ~PackageEditor();
  PackageEditor(const PackageEditor&) = delete;
  PackageEditor& operator=(const PackageEditor&) = delete;

  // Gives the part this text, adding it when absent. Throws PackageError.
  void Put(const std::string& part, std::string text);
  // Gives the part the compressed text that `data` produces while WriteTo writes it; a second
  // entry of the same name goes. Throws PackageError. WriteTo throws again what `data` throws.
  void PutDeflated(const std::string& part, DeflateStream* data);
  // Removes the part; nothing when absent. Throws PackageError.
  void Remove(const std::string& part);

  // Writes the whole package to `fd` from its current position. Once. Throws PackageError.
  void WriteTo(int fd);

  // Leaves out every part with stored bytes: what is left are folders and empty parts, whose
  // local headers nothing but a save's copying reads.
  void KeepOnlyEmptyParts();
  // Copies the package as WriteTo would, writing nothing: throws PackageError when a save
  // could not copy it. Once, instead of WriteTo.
  void TryCopy();

 private:
  zip* archive_ = nullptr;
  std::unique_ptr<EditorIo> io_;
  std::vector<std::unique_ptr<std::string>> texts_;  // what Put hands to libzip
  std::vector<std::unique_ptr<DeflatedSource>> deflated_;
};

}  // namespace quilmark::xlsx
