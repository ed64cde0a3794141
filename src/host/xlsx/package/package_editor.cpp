#include "src/host/xlsx/package/package_editor.h"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>

#include "src/host/xlsx/package/package.h"
#include "src/host/xlsx/package/write_all.h"

namespace quilmark::xlsx {

// The package's own source: reads come from the loaded bytes, writes go to the descriptor, so
// that the new package is never held in memory.
struct EditorIo {
  const std::string* bytes = nullptr;
  uint64_t read_at = 0;
  int fd = -1;
  bool discard = false;   // a trial copy: nothing is written, positions are only counted
  uint64_t written = 0;   // the end of what a trial copy wrote
  uint64_t write_at = 0;  // where a trial copy writes next
  int write_error = 0;    // errno of a failed write
  zip_error_t error;
};

// A part handed over already compressed: libzip copies compressed data as it is when the
// entry's method matches it. Its sizes and checksum are known once it has been read to the end;
// libzip asks for them again then and writes the entry's header anew.
struct DeflatedSource {
  DeflateStream* stream = nullptr;
  bool ended = false;
  std::exception_ptr failure;  // what the stream threw, for WriteTo to throw again
  zip_error_t error;
};

namespace {

[[noreturn]] void Fail(zip* archive) { throw PackageError(zip_strerror(archive)); }

zip_int64_t SeekWrite(int fd, void* data, zip_uint64_t length, zip_error_t* error) {
  const auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, error);
  if (args == nullptr) return -1;
  if (::lseek(fd, args->offset, args->whence) < 0) {
    zip_error_set(error, ZIP_ER_SEEK, errno);
    return -1;
  }
  return 0;
}

// The writing commands of a trial copy, which keep only the positions.
zip_int64_t TrialWrite(EditorIo& io, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  switch (command) {
    case ZIP_SOURCE_WRITE:
      io.write_at += length;
      io.written = std::max(io.written, io.write_at);
      return static_cast<zip_int64_t>(length);
    case ZIP_SOURCE_SEEK_WRITE: {
      const zip_int64_t at =
          zip_source_seek_compute_offset(io.write_at, io.written, data, length, &io.error);
      if (at < 0) return -1;
      io.write_at = static_cast<uint64_t>(at);
      return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
      return static_cast<zip_int64_t>(io.write_at);
    default:
      return 0;
  }
}

// The writing commands of the package's source.
zip_int64_t PackageWrite(EditorIo& io, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  if (io.discard && command != ZIP_SOURCE_BEGIN_WRITE) return TrialWrite(io, data, length, command);
  switch (command) {
    case ZIP_SOURCE_BEGIN_WRITE:
      if (io.fd < 0 && !io.discard) {
        zip_error_set(&io.error, ZIP_ER_WRITE, EBADF);
        return -1;
      }
      return 0;
    case ZIP_SOURCE_WRITE:
      if (!WriteAll(io.fd, static_cast<const char*>(data), length)) {
        io.write_error = errno;
        zip_error_set(&io.error, ZIP_ER_WRITE, errno);
        return -1;
      }
      return static_cast<zip_int64_t>(length);
    case ZIP_SOURCE_SEEK_WRITE:
      return SeekWrite(io.fd, data, length, &io.error);
    case ZIP_SOURCE_TELL_WRITE: {
      const off_t at = ::lseek(io.fd, 0, SEEK_CUR);
      if (at < 0) zip_error_set(&io.error, ZIP_ER_TELL, errno);
      return at;
    }
    default:
      zip_error_set(&io.error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

zip_int64_t PackageIo(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto& io = *static_cast<EditorIo*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      io.read_at = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const uint64_t n = std::min<uint64_t>(length, io.bytes->size() - io.read_at);
      std::memcpy(data, io.bytes->data() + io.read_at, n);
      io.read_at += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_SEEK: {
      const zip_int64_t at =
          zip_source_seek_compute_offset(io.read_at, io.bytes->size(), data, length, &io.error);
      if (at < 0) return -1;
      io.read_at = static_cast<uint64_t>(at);
      return 0;
    }
    case ZIP_SOURCE_TELL:
      return static_cast<zip_int64_t>(io.read_at);
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = io.bytes->size();
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_BEGIN_WRITE:
    case ZIP_SOURCE_WRITE:
    case ZIP_SOURCE_SEEK_WRITE:
    case ZIP_SOURCE_TELL_WRITE:
      return PackageWrite(io, data, length, command);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
    case ZIP_SOURCE_COMMIT_WRITE:
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
      return 0;
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&io.error, data, length);
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_WRITABLE;
    default:
      zip_error_set(&io.error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

zip_int64_t ReadDeflated(DeflatedSource& source, char* out, zip_uint64_t length) {
  try {
    const size_t n = source.stream->Read(out, length);
    source.ended = n == 0;
    return static_cast<zip_int64_t>(n);
  } catch (...) {
    source.failure = std::current_exception();
    zip_error_set(&source.error, ZIP_ER_READ, 0);
    return -1;
  }
}

void StatDeflated(const DeflatedSource& source, zip_stat_t* st) {
  zip_stat_init(st);
  st->mtime = std::time(nullptr);
  // Until the end, the size only has to be small enough for an entry without 64-bit sizes.
  st->size = source.ended ? source.stream->size() : 0;
  st->crc = source.ended ? source.stream->crc() : 0;
  st->comp_method = ZIP_CM_DEFLATE;
  st->valid |= ZIP_STAT_MTIME | ZIP_STAT_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
  if (source.ended) {
    st->comp_size = source.stream->compressed_size();
    st->valid |= ZIP_STAT_COMP_SIZE;
  }
}

zip_int64_t DeflatedIo(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto& source = *static_cast<DeflatedSource*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      return 0;
    case ZIP_SOURCE_READ:
      return ReadDeflated(source, static_cast<char*>(data), length);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_STAT:
      StatDeflated(source, static_cast<zip_stat_t*>(data));
      return sizeof(zip_stat_t);
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source.error, data, length);
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&source.error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

}  // namespace

PackageEditor::PackageEditor(const std::string& bytes) : io_(std::make_unique<EditorIo>()) {
  io_->bytes = &bytes;
  zip_error_init(&io_->error);
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_function_create(PackageIo, io_.get(), &error);
  if (source != nullptr) archive_ = zip_open_from_source(source, 0, &error);
  if (archive_ == nullptr) {
    const std::string reason = zip_error_strerror(&error);
    if (source != nullptr) zip_source_free(source);
    zip_error_fini(&error);
    throw PackageError(reason);
  }
  zip_error_fini(&error);
}

PackageEditor::~PackageEditor() {
  if (archive_ != nullptr) zip_discard(archive_);
  for (const auto& source : deflated_) zip_error_fini(&source->error);
  zip_error_fini(&io_->error);
}

void PackageEditor::Put(const std::string& part, std::string text) {
  texts_.push_back(std::make_unique<std::string>(std::move(text)));
  const std::string& kept = *texts_.back();
  zip_source_t* source = zip_source_buffer(archive_, kept.data(), kept.size(), 0);
  if (source == nullptr) Fail(archive_);
  const zip_int64_t index = zip_name_locate(archive_, part.c_str(), ZIP_FL_ENC_RAW);
  const bool done =
      index >= 0 ? zip_file_replace(archive_, static_cast<zip_uint64_t>(index), source, 0) == 0
                 : zip_file_add(archive_, part.c_str(), source, ZIP_FL_ENC_UTF_8) >= 0;
  if (!done) {
    zip_source_free(source);
    Fail(archive_);
  }
}

void PackageEditor::PutDeflated(const std::string& part, DeflateStream* data) {
  deflated_.push_back(std::make_unique<DeflatedSource>());
  DeflatedSource& state = *deflated_.back();
  state.stream = data;
  zip_error_init(&state.error);
  zip_source_t* source = zip_source_function(archive_, DeflatedIo, &state);
  if (source == nullptr) Fail(archive_);
  // libzip keeps an entry's method only for one it did not have before, so the part is removed
  // and added again (at the end of the package, where order does not matter). A package may
  // hold a second entry of the same name, which other readers might take for the part; it goes
  // too.
  Remove(part);
  const zip_int64_t index = zip_file_add(archive_, part.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    Fail(archive_);
  }
  zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
}

void PackageEditor::Remove(const std::string& part) {
  const zip_int64_t entries = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (name != nullptr && part == name && zip_delete(archive_, static_cast<zip_uint64_t>(i)) < 0) {
      Fail(archive_);
    }
  }
}

void PackageEditor::KeepOnlyEmptyParts() {
  const zip_int64_t entries = zip_get_num_entries(archive_, 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &st) < 0) Fail(archive_);
    const bool empty = (st.valid & ZIP_STAT_COMP_SIZE) != 0 && st.comp_size == 0;
    if (!empty && zip_delete(archive_, static_cast<zip_uint64_t>(i)) < 0) Fail(archive_);
  }
}

void PackageEditor::TryCopy() {
  io_->discard = true;
  if (zip_close(archive_) < 0) Fail(archive_);
  archive_ = nullptr;
}

void PackageEditor::WriteTo(int fd) {
  io_->fd = fd;
  if (zip_close(archive_) < 0) {
    for (const auto& source : deflated_) {
      if (source->failure) std::rethrow_exception(source->failure);
    }
    if (io_->write_error != 0) {
      throw PackageError("写入出错 (" + std::string(std::strerror(io_->write_error)) + ")");
    }
    Fail(archive_);
  }
  archive_ = nullptr;
}

}  // namespace quilmark::xlsx
