// Inflate against streams written by zlib, the decode-table builder, and malformed
// streams.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archiver/codecs/crc32.h"
#include "archiver/codecs/decode_table.h"
#include "archiver/codecs/inflate.h"

namespace codecs {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ZlibDeflate(const Bytes& in, int level, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
  Bytes out(deflateBound(&z, in.size()) + 16);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = unsigned(in.size());
  z.next_out = out.data();
  z.avail_out = unsigned(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes TextData(size_t n) {
  static const char* words[] = {"archive ", "member ", "window ", "deflate ", "the ", "of ",
                                "block\n", "Huffman ", "code ", "length ", "distance "};
  std::mt19937 rng(7);
  Bytes out;
  while (out.size() < n) {
    const char* w = words[rng() % 11];
    out.insert(out.end(), w, w + std::strlen(w));
  }
  out.resize(n);
  return out;
}

Bytes RandomData(size_t n, unsigned seed, unsigned alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (auto& b : out) b = uint8_t(rng() % alphabet);
  return out;
}

// Text with long-distance repeats, so that matches reach far back across slides.
Bytes FarRepeats(size_t n) {
  Bytes block = RandomData(30000, 3);
  Bytes out;
  std::mt19937 rng(5);
  while (out.size() < n) {
    if (out.size() > 40000 && rng() % 2) {
      const size_t from = out.size() - 32768 + rng() % 100;
      for (int i = 0; i < 1000; ++i) out.push_back(out[from + i]);
    } else {
      out.insert(out.end(), block.begin() + rng() % 20000, block.begin() + 20000 + rng() % 5000);
    }
  }
  out.resize(n);
  return out;
}

struct Input {
  const char* name;
  Bytes data;
};

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = {
      {"empty", {}},
      {"one", {0x41}},
      {"run", Bytes(100000, 'x')},
      {"text", TextData(300000)},
      {"random", RandomData(70000, 1)},
      {"small-alphabet", RandomData(200000, 2, 4)},
      {"far", FarRepeats(400000)},
  };
  return inputs;
}

struct Setting {
  int level;
  int strategy;
};

class ZlibStreams : public ::testing::TestWithParam<Setting> {};

TEST_P(ZlibStreams, DecodeToTheInput) {
  for (const Input& input : Inputs()) {
    SCOPED_TRACE(input.name);
    const Bytes packed = ZlibDeflate(input.data, GetParam().level, GetParam().strategy);
    Bytes out;
    ASSERT_EQ(InflateRaw(packed.data(), packed.size(), out), InflateStatus::kOk);
    ASSERT_EQ(out.size(), input.data.size());
    EXPECT_TRUE(out == input.data);
  }
}

INSTANTIATE_TEST_SUITE_P(LevelsAndStrategies, ZlibStreams,
                         ::testing::Values(Setting{0, Z_DEFAULT_STRATEGY}, Setting{1, Z_DEFAULT_STRATEGY},
                                           Setting{6, Z_DEFAULT_STRATEGY}, Setting{9, Z_DEFAULT_STRATEGY},
                                           Setting{6, Z_FILTERED}, Setting{6, Z_HUFFMAN_ONLY},
                                           Setting{6, Z_RLE}, Setting{6, Z_FIXED}, Setting{9, Z_FIXED}));

// Input in tiny blocks drives every symbol through the byte-wise path and across block
// boundaries; output must still leave in blocks of exactly 16000 bytes.
TEST(Inflate, BlockBoundariesOfInputAndOutput) {
  const Bytes data = TextData(100000);
  const Bytes packed = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
  for (size_t block : {1, 2, 7, 9, 100, 16000}) {
    SCOPED_TRACE(block);
    struct Sizes : MemberOutput {
      Bytes all;
      std::vector<size_t> sizes;
      void Write(const uint8_t* d, size_t n) override {
        all.insert(all.end(), d, d + n);
        sizes.push_back(n);
      }
    } out;
    MemoryInput in(packed.data(), packed.size(), block);
    ASSERT_EQ(Inflate(in, out), InflateStatus::kOk);
    EXPECT_TRUE(out.all == data);
    ASSERT_EQ(out.sizes.size(), 7u);
    for (size_t i = 0; i + 1 < out.sizes.size(); ++i) EXPECT_EQ(out.sizes[i], kMemberBlockSize);
    EXPECT_EQ(out.sizes.back(), 100000 - 6 * kMemberBlockSize);
  }
}

TEST(Inflate, InflaterIsReusableAcrossMembers) {
  Inflater inflater;
  for (const Input& input : Inputs()) {
    const Bytes packed = ZlibDeflate(input.data, 9, Z_DEFAULT_STRATEGY);
    Bytes out;
    MemoryInput in(packed.data(), packed.size());
    MemoryOutput o(out);
    ASSERT_EQ(inflater.Run(in, o), InflateStatus::kOk) << input.name;
    EXPECT_TRUE(out == input.data) << input.name;
  }
}

// --- BuildDecodeTable -------------------------------------------------------------

struct TableCase {
  const char* name;
  std::vector<uint8_t> lengths;
  int result;
};

class BuildTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(BuildTable, Result) {
  const TableCase& c = GetParam();
  DecodeTable t;
  unsigned bits = 9;
  EXPECT_EQ(BuildDecodeTable(c.lengths.data(), unsigned(c.lengths.size()), 257, {}, {}, bits, t),
            c.result);
}

std::vector<uint8_t> Repeat(std::initializer_list<std::pair<uint8_t, int>> runs) {
  std::vector<uint8_t> v;
  for (auto [len, n] : runs) v.insert(v.end(), size_t(n), len);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    CodeSets, BuildTable,
    ::testing::Values(TableCase{"all_zero", Repeat({{0, 30}}), kTableComplete},
                      TableCase{"single_1bit", Repeat({{1, 1}, {0, 5}}), kTableComplete},
                      TableCase{"single_2bit", Repeat({{2, 1}}), kTableIncomplete},
                      TableCase{"two_1bit", Repeat({{1, 2}}), kTableComplete},
                      TableCase{"three_1bit", Repeat({{1, 3}}), kTableBad},
                      TableCase{"fixed_dist", Repeat({{5, 30}}), kTableIncomplete},
                      TableCase{"fixed_lit", Repeat({{8, 144}, {9, 112}, {7, 24}, {8, 8}}), kTableComplete},
                      TableCase{"over_long", Repeat({{1, 1}, {2, 1}, {3, 1}, {3, 1}, {4, 1}}), kTableBad},
                      TableCase{"deep_complete",
                                Repeat({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1},
                                        {9, 1}, {10, 1}, {11, 1}, {12, 1}, {13, 1}, {14, 1}, {15, 2}}),
                                kTableComplete},
                      TableCase{"deep_incomplete",
                                Repeat({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}, {8, 1},
                                        {9, 1}, {10, 1}, {11, 1}, {12, 1}, {13, 1}, {14, 1}, {15, 1}}),
                                kTableIncomplete},
                      TableCase{"sixteen_bits", Repeat({{16, 2}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1},
                                                        {6, 1}, {7, 1}, {8, 1}, {9, 1}, {10, 1}, {11, 1},
                                                        {12, 1}, {13, 1}, {14, 1}, {15, 1}}),
                                kTableComplete},
                      TableCase{"too_long", Repeat({{17, 1}, {1, 1}}), kTableBad}),
    [](const auto& info) { return std::string(info.param.name); });

