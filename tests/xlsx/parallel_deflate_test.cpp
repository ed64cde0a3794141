// The sheet compressed in blocks on several threads must inflate, as one stream, to exactly the
// text it was given, with the right checksum; a failure while producing the text must surface.
#include "src/host/xlsx/package/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

namespace quilmark::xlsx {
namespace {

std::string Inflate(const DeflatedPart& part) {
  std::string joined;
  for (const std::string& block : part.blocks) joined += block;
  EXPECT_EQ(joined.size(), part.compressed_size);
  z_stream stream{};
  EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
  std::string out(part.size + 1, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(joined.data());
  stream.avail_in = static_cast<uInt>(joined.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(stream.avail_in, 0u);  // the stream ends where the blocks end
  out.resize(out.size() - stream.avail_out);
  inflateEnd(&stream);
  return out;
}

TEST(ParallelDeflate, BlocksInflateAsOneStream) {
  std::mt19937 random(3);
  for (const size_t size : {size_t{0}, size_t{1}, size_t{100000}, size_t{(4 << 20) - 1},
                            size_t{4 << 20}, size_t{(13 << 20) + 77}}) {
    SCOPED_TRACE(size);
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = "<row r=\"1\"><c>01234</c>"[random() % 22];
    size_t given = 0;
    // The producer hands out uneven pieces, as the sheet writer does.
    const DeflatedPart part = DeflateInParallel([&](char* out, size_t capacity) {
      const size_t n = std::min({capacity, text.size() - given, size_t{1 + random() % 900000}});
      std::memcpy(out, text.data() + given, n);
      given += n;
      return n;
    });
    EXPECT_EQ(part.size, size);
    EXPECT_EQ(part.crc, crc32(0, reinterpret_cast<const Bytef*>(text.data()),
                              static_cast<uInt>(text.size())));
    EXPECT_TRUE(Inflate(part) == text);
  }
}

TEST(ParallelDeflate, AFailureOfTheProducerIsThrown) {
  size_t calls = 0;
  EXPECT_THROW(DeflateInParallel([&](char* out, size_t capacity) -> size_t {
                 if (++calls == 5) throw std::runtime_error("row");
                 std::memset(out, 'x', capacity);
                 return capacity;
               }),
               std::runtime_error);
}

// A block whose text fails to be made, on whichever thread makes it, fails the stream.
TEST(ParallelDeflate, AFailureWhileMakingABlockIsThrown) {
  for (const int failing : {0, 3, 9}) {
    int handed = 0;
    DeflateStream stream([&]() -> MakeText {
      if (handed == 12) return {};
      const int number = handed++;
      return [number, failing](std::string& text) {
        if (number == failing) throw std::runtime_error("row");
        text.assign(300000, 'x');
      };
    });
    std::string out(1 << 16, '\0');
    EXPECT_THROW(while (stream.Read(out.data(), out.size()) > 0){}, std::runtime_error) << failing;
  }
}

}  // namespace
}  // namespace quilmark::xlsx
