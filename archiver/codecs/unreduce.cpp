#include "archiver/codecs/unreduce.h"

#include <memory>

namespace codecs {
namespace {

constexpr unsigned kWindow = 16384;

// Bits of an index into a follower set of n bytes.
unsigned IndexBits(unsigned n) {
  unsigned b = 1;
  while ((1u << b) < n) ++b;
  return b;
}

struct State {
  uint8_t window[kWindow];
  uint8_t followers[256][64];
  uint8_t set_size[256];
};

}  // namespace

LegacyStatus Unreduce(MemberInput& in, MemberOutput& out, unsigned factor, uint64_t uncompressed_size) {
  if (factor < 1 || factor > 4) return LegacyStatus::kBadData;
  static constexpr unsigned kLengthMask[5] = {0, 127, 63, 31, 15};
  static constexpr unsigned kDistShift[5] = {0, 7, 6, 5, 4};
  static constexpr unsigned kDistMask[5] = {0, 1, 3, 7, 15};
  const unsigned lmask = kLengthMask[factor];

  auto s = std::make_unique<State>();
  BitReader bits(in);
  BlockWriter writer(out);

  for (int x = 255; x >= 0; --x) {
    const unsigned n = bits.Bits(6);
    s->set_size[x] = uint8_t(n);  // 6 bits: at most 63
    for (unsigned i = 0; i < n; ++i) s->followers[x][i] = uint8_t(bits.Bits(8));
  }
  if (bits.Overrun()) return LegacyStatus::kTruncated;

  uint64_t left = uncompressed_size;
  unsigned pos = 0;
  bool first_pass = true;
  auto put = [&](uint8_t b) {
    s->window[pos++] = b;
    --left;
    if (pos == kWindow) {
      writer.Put(s->window, kWindow);
      pos = 0;
      first_pass = false;
    }
  };

  unsigned last = 0, state = 0, v = 0, len = 0;
  LegacyStatus status = LegacyStatus::kOk;
  while (left > 0) {
    unsigned c;
    const unsigned n = s->set_size[last];
    if (n == 0) {
      c = bits.Bits(8);
    } else if (bits.Bits(1)) {
      c = bits.Bits(8);
    } else {
      const unsigned i = bits.Bits(IndexBits(n));
      // An index past a set's end is invalid data.
      if (i >= n && !bits.Overrun()) {
        status = LegacyStatus::kBadData;
        break;
      }
      c = i < n ? s->followers[last][i] : 0;
    }
    if (bits.Overrun()) {
      status = LegacyStatus::kTruncated;
      break;
    }
    switch (state) {
      case 0:
        if (c == 144)
          state = 1;
        else
          put(uint8_t(c));
        break;
      case 1:
        if (c == 0) {
          put(144);
          state = 0;
        } else {
          v = c;
          len = v & lmask;
          state = len == lmask ? 2 : 3;
        }
        break;
      case 2:
        len += c;
        state = 3;
        break;
      default: {
        const unsigned dist = ((v >> kDistShift[factor]) & kDistMask[factor]) * 256 + c + 1;
        uint64_t n_copy = len + 3;
        if (n_copy > left) n_copy = left;
        for (; n_copy > 0; --n_copy) {
          // Before the start of the data (first pass only) the window reads as zeros.
          const bool before_start = first_pass && dist > pos;
          put(before_start ? 0 : s->window[(pos - dist) & (kWindow - 1)]);
        }
        state = 0;
        break;
      }
    }
    last = c;
  }
  writer.Put(s->window, pos);
  writer.Flush();
  return status;
}

}  // namespace codecs
