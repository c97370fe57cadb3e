// CRC-32: check values and the fast paths against the byte-at-a-time table method.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "archiver/codecs/crc32.h"

namespace codecs {
namespace {

TEST(Crc32, CheckValues) {
  EXPECT_EQ(Crc32("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  uint32_t crc = 0xFFFFFFFF;
  for (char c : std::string("abc")) crc = UpdateCrc(uint8_t(c), crc);
  EXPECT_EQ(~crc, 0x352441C2u);
}

TEST(Crc32, TableIsTheStandardOne) {
  const uint32_t* t = Crc32Table();
  EXPECT_EQ(t[0], 0u);
  EXPECT_EQ(t[1], 0x77073096u);
  EXPECT_EQ(t[128], 0xEDB88320u);
  EXPECT_EQ(t[255], 0x2D02EF8Du);
}

// Every length from 0 to a few hundred (the folding path starts at 256 bytes and works
// in 16- and 64-byte steps), at every alignment, from arbitrary running values, and a
// few long buffers; zlib is an independent check.
TEST(Crc32, FastPathsMatchTheTableMethod) {
  std::mt19937 rng(11);
  std::vector<uint8_t> data(300000);
  for (auto& b : data) b = uint8_t(rng());
  for (size_t len = 0; len < 700; ++len) {
    for (size_t align = 0; align < 16; align += 5) {
      const uint32_t start = rng();
      ASSERT_EQ(Crc32Update(start, data.data() + align, len), Crc32UpdateBytewise(start, data.data() + align, len))
          << len << " " << align;
    }
  }
  for (size_t len : {4095u, 16000u, 65535u, 65536u, 299990u}) {
    const size_t align = rng() % 8;
    EXPECT_EQ(Crc32(data.data() + align, len), crc32(0, data.data() + align, unsigned(len))) << len;
  }
}

// A CRC carried across blocks is the CRC of the whole.
TEST(Crc32, RunningValueAcrossBlocks) {
  std::vector<uint8_t> data(50000);
  std::mt19937 rng(2);
  for (auto& b : data) b = uint8_t(rng());
  uint32_t crc = 0xFFFFFFFF;
  size_t pos = 0;
  while (pos < data.size()) {
    const size_t n = std::min<size_t>(rng() % 5000, data.size() - pos);
    crc = Crc32Update(crc, data.data() + pos, n);
    pos += n;
  }
  EXPECT_EQ(~crc, Crc32(data.data(), data.size()));
}

}  // namespace
}  // namespace codecs
