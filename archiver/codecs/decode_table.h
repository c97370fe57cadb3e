// Huffman decoding tables shared by inflate and explode.
//
// A table is a first level of 2^root_bits entries indexed by the next root_bits bits of
// the bit buffer (least significant bit first), and second-level sub-tables for the codes
// longer than that.  Each entry is one 32-bit word:
//   bits  0-7   bits the entry consumes at its level
//   bits  8-15  op: 0-14 a length/distance base in value followed by op extra bits,
//               15 end of block, 16 a literal in value, 17 and above a link to the
//               sub-table at value indexed by op-16 further bits, 99 an invalid code
//   bits 16-31  value
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace codecs {

inline constexpr unsigned kOpEndOfBlock = 15;
inline constexpr unsigned kOpLiteral = 16;
inline constexpr unsigned kOpInvalid = 99;
inline constexpr unsigned kMaxCodeLength = 16;  // deflate uses 15, implode 16

inline constexpr unsigned EntryBits(uint32_t e) { return e & 0xFF; }
inline constexpr unsigned EntryOp(uint32_t e) { return (e >> 8) & 0xFF; }
inline constexpr unsigned EntryValue(uint32_t e) { return e >> 16; }

struct DecodeTable {
  std::vector<uint32_t> entries;  // reused from block to block; grows to what a set needs
  unsigned root_bits = 0;
};

// What BuildDecodeTable reports.
enum TableResult : int {
  kTableComplete = 0,
  kTableIncomplete = 1,  // built, but code space is left (and the longest code is > 1 bit)
  kTableBad = 2,         // over-subscribed or otherwise invalid lengths
  kTableNoMemory = 3,
};

// Builds the table for the code lengths lengths[0..n) (0 = unused, at most
// kMaxCodeLength).  The first `simple` symbols decode as literals below 256 and the end
// of block at 256; the others, symbol - simple, index `bases`/`extras` (missing entries
// decode as invalid).  `lookup_bits` is the wanted first-level size; it comes back clamped
// between the shortest and the longest length (0 when every length is 0, which is a
// complete, empty table that decodes nothing).  Unused code space decodes as invalid.
int BuildDecodeTable(const uint8_t* lengths, unsigned n, unsigned simple,
                     std::span<const uint16_t> bases, std::span<const uint8_t> extras,
                     unsigned& lookup_bits, DecodeTable& table);

}  // namespace codecs
