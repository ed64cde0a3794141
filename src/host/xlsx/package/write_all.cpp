#include "src/host/xlsx/package/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace quilmark::xlsx {

bool WriteAll(int fd, const char* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(fd, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace quilmark::xlsx
