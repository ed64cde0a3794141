// Writing a whole buffer to a descriptor.
#pragma once

#include <cstddef>

namespace quilmark::xlsx {

// Writes all `length` bytes, retrying after interruptions and short writes; false with errno
// set on failure.
bool WriteAll(int fd, const char* data, size_t length);

}  // namespace quilmark::xlsx
