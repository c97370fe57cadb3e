// The back half of the compressor: the symbol buffer of the block being collected, the
// decision where a block ends, Huffman tree building (with the fix-up of over-long codes),
// the choice between stored, fixed and dynamic blocks, and the bit stream of RFC 1951.
#pragma once

#include <cstdint>
#include <vector>

#include "archiver/codecs/compressor_workspace.h"
#include "archiver/codecs/deflate.h"
#include "archiver/codecs/deflate_bits.h"

namespace codecs {

inline constexpr unsigned kLengthCodes = 29;
inline constexpr unsigned kLiteralCodes = 256 + 1 + kLengthCodes;  // 286
inline constexpr unsigned kDistanceCodes = 30;
inline constexpr unsigned kBitLengthCodes = 19;
inline constexpr unsigned kHeapSize = 2 * kLiteralCodes + 1;         // 573
inline constexpr unsigned kEndOfBlock = 256;

// The fixed tables of RFC 1951, built once per process on first use.
struct DeflateTables {
  uint8_t length_code[256];     // by match length - 3; entry 255 (length 258) is code 28
  uint8_t base_length[kLengthCodes];
  uint8_t distance_code[512];   // by distance - 1: below 256 directly, else 256 + (d >> 7)
  uint16_t base_distance[kDistanceCodes];
  uint16_t fixed_literal_code[288];  // bit-reversed, ready to send
  uint8_t fixed_literal_length[288];
  uint16_t fixed_distance_code[kDistanceCodes];
  uint8_t fixed_distance_length[kDistanceCodes];
};
const DeflateTables& GetDeflateTables();

inline unsigned DistanceCodeOf(const DeflateTables& t, unsigned distance_minus_1) {
  return distance_minus_1 < 256 ? t.distance_code[distance_minus_1]
                                : t.distance_code[256 + (distance_minus_1 >> 7)];
}

extern const uint8_t kExtraLengthBits[kLengthCodes];
extern const uint8_t kExtraDistanceBits[kDistanceCodes];

// One Huffman tree under construction: leaves 0..elements-1, internal nodes after them.
struct HuffmanTree {
  uint32_t freq[kHeapSize];
  uint16_t dad[kHeapSize];
  uint8_t len[kHeapSize];
  uint16_t code[kHeapSize];  // bit-reversed
  int max_code = -1;         // highest code with a length
};

// How one block was written, and the sizes that decided it (for tests and tuning).
enum class BlockKind : uint8_t { kWholeEntryStored, kStored, kFixed, kDynamic };
struct BlockDecision {
  BlockKind kind;
  unsigned symbols;         // literals and matches, without end-of-block
  uint64_t stored_length;   // input bytes of the block
  uint64_t fixed_bytes;     // (fixed estimate + 3 + 7) / 8
  uint64_t dynamic_bytes;   // (dynamic estimate + 3 + 7) / 8
};

class DeflateBlocks {
 public:
  DeflateBlocks(CompressorWorkspace& workspace, DeflateBitWriter& out, int level);

  // Empties the block: no symbols, all frequencies 0 but end-of-block's 1.
  void InitBlockState();

  // Records one symbol; true when the block must be flushed now.  `position` is the
  // matcher's current position and `block_start` the window position where the block
  // began (negative once it has slid out), for the early-end estimate.
  bool TallyLiteral(uint8_t byte, unsigned position, int32_t block_start);
  bool TallyMatch(unsigned distance, unsigned length_minus_3, unsigned position,
                  int32_t block_start);

  // Writes the block of the bytes from block_start to position.  With eof, also ends the
  // stream: pads to a byte, hands everything out and clears the window.
  void FlushBlock(int32_t block_start, unsigned position, bool eof);

  // The entry's outcome after the final flush.
  DeflateResult Result() const;

  // When set, every flushed block appends its decision here.
  void SetDecisionLog(std::vector<BlockDecision>* log) { decisions_ = log; }

 private:
  struct TreeShape {
    unsigned elements;
    const uint8_t* extra_bits;
    unsigned extra_base;
    unsigned max_length;
    const uint8_t* fixed_length;  // null for the bit-length tree
  };

  bool EndOfSymbol(unsigned position, int32_t block_start);
  void BuildTree(HuffmanTree& tree, const TreeShape& shape);
  void SiftDown(const HuffmanTree& tree, int k);
  void AssignLengths(HuffmanTree& tree, const TreeShape& shape);
  static void AssignCodes(HuffmanTree& tree, const uint16_t* count);
  void ScanLengths(const HuffmanTree& tree);
  void SendLengths(const HuffmanTree& tree);
  int BuildBitLengthTree();
  void SendAllTrees(int literal_codes, int distance_codes, int bit_length_codes);
  void SendSymbols(const uint16_t* lit_code, const uint8_t* lit_len, const uint16_t* dist_code,
                   const uint8_t* dist_len);
  void DecideTextOrBinary();

  CompressorWorkspace& ws_;
  DeflateBitWriter& out_;
  const DeflateTables& tables_;
  int level_;

  HuffmanTree literal_tree_;
  HuffmanTree distance_tree_;
  HuffmanTree bit_length_tree_;
  int heap_[kHeapSize];
  int heap_len_ = 0;
  int heap_max_ = 0;
  uint8_t depth_[kHeapSize];
  uint16_t bl_count_[16];

  unsigned symbols_ = 0;
  unsigned matches_ = 0;
  unsigned flag_bytes_ = 0;
  unsigned flag_byte_ = 0;
  unsigned flag_bit_ = 1;
  int64_t dynamic_estimate_ = 0;  // bits of the block with dynamic trees
  int64_t fixed_estimate_ = 0;    // bits with the fixed trees
  uint64_t compressed_bits_ = 0;  // the entry so far (64-bit: long entries do not wrap)

  uint16_t method_ = kMethodDeflated;
  uint16_t attributes_ = 2;  // unknown until the first block
  std::vector<BlockDecision>* decisions_ = nullptr;
};

}  // namespace codecs