// Every code of a complete set decodes to its symbol through the two levels.
TEST(BuildTable, DecodesEveryCanonicalCode) {
  const std::vector<uint8_t> lengths = Repeat({{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1},
                                               {8, 1}, {9, 1}, {10, 1}, {11, 1}, {12, 1}, {13, 1},
                                               {14, 1}, {15, 2}});
  DecodeTable t;
  unsigned bits = 4;
  ASSERT_EQ(BuildDecodeTable(lengths.data(), 16, 16, {}, {}, bits, t), kTableComplete);
  EXPECT_EQ(bits, 4u);
  unsigned code = 0, len = 1;
  for (unsigned sym = 0; sym < 16; ++sym) {
    while (lengths[sym] != len) { code <<= 1; ++len; }
    unsigned rev = 0;
    for (unsigned i = 0; i < len; ++i) rev |= ((code >> i) & 1) << (len - 1 - i);
    uint32_t e = t.entries[rev & 15];
    unsigned used = 0;
    if (EntryOp(e) > kOpLiteral) {
      used = EntryBits(e);
      e = t.entries[EntryValue(e) + ((rev >> used) & ((1u << (EntryOp(e) - kOpLiteral)) - 1))];
    }
    EXPECT_EQ(EntryOp(e), kOpLiteral) << sym;
    EXPECT_EQ(EntryValue(e), sym);
    EXPECT_EQ(used + EntryBits(e), len) << sym;
    ++code;
  }
}

