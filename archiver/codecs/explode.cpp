#include "archiver/codecs/explode.h"

#include <algorithm>
#include <memory>

#include "archiver/codecs/decode_table.h"

namespace codecs {
namespace {

constexpr unsigned kWindow = 32768;

struct State {
  uint8_t window[kWindow];
  DecodeTable lit, len, dist;
};

// A tree's code lengths: a count byte, then bytes of (repeat - 1) << 4 | (length - 1).
bool ReadCodeLengths(BitReader& bits, uint8_t* lengths, unsigned n) {
  const unsigned count = bits.Bits(8) + 1;
  unsigned k = 0;
  for (unsigned i = 0; i < count; ++i) {
    const unsigned b = bits.Bits(8);
    const unsigned length = (b & 15) + 1;
    const unsigned repeat = (b >> 4) + 1;
    if (repeat > n - k) return false;
    for (unsigned r = 0; r < repeat; ++r) lengths[k++] = uint8_t(length);
  }
  return k == n && !bits.Overrun();
}

// One symbol.  The codes are stored with their bits inverted, so the lookups use the
// complement of the held bits.
uint32_t DecodeInverted(BitReader& bits, const DecodeTable& t) {
  bits.Need(t.root_bits);
  uint32_t e = t.entries[~bits.Peek() & ((1u << t.root_bits) - 1)];
  const unsigned op = EntryOp(e);
  if (op > kOpLiteral && op != kOpInvalid) {
    bits.Drop(EntryBits(e));
    bits.Need(op - kOpLiteral);
    e = t.entries[EntryValue(e) + (~bits.Peek() & ((1u << (op - kOpLiteral)) - 1))];
  }
  if (EntryOp(e) != kOpInvalid) bits.Drop(EntryBits(e));
  return e;
}

}  // namespace

LegacyStatus Explode(MemberInput& in, MemberOutput& out, uint16_t flags, uint64_t compressed_size,
                     uint64_t uncompressed_size) {
  const bool literal_tree = flags & kImplodeFlagLiteralTree;
  const bool big_dictionary = flags & kImplodeFlag8kDictionary;
  const unsigned low_bits = big_dictionary ? 7 : 6;
  auto s = std::make_unique<State>();
  BitReader bits(in);
  BlockWriter writer(out);

  uint8_t lengths[256];
  uint16_t bases[64];
  uint8_t extras[64] = {};
  if (literal_tree) {
    unsigned lb = 9;
    if (!ReadCodeLengths(bits, lengths, 256)) return LegacyStatus::kBadData;
    if (BuildDecodeTable(lengths, 256, 256, {}, {}, lb, s->lit) != kTableComplete)
      return LegacyStatus::kBadData;
  }
  if (!ReadCodeLengths(bits, lengths, 64)) return LegacyStatus::kBadData;
  for (unsigned k = 0; k < 64; ++k) bases[k] = uint16_t(k + (literal_tree ? 3 : 2));
  extras[63] = 8;
  unsigned bl = 7;
  if (BuildDecodeTable(lengths, 64, 0, bases, extras, bl, s->len) != kTableComplete)
    return LegacyStatus::kBadData;
  if (!ReadCodeLengths(bits, lengths, 64)) return LegacyStatus::kBadData;
  for (unsigned k = 0; k < 64; ++k) bases[k] = uint16_t(1 + (k << low_bits));
  std::fill(extras, extras + 64, 0);
  unsigned bd = compressed_size > 200000 ? 8 : 7;
  if (BuildDecodeTable(lengths, 64, 0, bases, extras, bd, s->dist) != kTableComplete)
    return LegacyStatus::kBadData;

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

  LegacyStatus status = LegacyStatus::kOk;
  while (left > 0) {
    if (bits.Bits(1)) {
      unsigned c;
      if (literal_tree) {
        const uint32_t e = DecodeInverted(bits, s->lit);
        if (EntryOp(e) == kOpInvalid) {
          status = LegacyStatus::kBadData;
          break;
        }
        c = EntryValue(e);
      } else {
        c = bits.Bits(8);
      }
      if (bits.Overrun()) {
        status = LegacyStatus::kTruncated;
        break;
      }
      put(uint8_t(c));
      continue;
    }
    const unsigned low = bits.Bits(low_bits);
    const uint32_t de = DecodeInverted(bits, s->dist);
    if (EntryOp(de) == kOpInvalid) {
      status = LegacyStatus::kBadData;
      break;
    }
    const uint32_t le = DecodeInverted(bits, s->len);
    if (EntryOp(le) == kOpInvalid) {
      status = LegacyStatus::kBadData;
      break;
    }
    uint64_t n = EntryValue(le) + bits.Bits(EntryOp(le));
    if (bits.Overrun()) {
      status = LegacyStatus::kTruncated;
      break;
    }
    const unsigned dist = EntryValue(de) + low;
    if (n > left) n = left;
    for (; n > 0; --n) {
      // Before the start of the data (first pass only) the window reads as zeros.
      const bool before_start = first_pass && dist > pos;
      put(before_start ? 0 : s->window[(pos - dist) & (kWindow - 1)]);
    }
  }
  writer.Put(s->window, pos);
  writer.Flush();
  return status;
}

}  // namespace codecs
