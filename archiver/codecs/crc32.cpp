#include "archiver/codecs/crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PS_CRC_CLMUL 1
#endif

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

#if PS_CRC_CLMUL
// Carry-less multiplication folding (Intel's "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ").  Each 128-bit lane is multiplied forward by x^D mod P and
// added to the data D bits further on, which keeps the value congruent to the message
// modulo P.  The folded 16 bytes therefore have the message's CRC, and the table method
// finishes them.  The constants are x^(D+32) and x^(D-32) mod P, bit-reflected, for
// D = 512 (four lanes) and D = 128 (one lane).
__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i x, __m128i k, __m128i data) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)),
                       data);
}

// Needs size >= 64; consumes a multiple of 16 bytes and returns how many.
__attribute__((target("pclmul,sse2"))) size_t FoldBlocks(uint32_t& crc, const uint8_t* p, size_t size) {
  const __m128i k512 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k128 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  auto load = [](const uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(crc)));
  __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
  size_t done = 64;
  for (; size - done >= 64; done += 64) {
    x0 = Fold(x0, k512, load(p + done));
    x1 = Fold(x1, k512, load(p + done + 16));
    x2 = Fold(x2, k512, load(p + done + 32));
    x3 = Fold(x3, k512, load(p + done + 48));
  }
  x0 = Fold(x0, k128, x1);
  x0 = Fold(x0, k128, x2);
  x0 = Fold(x0, k128, x3);
  for (; size - done >= 16; done += 16) x0 = Fold(x0, k128, load(p + done));
  alignas(16) uint8_t folded[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(folded), x0);
  uint32_t c = 0;
  for (uint8_t b : folded) c = kTables[0][(c ^ b) & 0xFF] ^ (c >> 8);
  crc = c;
  return done;
}

bool HaveClmul() {
  static const bool have = [] {
    __builtin_cpu_init();  // static initialisers may run before libgcc's own
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
  }();
  return have;
}
#endif

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
#if PS_CRC_CLMUL
  if (size >= 256 && HaveClmul()) {
    const size_t done = FoldBlocks(crc, p, size);
    p += done;
    size -= done;
  }
#endif
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
