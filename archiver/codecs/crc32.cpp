#include "archiver/codecs/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace codecs {
namespace {

constexpr int kSlices = 16;
using SliceTables = std::array<std::array<uint32_t, 256>, kSlices>;

// Slice k maps a byte to the CRC of that byte followed by k zero bytes, so sixteen
// input bytes fold in with sixteen independent lookups instead of a dependent chain.
constexpr SliceTables MakeTables() {
  SliceTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (int s = 1; s < kSlices; ++s)
    for (uint32_t i = 0; i < 256; ++i)
      t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  return t;
}

constexpr SliceTables kTables = MakeTables();

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

const uint32_t* Crc32Table() { return kTables[0].data(); }

uint32_t UpdateCrc(uint8_t byte, uint32_t crc) {
  return kTables[0][(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

uint32_t Crc32UpdateBytewise(uint32_t crc, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) crc = kTables[0][(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if constexpr (std::endian::native == std::endian::little) {
    const auto& t = kTables;
    while (size >= 16) {
      const uint32_t a = Load32(p) ^ crc, b = Load32(p + 4), c = Load32(p + 8),
                     d = Load32(p + 12);
      crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
            t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
            t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
            t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
      p += 16;
      size -= 16;
    }
  }
  return Crc32UpdateBytewise(crc, p, size);
}

}  // namespace codecs
