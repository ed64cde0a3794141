// Compressing a large part before the package is written, on several threads: the text is cut
// into blocks of a megabyte, each compressed on its own and ended on a byte boundary, so that
// the blocks joined in order form one raw deflate stream that any reader inflates as usual.
// Blocks that start without the previous block's window compress a little less well: about a
// tenth of a per cent on sheet XML.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quilmark::xlsx {

struct DeflatedPart {
  std::vector<std::string> blocks;  // joined in order: one raw deflate stream
  uint64_t size = 0;                // the text's length
  uint64_t compressed_size = 0;
  uint32_t crc = 0;  // CRC-32 of the text
};

// Compresses the text that `read` produces at `level` (1 to 9). `read` fills up to `capacity`
// bytes and returns how many, 0 at the end; it is called by one thread at a time, in order.
// An exception from `read` stops the work and is thrown again here.
DeflatedPart DeflateInParallel(const std::function<size_t(char* out, size_t capacity)>& read,
                               int level);

}  // namespace quilmark::xlsx
