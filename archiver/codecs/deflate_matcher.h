// The front half of the compressor: the sliding window, the hash chains, the longest-match
// search and the two parsers (greedy for levels 1-3, lazy for 4-9) that turn an entry's
// input into literals and (length, distance) matches for DeflateBlocks.
#pragma once

#include <cstdint>

#include "archiver/codecs/compressor_workspace.h"
#include "archiver/codecs/deflate.h"
#include "archiver/codecs/deflate_trees.h"

namespace codecs {

inline constexpr unsigned kMinMatch = 3;
inline constexpr unsigned kMaxMatch = 258;
inline constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
inline constexpr unsigned kMaxDistance = kWindowSize - kMinLookahead;  // 32506
inline constexpr unsigned kTooFar = 4096;

struct DeflateLevel {
  uint16_t good_length;  // a previous match this long quarters the chain search
  uint16_t lazy_length;  // lazy levels: no search after a match this long;
                         // greedy levels: longest match whose strings are all inserted
  uint16_t nice_length;  // a match this long ends the search
  uint16_t chain_length; // candidates examined at most
  bool lazy;
};

// Rows 0-9; row 0 is never used by the matcher (level 0 stores).
extern const DeflateLevel kDeflateLevels[10];

class DeflateMatcher {
 public:
  DeflateMatcher(CompressorWorkspace& workspace, DeflateIO& io, DeflateBlocks& blocks, int level);

  // Reads and parses the whole input, ending with the final flush.
  void Run();

 private:
  void FillWindow();
  unsigned LongestMatch(unsigned candidate);
  void InsertString(unsigned p) {
    hash_ = ((hash_ << 5) ^ ws_.window[p + 2]) & (kHashSize - 1);
    candidate_ = ws_.head[hash_];
    ws_.prev[p & (kWindowSize - 1)] = static_cast<uint16_t>(candidate_);
    ws_.head[hash_] = static_cast<uint16_t>(p);
  }
  void RunGreedy();
  void RunLazy();

  CompressorWorkspace& ws_;
  DeflateIO& io_;
  DeflateBlocks& blocks_;
  const DeflateLevel params_;

  unsigned pos_ = 0;          // P: the current string's window position (< 65536)
  unsigned lookahead_ = 0;    // valid bytes from P on
  int32_t block_start_ = 0;   // negative once the block's start has slid out
  uint16_t match_start_ = 0;  // start of the last match found
  unsigned hash_ = 0;
  unsigned prev_length_ = 2;
  unsigned candidate_ = 0;
  bool eof_ = false;
};

}  // namespace codecs
