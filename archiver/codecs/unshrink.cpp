#include "archiver/codecs/unshrink.h"

#include <memory>

namespace codecs {
namespace {

constexpr unsigned kMaxCodeBits = 13;
constexpr unsigned kCodes = 1u << kMaxCodeBits;  // 8192
constexpr int16_t kFree = -1;

struct Tables {
  int16_t prefix[kCodes + 1];
  uint8_t suffix[kCodes + 1];
  uint8_t stack[kCodes + 1];
  uint8_t mark[kCodes + 1];
};

unsigned FirstFree(const Tables& t) {
  unsigned c = 257;
  while (c < kCodes && t.prefix[c] != kFree) ++c;
  return c;
}

// Frees every string code below `next_free` that no other such code continues.
void ClearUnusedCodes(Tables& t, unsigned next_free) {
  for (unsigned c = 257; c < next_free; ++c) t.mark[c] = 1;
  for (unsigned c = 257; c < next_free; ++c)
    if (t.prefix[c] >= 257 && unsigned(t.prefix[c]) < next_free) t.mark[t.prefix[c]] = 0;
  for (unsigned c = 257; c < next_free; ++c)
    if (t.mark[c]) t.prefix[c] = kFree;
}

}  // namespace

LegacyStatus Unshrink(MemberInput& in, MemberOutput& out) {
  auto t = std::make_unique<Tables>();
  BlockWriter writer(out);
  BitReader bits(in);
  for (unsigned c = 0; c < 256; ++c) {
    t->prefix[c] = 0;
    t->suffix[c] = uint8_t(c);
  }
  for (unsigned c = 256; c <= kCodes; ++c) t->prefix[c] = kFree;
  unsigned code_bits = 9;
  unsigned next_free = 257;

  unsigned prev = bits.Bits(code_bits);
  if (bits.Overrun()) return LegacyStatus::kOk;  // empty member
  uint8_t last = uint8_t(prev);
  writer.Put(last);

  LegacyStatus status = LegacyStatus::kOk;
  for (;;) {
    unsigned code = bits.Bits(code_bits);
    if (bits.Overrun()) break;
    bool ended = false;
    while (code == 256) {
      const unsigned ctl = bits.Bits(code_bits);
      if (bits.Overrun()) {
        ended = true;
        break;
      }
      if (ctl == 1) {
        if (++code_bits > kMaxCodeBits) {
          status = LegacyStatus::kBadData;
          ended = true;
          break;
        }
      } else if (ctl == 2) {
        ClearUnusedCodes(*t, next_free);
        next_free = FirstFree(*t);
      }
      code = bits.Bits(code_bits);
      if (bits.Overrun()) {
        ended = true;
        break;
      }
    }
    if (ended) break;

    const unsigned incoming = code;
    unsigned depth = 0;
    // A code not yet defined is the previous string plus its own first byte.
    if (t->prefix[code] == kFree) {
      t->stack[depth++] = last;
      code = prev;
    }
    while (code > 256) {
      if (depth >= kCodes) break;  // a chain that never reaches a byte
      if (t->prefix[code] == kFree) {
        t->stack[depth++] = last;
        code = prev;
      } else {
        t->stack[depth++] = t->suffix[code];
        code = unsigned(t->prefix[code]);
      }
    }
    if (depth >= kCodes) {
      status = LegacyStatus::kBadData;
      break;
    }
    last = t->suffix[code];
    t->stack[depth++] = last;
    while (depth > 0) writer.Put(t->stack[--depth]);

    if (next_free < kCodes) {
      t->prefix[next_free] = int16_t(prev);
      t->suffix[next_free] = last;
      ++next_free;
      while (next_free < kCodes && t->prefix[next_free] != kFree) ++next_free;
    }
    prev = incoming;
  }
  writer.Flush();
  return status;
}

}  // namespace codecs