// --- malformed streams ------------------------------------------------------------

// Writes bits least significant first, as deflate streams are packed.
struct BitWriter {
  Bytes out;
  unsigned fill = 0;
  void Put(unsigned value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
      if (fill == 0) out.push_back(0);
      out.back() |= uint8_t(((value >> i) & 1) << fill);
      fill = (fill + 1) & 7;
    }
  }
  // A Huffman code, most significant bit first.
  void Code(unsigned code, unsigned len) {
    for (unsigned i = len; i-- > 0;) Put((code >> i) & 1, 1);
  }
};

// Fixed-code literal 0-143: codes 0x30+value, 8 bits.
void FixedLiteral(BitWriter& w, uint8_t c) { w.Code(0x30 + c, 8); }

Bytes Truncated() {
  Bytes s = ZlibDeflate(TextData(50000), 6, Z_DEFAULT_STRATEGY);
  s.resize(s.size() / 2);
  return s;
}

Bytes BadBlockType() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(3, 2);
  return w.out;
}

Bytes BadStoredLength() {
  return {0x01, 0x05, 0x00, 0xFB, 0xFE, 'h', 'e', 'l', 'l', 'o'};  // complement off by one
}

Bytes StoredShort() { return {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e'}; }

Bytes OversubscribedCodeLengths() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(0, 5);
  w.Put(0, 5);
  w.Put(0, 4);  // 4 code-length codes, all of length 1: over-subscribed
  for (int i = 0; i < 4; ++i) w.Put(1, 3);
  return w.out;
}

Bytes TooManyLengthCodes() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(30, 5);  // 287 literal/length codes
  w.Put(0, 5);
  w.Put(0, 4);
  return w.out;
}

Bytes TooManyDistanceCodes() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(0, 5);
  w.Put(30, 5);  // 31 distance codes
  w.Put(0, 4);
  return w.out;
}

// A dynamic header whose only code-length codes are 18 and 1 (both 1 bit), asking for
// a repeat of 138 zeros three times over 258 codes.
Bytes RepeatPastEnd() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(0, 5);   // 257
  w.Put(0, 5);   // 1
  w.Put(14, 4);  // 18 code-length codes: order ... 1 is the 18th
  const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (int i = 0; i < 18; ++i) w.Put(order[i] == 18 || order[i] == 1 ? 1 : 0, 3);
  // Canonical: symbol 1 -> code 0, symbol 18 -> code 1.
  for (int i = 0; i < 2; ++i) {
    w.Code(1, 1);
    w.Put(127, 7);  // 138 zeros
  }
  w.Code(1, 1);
  w.Put(0, 7);  // 11 more: 276 + 11 > 258
  return w.out;
}

Bytes DistanceBeforeStart() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  FixedLiteral(w, 'a');
  w.Code(0x01, 7);  // length code 257: length 3
  w.Code(1, 5);     // distance code 1: distance 2, one byte before the start
  w.Code(0, 7);     // end of block
  return w.out;
}

Bytes InvalidFixedDistance() {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  FixedLiteral(w, 'a');
  w.Code(0x01, 7);
  w.Code(30, 5);  // distance codes 30 and 31 do not exist
  w.Code(0, 7);
  return w.out;
}

Bytes NoLastBlock() {  // a complete non-final empty fixed block and then nothing
  BitWriter w;
  w.Put(0, 1);
  w.Put(1, 2);
  w.Code(0, 7);
  return w.out;
}

struct BadCase {
  const char* name;
  Bytes (*make)();
  InflateStatus status;
};

class Malformed : public ::testing::TestWithParam<BadCase> {};

