// The compressor's edge cases that show real faults: what the parsers emit for small
// crafted inputs, length 258, trees with fewer than two used codes, over-long codes, block
// ends, the stored/fixed/dynamic choice at its ties, the whole-entry stored form, the
// text/binary decision and the level flags.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "archiver/codecs/tests/deflate_test_support.h"

namespace codecs::testing {
namespace {

std::vector<TraceSymbol> AllSymbols(const Trace& t) {
  std::vector<TraceSymbol> s;
  for (const auto& b : t.blocks) s.insert(s.end(), b.symbols.begin(), b.symbols.end());
  return s;
}

size_t CountMatches(const Trace& t) {
  size_t n = 0;
  for (const auto& s : AllSymbols(t)) n += s.code > 256;
  return n;
}

// A string at window position 0 is never a candidate: six equal bytes are two literals and
// one match (4, 1) at every level, in a fixed block whose bits follow by hand:
//   1 (final) 01 (fixed) | 'a' = 10010001 | 'a' | 258 = 0000010 | distance 1 = 00000 | 256 = 0000000
// packed least significant bit first.
TEST(DeflateParse, SixEqualBytesAtEveryLevel) {
  const Bytes input(6, 'a');
  const Bytes expected = {0x4B, 0x4C, 0x04, 0x01, 0x00};
  auto ws = MakeCompressorWorkspace();
  for (int level = 1; level <= 9; ++level) {
    const Compressed c = Compress(*ws, input, level);
    EXPECT_EQ(c.bytes, expected) << "level " << level;
    EXPECT_EQ(c.result.compression_method, kMethodDeflated);
    EXPECT_EQ(c.result.compressed_size, 5u);
    const Trace t = ReadTrace(c.bytes);
    ASSERT_EQ(t.blocks.size(), 1u);
    ASSERT_EQ(t.blocks[0].symbols.size(), 3u);
    EXPECT_EQ(t.blocks[0].symbols[0].code, 'a');
    EXPECT_EQ(t.blocks[0].symbols[1].code, 'a');
    EXPECT_EQ(t.blocks[0].symbols[2].length, 4);
    EXPECT_EQ(t.blocks[0].symbols[2].distance, 1);
  }
}

// "#QZJ", then filler with no repeated 3-byte string, then "QZJ!": the only match is the
// 3-byte one.  Lazy levels drop it when it lies more than 4096 bytes back.
TEST(DeflateParse, FarThreeByteMatches) {
  struct Case {
    unsigned filler_alphabet;  // de Bruijn filler of alphabet^3 bytes
    bool kept_at_lazy_levels;
  };
  for (const Case& k : {Case{17, false}, Case{15, true}}) {
    Bytes input = {'#', 'Q', 'Z', 'J'};
    const Bytes filler = DeBruijn3(k.filler_alphabet);
    input.insert(input.end(), filler.begin(), filler.end());
    for (uint8_t b : {'Q', 'Z', 'J', '!'}) input.push_back(b);
    const unsigned distance = 3 + static_cast<unsigned>(filler.size());
    auto ws = MakeCompressorWorkspace();
    for (int level = 1; level <= 9; ++level) {
      const Compressed c = Compress(*ws, input, level);
      ASSERT_EQ(c.result.compression_method, kMethodDeflated) << "level " << level;
      const Trace t = ReadTrace(c.bytes);
      ASSERT_EQ(t.output, input);
      const bool expect_match = level <= 3 || k.kept_at_lazy_levels;
      const auto symbols = AllSymbols(t);
      const auto n = std::count_if(symbols.begin(), symbols.end(), [&](const TraceSymbol& s) {
        return s.code > 256 && s.length == 3 && s.distance == distance;
      });
      EXPECT_EQ(n, expect_match ? 1 : 0) << "level " << level << ", distance " << distance;
      EXPECT_EQ(CountMatches(t), expect_match ? 1u : 0u) << "level " << level;
    }
  }
}

// Length 258 is always symbol 285, never 284 with all extra bits set.
TEST(DeflateParse, Length258IsSymbol285) {
  const Bytes input(3000, 'z');
  auto ws = MakeCompressorWorkspace();
  for (int level = 1; level <= 9; ++level) {
    const Trace t = ReadTrace(Compress(*ws, input, level).bytes);
    ASSERT_EQ(t.output, input);
    size_t longest = 0;
    for (const auto& s : AllSymbols(t)) {
      if (s.length == 258) {
        ++longest;
        EXPECT_EQ(s.code, 285);
      }
      EXPECT_NE(s.code, 284);
    }
    EXPECT_GE(longest, 10u) << "level " << level;
  }
}

// A block without matches still sends a distance tree of two 1-bit codes.
TEST(DeflateTrees, NoMatchesGivesTwoDistanceCodes) {
  const Bytes input = DeBruijn3(16);  // 4096 bytes, 16 letters, no 3-byte string twice
  auto ws = MakeCompressorWorkspace();
  for (int level = 1; level <= 9; ++level) {
    const Compressed c = Compress(*ws, input, level);
    const Trace t = ReadTrace(c.bytes);
    ASSERT_EQ(t.output, input);
    ASSERT_EQ(t.blocks.size(), 1u);
    EXPECT_EQ(t.blocks[0].type, 2) << "level " << level;
    EXPECT_EQ(CountMatches(t), 0u);
    EXPECT_EQ(t.blocks[0].distance_codes, 2u);
    EXPECT_EQ(t.blocks[0].distance_lengths, (std::vector<uint8_t>{1, 1}));
    EXPECT_EQ(ZlibInflate(c.bytes, input.size()), input);
  }
}

// Drives the block coder directly with a literal sequence held in the window.
struct LiteralBlock {
  Bytes bytes;
  std::vector<BlockDecision> decisions;
};
LiteralBlock CodeLiterals(CompressorWorkspace& ws, const Bytes& literals, bool eof) {
  Bytes input;  // unused: the block coder reads its stored bytes from the window
  MemoryDeflateIO io(input);
  DeflateBitWriter out(io);
  DeflateBlocks blocks(ws, out, 6);
  LiteralBlock r;
  blocks.SetDecisionLog(&r.decisions);
  std::copy(literals.begin(), literals.end(), ws.window);
  const unsigned n = static_cast<unsigned>(literals.size());
  for (unsigned i = 0; i < n; ++i) blocks.TallyLiteral(literals[i], i + 1, 0);
  blocks.FlushBlock(0, n, eof);
  if (!eof) blocks.FlushBlock(static_cast<int32_t>(n), n, true);  // an empty final block
  r.bytes = std::move(io.out);
  return r;
}

// One distinct literal: the literal tree holds it and end-of-block, one bit each.
TEST(DeflateTrees, SingleLiteralBlock) {
  auto ws = MakeCompressorWorkspace();
  const Bytes literals(1000, 'a');
  const LiteralBlock b = CodeLiterals(*ws, literals, true);
  ASSERT_EQ(b.decisions.size(), 1u);
  EXPECT_EQ(b.decisions[0].kind, BlockKind::kDynamic);
  const Trace t = ReadTrace(b.bytes);
  EXPECT_EQ(t.output, literals);
  EXPECT_EQ(t.blocks[0].literal_lengths['a'], 1);
  EXPECT_EQ(t.blocks[0].literal_lengths[256], 1);
  EXPECT_EQ(ZlibInflate(b.bytes, literals.size()), literals);
}

// Fibonacci frequencies give an optimal tree deeper than 15 bits: the fix-up must bring
// every code to 15 bits or fewer and keep the set complete (zlib refuses anything else),
// and the size estimate must follow the changed lengths.
TEST(DeflateTrees, OverlongCodesAreLimitedTo15Bits) {
  // With end-of-block as the first 1: frequencies 1, 1, 2, 3, 5, ... 10946, a chain of
  // depth 20.
  Bytes literals;
  uint32_t a = 1, b = 2;
  for (unsigned sym = 0; sym < 20; ++sym) {
    literals.insert(literals.end(), a, static_cast<uint8_t>('A' + sym));
    const uint32_t c = a + b;
    a = b;
    b = c;
  }
  std::mt19937 rng(7);
  std::shuffle(literals.begin(), literals.end(), rng);
  ASSERT_LT(literals.size(), 32767u);
  auto ws = MakeCompressorWorkspace();
  const LiteralBlock r = CodeLiterals(*ws, literals, true);
  ASSERT_EQ(r.decisions.size(), 1u);
  ASSERT_EQ(r.decisions[0].kind, BlockKind::kDynamic);
  const Trace t = ReadTrace(r.bytes);
  EXPECT_EQ(t.output, literals);
  const auto& lens = t.blocks[0].literal_lengths;
  EXPECT_EQ(*std::max_element(lens.begin(), lens.end()), 15);
  EXPECT_EQ((t.blocks[0].bits + 7) / 8, r.decisions[0].dynamic_bytes);
  EXPECT_EQ(ZlibInflate(r.bytes, literals.size()), literals);
}

// n distinct literals above 143 cost 9 bits each with the fixed codes: (9n + 7 + 3 + 7) / 8
// bytes against n + 4 stored.  From 15 literals on the stored block is at most as large,
// and a tie goes to the stored block; as the only block of an entry, stored length <= best
// writes the entry stored whole.
TEST(DeflateBlocksChoice, StoredFixedBoundary) {
  struct Case {
    unsigned n;
    bool eof;
    BlockKind kind;
  };
  const Case cases[] = {
      {14, false, BlockKind::kFixed},   {15, false, BlockKind::kStored},
      {16, false, BlockKind::kStored},  {1, true, BlockKind::kWholeEntryStored},
      {14, true, BlockKind::kWholeEntryStored},
  };
  auto ws = MakeCompressorWorkspace();
  for (const Case& k : cases) {
    Bytes literals;
    for (unsigned i = 0; i < k.n; ++i) literals.push_back(static_cast<uint8_t>(150 + 7 * i));
    const LiteralBlock r = CodeLiterals(*ws, literals, k.eof);
    ASSERT_GE(r.decisions.size(), 1u);
    EXPECT_EQ(r.decisions[0].kind, k.kind) << "n " << k.n << " eof " << k.eof;
    EXPECT_EQ(r.decisions[0].fixed_bytes, (9 * k.n + 17) / 8);
    if (k.kind == BlockKind::kWholeEntryStored) {
      EXPECT_EQ(r.bytes, literals);
    } else {
      EXPECT_EQ(ReadTrace(r.bytes).output, literals);
      EXPECT_EQ(ZlibInflate(r.bytes, literals.size()), literals);
    }
  }
}

// Whenever the fixed and dynamic sizes come out equal the block uses the fixed codes.
// Searched over random literal blocks; the decision rule is checked on every one.
TEST(DeflateBlocksChoice, EqualFixedAndDynamicSizesChooseFixed) {
  auto ws = MakeCompressorWorkspace();
  std::mt19937 rng(99);
  int ties = 0;
  for (int trial = 0; trial < 3000 && ties < 5; ++trial) {
    const unsigned n = 30 + rng() % 300;
    const unsigned alphabet = 2 + rng() % 60;
    const unsigned base = rng() % 2 ? 'a' : 150;
    Bytes literals(n);
    std::geometric_distribution<unsigned> g(0.1 + 0.05 * (rng() % 10));
    for (auto& x : literals) x = static_cast<uint8_t>(base + g(rng) % alphabet);
    const LiteralBlock r = CodeLiterals(*ws, literals, false);
    const BlockDecision& d = r.decisions[0];
    const uint64_t best = std::min(d.fixed_bytes, d.dynamic_bytes);
    const BlockKind expected = d.stored_length + 4 <= best      ? BlockKind::kStored
                               : d.fixed_bytes == best           ? BlockKind::kFixed
                                                                 : BlockKind::kDynamic;
    ASSERT_EQ(d.kind, expected) << "trial " << trial;
    if (d.fixed_bytes == d.dynamic_bytes && d.kind != BlockKind::kStored) {
      ++ties;
      const Trace t = ReadTrace(r.bytes);
      EXPECT_EQ(t.blocks[0].type, 1);
      EXPECT_EQ(t.output, literals);
    }
  }
  EXPECT_GT(ties, 0) << "the search found no tie";
}

// Levels 1 and 2 end blocks only at 32767 symbols; from level 3 a block of mostly
// literals that codes to less than half its input ends at a multiple of 4096 symbols.
TEST(DeflateBlocksChoice, BlockEnds) {
  // Units of two fresh random bytes and a 40-byte copy from a 1000-byte pool.
  std::mt19937 rng(5);
  Bytes pool = RandomBytes(1000, 6);
  Bytes input = pool;
  while (input.size() < 400000) {
    input.push_back(static_cast<uint8_t>(rng()));
    input.push_back(static_cast<uint8_t>(rng()));
    const size_t off = rng() % (pool.size() - 40);
    input.insert(input.end(), pool.begin() + static_cast<long>(off), pool.begin() + static_cast<long>(off) + 40);
  }
  auto ws = MakeCompressorWorkspace();
  for (int level = 1; level <= 9; ++level) {
    const Compressed c = Compress(*ws, input, level);
    ASSERT_GE(c.decisions.size(), 2u);
    for (size_t i = 0; i + 1 < c.decisions.size(); ++i) {
      const unsigned s = c.decisions[i].symbols;
      if (level <= 2)
        EXPECT_EQ(s, 32767u) << "level " << level << " block " << i;
      else
        EXPECT_TRUE(s == 32767u || s % 4096 == 0) << "level " << level << " block " << i << ": " << s;
    }
    if (level >= 3) {
      EXPECT_EQ(c.decisions[0].symbols, 4096u) << "level " << level;
    }
    EXPECT_EQ(ZlibInflate(c.bytes, input.size()), input);
  }
}

// The text/binary decision: bytes 0-6 and 128-255 are binary, 7-127 text; text when the
// binary literals are at most a quarter of the text literals, from the first block only.
TEST(DeflateAttributes, TextOrBinary) {
  // 400 letters without a repeated 3-byte string, with `binary` distinct binary bytes
  // spread through them: no matches, so every byte is a literal.
  auto mixed = [](unsigned binary) {
    Bytes letters = DeBruijn3(16);
    letters.resize(400);
    Bytes values;
    for (unsigned v = 0; v < 7; ++v) values.push_back(static_cast<uint8_t>(v));
    for (unsigned v = 128; v < 256; ++v) values.push_back(static_cast<uint8_t>(v));
    Bytes out;
    for (unsigned i = 0; i < 400; ++i) {
      out.push_back(letters[i]);
      if (i % 4 == 3 && i / 4 < binary) out.push_back(values[i / 4]);
    }
    for (unsigned i = 100; i < binary; ++i) out.push_back(values[i]);
    return out;
  };
  struct Case {
    const char* name;
    Bytes input;
    uint16_t attributes;
  };
  const Case cases[] = {
      {"empty", {}, kAttributesText},
      {"text", Text(20000, 1), kAttributesText},
      {"random", RandomBytes(20000, 2), kAttributesBinary},
      {"quarter_binary", mixed(100), kAttributesText},
      {"just_over_a_quarter", mixed(101), kAttributesBinary},
      {"controls_7_to_13_are_text", Bytes{7, 8, 9, 10, 11, 12, 13, 'a'}, kAttributesText},
      {"first_block_decides", [] {
         // Random letters: short matches, so the first block ends inside them.
         Bytes b = RandomBytes(300000, 3);
         for (auto& x : b) x = static_cast<uint8_t>('a' + x % 16);
         Bytes r = RandomBytes(200000, 4);
         b.insert(b.end(), r.begin(), r.end());
         return b;
       }(), kAttributesText},
  };
  auto ws = MakeCompressorWorkspace();
  for (const Case& k : cases) {
    for (int level : {1, 6, 9}) {
      MemoryDeflateIO io(k.input);
      EXPECT_EQ(DeflateEntry(*ws, io, level).internal_attributes, k.attributes) << k.name << " level " << level;
    }
  }
}

TEST(DeflateEntryResult, EmptyInputIsAnEmptyStoredTextEntry) {
  auto ws = MakeCompressorWorkspace();
  for (int level = 1; level <= 9; ++level) {
    Bytes input;
    MemoryDeflateIO io(input);
    const DeflateResult r = DeflateEntry(*ws, io, level);
    EXPECT_EQ(r.compressed_size, 0u);
    EXPECT_EQ(r.compression_method, kMethodStored);
    EXPECT_EQ(r.internal_attributes, kAttributesText);
    EXPECT_EQ(io.writes, 0u);
  }
}

// Level flags, and levels outside 0-9 clamped: below 0 stores, above 9 is level 9.
TEST(DeflateEntryResult, LevelFlagsAndClamping) {
  const Bytes input = Text(50000, 9);
  auto ws = MakeCompressorWorkspace();
  const uint16_t flags[10] = {0, 4, 4, 0, 0, 0, 0, 0, 2, 2};
  for (int level = 0; level <= 9; ++level) {
    MemoryDeflateIO io(input);
    EXPECT_EQ(DeflateEntry(*ws, io, level).general_flags, flags[level]) << level;
  }
  MemoryDeflateIO low(input), nine(input), high(input);
  const DeflateResult r_low = DeflateEntry(*ws, low, -3);
  EXPECT_EQ(r_low.compression_method, kMethodStored);
  EXPECT_EQ(r_low.internal_attributes, kAttributesBinary);
  EXPECT_EQ(low.out, input);
  DeflateEntry(*ws, nine, 9);
  EXPECT_EQ(DeflateEntry(*ws, high, 40).general_flags, 2);
  EXPECT_EQ(high.out, nine.out);
}

}  // namespace
}  // namespace codecs::testing
