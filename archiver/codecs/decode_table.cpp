#include "archiver/codecs/decode_table.h"

#include <new>

namespace codecs {
namespace {

constexpr uint32_t MakeEntry(unsigned op, unsigned bits, unsigned value) {
  return (uint32_t(value) << 16) | (op << 8) | bits;
}

// Reverses the low `len` bits: canonical codes are sent most significant bit first,
// the bit buffer hands out the least significant first.
inline unsigned Reverse(unsigned code, unsigned len) {
  unsigned r = 0;
  for (unsigned i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return r;
}

}  // namespace

int BuildDecodeTable(const uint8_t* lengths, unsigned n, unsigned simple,
                     std::span<const uint16_t> bases, std::span<const uint8_t> extras,
                     unsigned& lookup_bits, DecodeTable& table) {
  unsigned count[kMaxCodeLength + 1] = {};
  for (unsigned i = 0; i < n; ++i) {
    if (lengths[i] > kMaxCodeLength) return kTableBad;
    ++count[lengths[i]];
  }
  const uint32_t invalid = MakeEntry(kOpInvalid, 1, 0);
  if (count[0] == n) {
    // No codes at all: a one-entry table that decodes nothing.
    lookup_bits = 0;
    table.root_bits = 0;
    table.entries.assign(1, MakeEntry(kOpInvalid, 0, 0));
    return kTableComplete;
  }
  unsigned min_len = 1, max_len = kMaxCodeLength;
  while (count[min_len] == 0) ++min_len;
  while (count[max_len] == 0) --max_len;
  unsigned root = lookup_bits;
  if (root < min_len) root = min_len;
  if (root > max_len) root = max_len;

  int left = 1;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    left <<= 1;
    left -= int(count[len]);
    if (left < 0) return kTableBad;
  }
  const bool incomplete = left > 0 && max_len > 1;

  // Symbols in canonical order: by length, then by symbol.
  unsigned offs[kMaxCodeLength + 2] = {};
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) offs[len + 1] = offs[len] + count[len];
  uint16_t sorted[1 << 9];  // n never exceeds 320
  if (n > sizeof(sorted) / sizeof(sorted[0])) return kTableBad;
  for (unsigned i = 0; i < n; ++i)
    if (lengths[i] != 0) sorted[offs[lengths[i]]++] = uint16_t(i);
  const unsigned coded = n - count[0];

  try {
    table.entries.assign(size_t(1) << root, invalid);
  } catch (const std::bad_alloc&) {
    return kTableNoMemory;
  }
  table.root_bits = root;

  unsigned remaining[kMaxCodeLength + 1];
  for (unsigned len = 0; len <= kMaxCodeLength; ++len) remaining[len] = count[len];

  unsigned code = 0;  // canonical code of the current symbol, most significant bit first
  unsigned len = min_len;
  const unsigned root_mask = (1u << root) - 1;
  unsigned current_root = ~0u;  // first-level index whose sub-table is being filled
  size_t sub_base = 0;          // where that sub-table starts
  unsigned sub_bits = 0;
  for (unsigned k = 0; k < coded; ++k) {
    const unsigned sym = sorted[k];
    while (lengths[sym] != len) {  // next length: codes continue one bit longer
      code <<= 1;
      ++len;
    }
    uint32_t entry;
    if (sym < simple) {
      // Symbol 256 ends a block; every other simple symbol stands for itself (the
      // code-length alphabet of a dynamic header is all simple symbols below 19).
      entry = sym == 256 ? MakeEntry(kOpEndOfBlock, 0, 0) : MakeEntry(kOpLiteral, 0, sym);
    } else {
      const unsigned idx = sym - simple;
      if (idx < bases.size() && idx < extras.size())
        entry = MakeEntry(extras[idx], 0, bases[idx]);
      else
        entry = invalid & ~0xFFu;
    }
    const unsigned rev = Reverse(code, len);
    if (len <= root) {
      entry |= len;
      for (unsigned i = rev; i <= root_mask; i += 1u << len) table.entries[i] = entry;
    } else {
      const unsigned r = rev & root_mask;
      if (r != current_root) {
        // A new sub-table, as wide as the codes still to come under this prefix need.
        unsigned curr = len - root;
        int space = 1 << curr;
        while (curr + root < max_len) {
          space -= int(remaining[curr + root]);
          if (space <= 0) break;
          ++curr;
          space <<= 1;
        }
        sub_base = table.entries.size();
        sub_bits = curr;
        if (sub_base + (size_t(1) << curr) > 0xFFFF) return kTableNoMemory;
        try {
          table.entries.resize(sub_base + (size_t(1) << curr), invalid);
        } catch (const std::bad_alloc&) {
          return kTableNoMemory;
        }
        table.entries[r] = MakeEntry(kOpLiteral + curr, root, unsigned(sub_base));
        current_root = r;
      }
      const unsigned step = len - root;
      entry |= step;
      for (unsigned i = rev >> root; i < (1u << sub_bits); i += 1u << step)
        table.entries[sub_base + i] = entry;
    }
    --remaining[len];
    ++code;
  }
  lookup_bits = root;
  return incomplete ? kTableIncomplete : kTableComplete;
}

}  // namespace codecs
