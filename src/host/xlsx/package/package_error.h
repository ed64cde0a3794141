// The failure of reading a workbook package.
#pragma once

#include <stdexcept>

namespace quilmark::xlsx {

// A failure to read the package or one of its parts. what() is the reason, without the
// "cannot read" prefix.
class PackageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quilmark::xlsx
