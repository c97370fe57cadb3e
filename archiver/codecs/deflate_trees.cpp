#include "archiver/codecs/deflate_trees.h"

#include <algorithm>
#include <cstring>

namespace codecs {

const uint8_t kExtraLengthBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint8_t kExtraDistanceBits[kDistanceCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
namespace {

const uint8_t kExtraBitLengthBits[kBitLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                      0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which the bit-length code lengths are sent (RFC 1951, 3.2.7).
const uint8_t kBitLengthOrder[kBitLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr unsigned kMaxBits = 15;
constexpr unsigned kMaxBitLengthBits = 7;
constexpr unsigned kRepeatPrevious = 16;  // 3-6 copies of the previous length, 2 bits
constexpr unsigned kRepeatZero3 = 17;     // 3-10 zeros, 3 bits
constexpr unsigned kRepeatZero11 = 18;    // 11-138 zeros, 7 bits

uint16_t Reverse(unsigned code, unsigned len) {
  unsigned r = 0;
  for (unsigned i = 0; i < len; ++i) {
    r = (r << 1) | (code & 1);
    code >>= 1;
  }
  return static_cast<uint16_t>(r);
}

DeflateTables BuildTables() {
  DeflateTables t{};
  unsigned length = 0;
  for (unsigned code = 0; code < kLengthCodes - 1; ++code) {
    t.base_length[code] = static_cast<uint8_t>(length);
    for (unsigned n = 0; n < (1u << kExtraLengthBits[code]); ++n)
      t.length_code[length++] = static_cast<uint8_t>(code);
  }
  // Length 258 could be code 27 with all extra bits set; it is always code 28 instead.
  t.length_code[255] = kLengthCodes - 1;
  t.base_length[kLengthCodes - 1] = 255;

  unsigned dist = 0;
  for (unsigned code = 0; code < 16; ++code) {
    t.base_distance[code] = static_cast<uint16_t>(dist);
    for (unsigned n = 0; n < (1u << kExtraDistanceBits[code]); ++n)
      t.distance_code[dist++] = static_cast<uint8_t>(code);
  }
  dist >>= 7;  // from here on the table is indexed by distance / 128
  for (unsigned code = 16; code < kDistanceCodes; ++code) {
    t.base_distance[code] = static_cast<uint16_t>(dist << 7);
    for (unsigned n = 0; n < (1u << (kExtraDistanceBits[code] - 7)); ++n)
      t.distance_code[256 + dist++] = static_cast<uint8_t>(code);
  }

  uint16_t count[kMaxBits + 1] = {};
  for (unsigned n = 0; n < 288; ++n) {
    const unsigned len = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    t.fixed_literal_length[n] = static_cast<uint8_t>(len);
    ++count[len];
  }
  uint16_t next[kMaxBits + 1] = {};
  unsigned code = 0;
  for (unsigned bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = static_cast<uint16_t>(code);
  }
  for (unsigned n = 0; n < 288; ++n) {
    const unsigned len = t.fixed_literal_length[n];
    t.fixed_literal_code[n] = Reverse(next[len]++, len);
  }
  for (unsigned n = 0; n < kDistanceCodes; ++n) {
    t.fixed_distance_length[n] = 5;
    t.fixed_distance_code[n] = Reverse(n, 5);
  }
  return t;
}

}  // namespace

const DeflateTables& GetDeflateTables() {
  static const DeflateTables tables = BuildTables();
  return tables;
}

DeflateBlocks::DeflateBlocks(CompressorWorkspace& workspace, DeflateBitWriter& out, int level)
    : ws_(workspace), out_(out), tables_(GetDeflateTables()), level_(level) {
  InitBlockState();
}

void DeflateBlocks::InitBlockState() {
  std::fill(std::begin(literal_tree_.freq), std::begin(literal_tree_.freq) + kLiteralCodes, 0u);
  std::fill(std::begin(distance_tree_.freq), std::begin(distance_tree_.freq) + kDistanceCodes, 0u);
  std::fill(std::begin(bit_length_tree_.freq), std::begin(bit_length_tree_.freq) + kBitLengthCodes, 0u);
  literal_tree_.freq[kEndOfBlock] = 1;
  dynamic_estimate_ = 0;
  fixed_estimate_ = 0;
  symbols_ = 0;
  matches_ = 0;
  flag_bytes_ = 0;
  flag_byte_ = 0;
  flag_bit_ = 1;
}

bool DeflateBlocks::TallyLiteral(uint8_t byte, unsigned position, int32_t block_start) {
  ws_.literals[symbols_++] = byte;
  ++literal_tree_.freq[byte];
  return EndOfSymbol(position, block_start);
}

bool DeflateBlocks::TallyMatch(unsigned distance, unsigned length_minus_3, unsigned position,
                               int32_t block_start) {
  ws_.literals[symbols_++] = static_cast<uint8_t>(length_minus_3);
  const unsigned d = distance - 1;
  ++literal_tree_.freq[tables_.length_code[length_minus_3] + 257];
  ++distance_tree_.freq[DistanceCodeOf(tables_, d)];
  ws_.distances[matches_++] = static_cast<uint16_t>(d);
  flag_byte_ |= flag_bit_;
  return EndOfSymbol(position, block_start);
}

bool DeflateBlocks::EndOfSymbol(unsigned position, int32_t block_start) {
  flag_bit_ <<= 1;
  if ((symbols_ & 7) == 0) {
    ws_.flags[flag_bytes_++] = static_cast<uint8_t>(flag_byte_);
    flag_byte_ = 0;
    flag_bit_ = 1;
  }
  // From level 3 on, a block of mostly literals ends early every 4096 symbols when its
  // estimated coded size is already below half its input.
  if (level_ >= 3 && (symbols_ & 0xFFF) == 0) {
    uint64_t out_bits = static_cast<uint64_t>(symbols_) * 8;
    for (unsigned c = 0; c < kDistanceCodes; ++c)
      out_bits += static_cast<uint64_t>(distance_tree_.freq[c]) * (5 + kExtraDistanceBits[c]);
    const int64_t out_bytes = static_cast<int64_t>(out_bits >> 3);
    const int64_t half_input = (static_cast<int64_t>(position) - block_start) / 2;
    if (matches_ < symbols_ / 2 && out_bytes < half_input) return true;
  }
  return symbols_ == kLiteralBufferSize - 1 || matches_ == kLiteralBufferSize;
}

// The heap order: lower frequency first, and among equal frequencies the shallower node.
static inline bool Smaller(const HuffmanTree& t, const uint8_t* depth, int n, int m) {
  return t.freq[n] < t.freq[m] || (t.freq[n] == t.freq[m] && depth[n] <= depth[m]);
}

void DeflateBlocks::SiftDown(const HuffmanTree& tree, int k) {
  const int v = heap_[k];
  int j = k << 1;
  while (j <= heap_len_) {
    if (j < heap_len_ && Smaller(tree, depth_, heap_[j + 1], heap_[j])) ++j;
    if (Smaller(tree, depth_, v, heap_[j])) break;
    heap_[k] = heap_[j];
    k = j;
    j <<= 1;
  }
  heap_[k] = v;
}

void DeflateBlocks::BuildTree(HuffmanTree& tree, const TreeShape& shape) {
  const int elements = static_cast<int>(shape.elements);
  heap_len_ = 0;
  heap_max_ = kHeapSize;
  int max_code = -1;
  for (int n = 0; n < elements; ++n) {
    if (tree.freq[n] != 0) {
      heap_[++heap_len_] = max_code = n;
      depth_[n] = 0;
    } else {
      tree.len[n] = 0;
    }
  }
  // A tree needs two codes even when the block uses fewer: the missing ones are added
  // with frequency 1 and their cost taken back out of the estimates.
  while (heap_len_ < 2) {
    const int node = max_code < 2 ? ++max_code : 0;
    heap_[++heap_len_] = node;
    tree.freq[node] = 1;
    depth_[node] = 0;
    dynamic_estimate_ -= 1;
    if (shape.fixed_length) fixed_estimate_ -= shape.fixed_length[node];
  }
  tree.max_code = max_code;

  for (int n = heap_len_ / 2; n >= 1; --n) SiftDown(tree, n);

  // Combine the two least frequent nodes until one is left; the removed nodes are kept at
  // the top end of the heap array, so that it ends up ordered from the root outwards.
  int node = elements;
  do {
    const int n = heap_[1];
    heap_[1] = heap_[heap_len_--];
    SiftDown(tree, 1);
    const int m = heap_[1];
    heap_[--heap_max_] = n;
    heap_[--heap_max_] = m;
    tree.freq[node] = tree.freq[n] + tree.freq[m];
    depth_[node] = static_cast<uint8_t>(std::max(depth_[n], depth_[m]) + 1);
    tree.dad[n] = tree.dad[m] = static_cast<uint16_t>(node);
    heap_[1] = node++;
    SiftDown(tree, 1);
  } while (heap_len_ >= 2);
  heap_[--heap_max_] = heap_[1];

  AssignLengths(tree, shape);
  AssignCodes(tree, bl_count_);
}

void DeflateBlocks::AssignLengths(HuffmanTree& tree, const TreeShape& shape) {
  const unsigned max_length = shape.max_length;
  const int max_code = tree.max_code;
  std::fill(std::begin(bl_count_), std::end(bl_count_), 0);

  int overflow = 0;
  tree.len[heap_[heap_max_]] = 0;  // the root
  for (int h = heap_max_ + 1; h < static_cast<int>(kHeapSize); ++h) {
    const int n = heap_[h];
    unsigned bits = tree.len[tree.dad[n]] + 1u;
    if (bits > max_length) {
      bits = max_length;
      ++overflow;
    }
    tree.len[n] = static_cast<uint8_t>(bits);
    if (n > max_code) continue;  // internal node
    ++bl_count_[bits];
    const unsigned xbits =
        static_cast<unsigned>(n) >= shape.extra_base ? shape.extra_bits[n - shape.extra_base] : 0;
    const int64_t f = tree.freq[n];
    dynamic_estimate_ += f * (bits + xbits);
    if (shape.fixed_length) fixed_estimate_ += f * (shape.fixed_length[n] + xbits);
  }
  if (overflow == 0) return;

  // Too-long codes: move leaves down from the deepest level that has room, two overflowing
  // codes at a time, then hand the lengths out again, longest to the least frequent.
  do {
    unsigned bits = max_length - 1;
    while (bl_count_[bits] == 0) --bits;
    --bl_count_[bits];
    bl_count_[bits + 1] += 2;
    --bl_count_[max_length];
    overflow -= 2;
  } while (overflow > 0);

  int h = kHeapSize;
  for (unsigned bits = max_length; bits != 0; --bits) {
    unsigned n = bl_count_[bits];
    while (n != 0) {
      const int m = heap_[--h];
      if (m > max_code) continue;
      if (tree.len[m] != bits) {
        dynamic_estimate_ += (static_cast<int64_t>(bits) - tree.len[m]) * tree.freq[m];
        tree.len[m] = static_cast<uint8_t>(bits);
      }
      --n;
    }
  }
}

void DeflateBlocks::AssignCodes(HuffmanTree& tree, const uint16_t* count) {
  uint16_t next[kMaxBits + 1];
  unsigned code = 0;
  next[0] = 0;
  for (unsigned bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = static_cast<uint16_t>(code);
  }
  for (int n = 0; n <= tree.max_code; ++n) {
    const unsigned len = tree.len[n];
    if (len == 0) continue;
    tree.code[n] = Reverse(next[len]++, len);
  }
}

// The run-length walk over a tree's code lengths (RFC 1951 codes 16, 17, 18), once to count
// the bit-length codes and once to send them; `emit(code, extra_value)` gets each one.
template <typename Emit>
static void WalkLengths(const HuffmanTree& tree, Emit&& emit) {
  const int max_code = tree.max_code;
  int prev_len = -1;
  int next_len = tree.len[0];
  int count = 0;
  int max_count = 7;
  int min_count = 4;
  if (next_len == 0) max_count = 138, min_count = 3;
  for (int n = 0; n <= max_code; ++n) {
    const int cur_len = next_len;
    next_len = n + 1 <= max_code ? tree.len[n + 1] : -1;  // past the end: unlike any length
    if (++count < max_count && cur_len == next_len) continue;
    if (count < min_count) {
      for (int i = 0; i < count; ++i) emit(cur_len, 0);
    } else if (cur_len != 0) {
      if (cur_len != prev_len) {
        emit(cur_len, 0);
        --count;
      }
      emit(kRepeatPrevious, count - 3);
    } else if (count <= 10) {
      emit(kRepeatZero3, count - 3);
    } else {
      emit(kRepeatZero11, count - 11);
    }
    count = 0;
    prev_len = cur_len;
    if (next_len == 0) {
      max_count = 138, min_count = 3;
    } else if (cur_len == next_len) {
      max_count = 6, min_count = 3;
    } else {
      max_count = 7, min_count = 4;
    }
  }
}

void DeflateBlocks::ScanLengths(const HuffmanTree& tree) {
  WalkLengths(tree, [this](int code, int) { ++bit_length_tree_.freq[code]; });
}

void DeflateBlocks::SendLengths(const HuffmanTree& tree) {
  WalkLengths(tree, [this](int code, int extra) {
    out_.Put(bit_length_tree_.code[code], bit_length_tree_.len[code]);
    if (code >= static_cast<int>(kRepeatPrevious))
      out_.Put(static_cast<uint32_t>(extra), kExtraBitLengthBits[code]);
  });
}

int DeflateBlocks::BuildBitLengthTree() {
  ScanLengths(literal_tree_);
  ScanLengths(distance_tree_);
  BuildTree(bit_length_tree_, {kBitLengthCodes, kExtraBitLengthBits, 0, kMaxBitLengthBits, nullptr});
  int max_index = kBitLengthCodes - 1;
  for (; max_index >= 3; --max_index)
    if (bit_length_tree_.len[kBitLengthOrder[max_index]] != 0) break;
  // 3 bits per sent bit-length code, plus the three counts (5 + 5 + 4 bits).
  dynamic_estimate_ += 3 * (max_index + 1) + 14;
  return max_index;
}

void DeflateBlocks::SendAllTrees(int literal_codes, int distance_codes, int bit_length_codes) {
  out_.Put(static_cast<uint32_t>(literal_codes - 257), 5);
  out_.Put(static_cast<uint32_t>(distance_codes - 1), 5);
  out_.Put(static_cast<uint32_t>(bit_length_codes - 4), 4);
  for (int rank = 0; rank < bit_length_codes; ++rank)
    out_.Put(bit_length_tree_.len[kBitLengthOrder[rank]], 3);
  SendLengths(literal_tree_);
  SendLengths(distance_tree_);
}

void DeflateBlocks::SendSymbols(const uint16_t* lit_code, const uint8_t* lit_len,
                                const uint16_t* dist_code, const uint8_t* dist_len) {
  unsigned dx = 0;
  unsigned flags = 0;
  for (unsigned i = 0; i < symbols_; ++i) {
    if ((i & 7) == 0) flags = ws_.flags[i >> 3];
    const unsigned lc = ws_.literals[i];
    if ((flags & 1) == 0) {
      out_.Put(lit_code[lc], lit_len[lc]);
    } else {
      const unsigned code = tables_.length_code[lc];
      // Length code and extra bits: at most 15 + 5 bits.
      uint32_t bits = lit_code[code + 257];
      unsigned n = lit_len[code + 257];
      const unsigned lx = kExtraLengthBits[code];
      if (lx != 0) {
        bits |= (lc - tables_.base_length[code]) << n;
        n += lx;
      }
      out_.Put(bits, n);
      // Distance code and extra bits: at most 15 + 13 bits.
      const unsigned d = ws_.distances[dx++];
      const unsigned dcode = DistanceCodeOf(tables_, d);
      bits = dist_code[dcode];
      n = dist_len[dcode];
      const unsigned dxb = kExtraDistanceBits[dcode];
      if (dxb != 0) {
        bits |= (d - tables_.base_distance[dcode]) << n;
        n += dxb;
      }
      out_.Put(bits, n);
    }
    flags >>= 1;
  }
  out_.Put(lit_code[kEndOfBlock], lit_len[kEndOfBlock]);
}

void DeflateBlocks::DecideTextOrBinary() {
  uint64_t binary = 0, text = 0;
  for (unsigned n = 0; n < 7; ++n) binary += literal_tree_.freq[n];
  for (unsigned n = 7; n < 128; ++n) text += literal_tree_.freq[n];
  for (unsigned n = 128; n < 256; ++n) binary += literal_tree_.freq[n];
  attributes_ = binary <= (text >> 2) ? kAttributesText : kAttributesBinary;
}

void DeflateBlocks::FlushBlock(int32_t block_start, unsigned position, bool eof) {
  ws_.flags[flag_bytes_] = static_cast<uint8_t>(flag_byte_);
  if (attributes_ == 2) DecideTextOrBinary();

  BuildTree(literal_tree_, {kLiteralCodes, kExtraLengthBits, 257, kMaxBits, tables_.fixed_literal_length});
  BuildTree(distance_tree_, {kDistanceCodes, kExtraDistanceBits, 0, kMaxBits, tables_.fixed_distance_length});
  const int max_blindex = BuildBitLengthTree();

  const uint64_t dynamic_bytes = static_cast<uint64_t>(dynamic_estimate_ + 3 + 7) >> 3;
  const uint64_t fixed_bytes = static_cast<uint64_t>(fixed_estimate_ + 3 + 7) >> 3;
  const uint64_t best = std::min(dynamic_bytes, fixed_bytes);
  const uint64_t stored_length = static_cast<uint64_t>(static_cast<int64_t>(position) - block_start);
  // A block's bytes can be copied only while they are still in the window (and a stored
  // block's length field has 16 bits, which a block inside the window always fits).
  const bool in_window = block_start >= 0 && stored_length <= 0xFFFF;
  BlockKind kind;

  if (stored_length <= best && eof && compressed_bits_ == 0 && in_window) {
    // The whole entry in one block that deflate cannot shrink: write it as it is.
    out_.WriteDirect(ws_.window + block_start, stored_length);
    compressed_bits_ = stored_length << 3;
    method_ = kMethodStored;
    kind = BlockKind::kWholeEntryStored;
  } else if (stored_length + 4 <= best && in_window) {
    out_.Put((0u << 1) + eof, 3);
    out_.AlignToByte();
    out_.PutAlignedU16(static_cast<uint16_t>(stored_length));
    out_.PutAlignedU16(static_cast<uint16_t>(~stored_length));
    out_.WriteDirect(ws_.window + block_start, stored_length);
    compressed_bits_ = ((compressed_bits_ + 3 + 7) & ~uint64_t{7}) + ((stored_length + 4) << 3);
    kind = BlockKind::kStored;
  } else if (fixed_bytes == best) {
    out_.Put((1u << 1) + eof, 3);
    SendSymbols(tables_.fixed_literal_code, tables_.fixed_literal_length,
                tables_.fixed_distance_code, tables_.fixed_distance_length);
    compressed_bits_ += 3 + static_cast<uint64_t>(fixed_estimate_);
    kind = BlockKind::kFixed;
  } else {
    out_.Put((2u << 1) + eof, 3);
    SendAllTrees(literal_tree_.max_code + 1, distance_tree_.max_code + 1, max_blindex + 1);
    SendSymbols(literal_tree_.code, literal_tree_.len, distance_tree_.code, distance_tree_.len);
    compressed_bits_ += 3 + static_cast<uint64_t>(dynamic_estimate_);
    kind = BlockKind::kDynamic;
  }
  if (decisions_) decisions_->push_back({kind, symbols_, stored_length, fixed_bytes, dynamic_bytes});
  InitBlockState();

  if (eof) {
    // Nothing of this entry stays in the window for the next one.
    std::memset(ws_.window, 0, kWindowBuffer - 1);
    out_.AlignToByte();
    out_.FlushBytes();
    compressed_bits_ += 7;
  }
}

DeflateResult DeflateBlocks::Result() const {
  DeflateResult r;
  r.compressed_size = compressed_bits_ >> 3;
  r.compression_method = method_;
  r.internal_attributes = attributes_;
  return r;
}

}  // namespace codecs