TEST_P(Malformed, FailsWithItsStatus) {
  const Bytes s = GetParam().make();
  Bytes out;
  EXPECT_EQ(InflateRaw(s.data(), s.size(), out), GetParam().status)
      << InflateStatusText(GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Malformed,
    ::testing::Values(BadCase{"empty_input", [] { return Bytes{}; }, InflateStatus::kTruncated},
                      BadCase{"bad_block_type", BadBlockType, InflateStatus::kBadBlockType},
                      BadCase{"bad_stored_length", BadStoredLength, InflateStatus::kBadStoredLength},
                      BadCase{"stored_short", StoredShort, InflateStatus::kTruncated},
                      BadCase{"oversubscribed", OversubscribedCodeLengths, InflateStatus::kBadCodeLengths},
                      BadCase{"too_many_length_codes", TooManyLengthCodes, InflateStatus::kTooManyCodes},
                      BadCase{"too_many_distance_codes", TooManyDistanceCodes, InflateStatus::kTooManyCodes},
                      BadCase{"repeat_past_end", RepeatPastEnd, InflateStatus::kBadRepeat},
                      BadCase{"distance_before_start", DistanceBeforeStart, InflateStatus::kDistanceTooFar},
                      BadCase{"invalid_fixed_distance", InvalidFixedDistance, InflateStatus::kInvalidCode},
                      BadCase{"no_last_block", NoLastBlock, InflateStatus::kTruncated}),
    [](const auto& info) { return std::string(info.param.name); });

// A stream cut anywhere fails and never hands on more than a prefix of the data.
TEST(Inflate, EveryTruncationFailsWithAPrefix) {
  const Bytes data = TextData(70000);
  const Bytes packed = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
  for (size_t cut = 0; cut < packed.size(); cut += 97) {
    Bytes out;
    ASSERT_NE(InflateRaw(packed.data(), cut, out), InflateStatus::kOk) << cut;
    ASSERT_LE(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << cut;
    EXPECT_EQ(out.size() % 16000, 0u);
  }
  Bytes out;
  EXPECT_EQ(InflateRaw(Truncated().data(), Truncated().size(), out) == InflateStatus::kOk, false);
}

// --- failures of the input and output ---------------------------------------------

struct Cancelled : std::runtime_error, CancelSignal {
  Cancelled() : std::runtime_error("User Aborted Operation") {}
};

struct ThrowingOutput : MemberOutput {
  bool cancel;
  size_t writes = 0;
  explicit ThrowingOutput(bool c) : cancel(c) {}
  void Write(const uint8_t*, size_t) override {
    ++writes;
    if (cancel) throw Cancelled();
    throw std::runtime_error("Cant write uncompressed file");
  }
};

TEST(Inflate, FailureInsideABlockEndsTheMemberButCancelPassesOn) {
  const Bytes packed = ZlibDeflate(TextData(200000), 6, Z_DEFAULT_STRATEGY);
  {
    ThrowingOutput out(false);
    MemoryInput in(packed.data(), packed.size());
    EXPECT_EQ(Inflate(in, out), InflateStatus::kStreamFailed);
    EXPECT_EQ(out.writes, 1u);
  }
  {
    ThrowingOutput out(true);
    MemoryInput in(packed.data(), packed.size());
    EXPECT_THROW(Inflate(in, out), Cancelled);
  }
}

// After the last block the remaining output is handed on outside the block context,
// so its failures reach the caller.
TEST(Inflate, FinalFlushFailurePassesOn) {
  const Bytes packed = ZlibDeflate(TextData(1000), 6, Z_DEFAULT_STRATEGY);
  ThrowingOutput out(false);
  MemoryInput in(packed.data(), packed.size());
  EXPECT_THROW(Inflate(in, out), std::runtime_error);
}

TEST(Inflate, InputFailureInsideABlockEndsTheMember) {
  const Bytes packed = ZlibDeflate(TextData(100000), 6, Z_DEFAULT_STRATEGY);
  struct FailingInput : MemberInput {
    const Bytes& s;
    int calls = 0;
    explicit FailingInput(const Bytes& b) : s(b) {}
    std::span<const uint8_t> NextBlock() override {
      if (++calls > 1) throw std::runtime_error("Premature end of file reached");
      return {s.data(), 1000};
    }
  } in(packed);
  Bytes sink;
  MemoryOutput out(sink);
  EXPECT_EQ(Inflate(in, out), InflateStatus::kStreamFailed);
}

}  // namespace
}  // namespace codecs
