// Round trips of the compressor at every level over a table of inputs, checked with zlib's
// raw inflate (and with ours), plus the properties every stream must have: sizes reported
// as written, distances inside the window, lengths 3-258, and repeatable output.
#include <gtest/gtest.h>

#include "archiver/codecs/inflate.h"
#include "archiver/codecs/tests/deflate_test_support.h"

namespace codecs::testing {
namespace {

struct InputCase {
  const char* name;
  Bytes (*make)();
};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

const InputCase kInputs[] = {
    {"empty", [] { return Bytes{}; }},
    {"one_byte", [] { return Bytes{'x'}; }},
    {"two_bytes", [] { return Bytes{0, 0}; }},
    {"run_100k", [] { return Bytes(100000, 'a'); }},
    {"text_200k", [] { return Text(200000, 1); }},  // > 32767 symbols: blocks split
    {"random_70k", [] { return RandomBytes(70000, 2); }},  // > 65274 bytes: the window slides
    {"random_20k", [] { return RandomBytes(20000, 3); }},  // one block, stored whole
    {"repeat_across_slide",
     [] {  // 30000 random bytes three times: matches 30000 back across the slides
       Bytes r = RandomBytes(30000, 4);
       return Concat({r, r, r, Text(5000, 5)});
     }},
    {"mixed",
     [] {
       return Concat({Text(40000, 6), RandomBytes(30000, 7), Bytes(5000, 0), Text(60000, 8),
                      DeBruijn3(16), Bytes(1000, 0xFF)});
     }},
    {"counter_16bit",
     [] {
       Bytes b;
       for (unsigned i = 0; i < 60000; ++i) {
         b.push_back(static_cast<uint8_t>(i));
         b.push_back(static_cast<uint8_t>(i >> 8));
       }
       return b;
     }},
};

class DeflateRoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(DeflateRoundTrip, InflatesToTheInput) {
  const auto [input_index, level] = GetParam();
  const Bytes input = kInputs[input_index].make();
  auto ws = MakeCompressorWorkspace();
  const Compressed c = Compress(*ws, input, level);

  ASSERT_EQ(c.result.compressed_size, c.bytes.size());
  if (c.result.compression_method == kMethodStored) {
    EXPECT_EQ(c.bytes, input);
    // Only level 0 or a single block that did not shrink is stored whole.
    if (level != 0) {
      ASSERT_EQ(c.decisions.size(), 1u);
      EXPECT_EQ(c.decisions[0].kind, BlockKind::kWholeEntryStored);
    }
    return;
  }
  ASSERT_NE(level, 0);
  ASSERT_EQ(c.result.compression_method, kMethodDeflated);
  EXPECT_EQ(ZlibInflate(c.bytes, input.size()), input);

  std::vector<uint8_t> ours;
  EXPECT_EQ(InflateRaw(c.bytes.data(), c.bytes.size(), ours), InflateStatus::kOk);
  EXPECT_EQ(ours, input);

  // Every block and symbol is well formed, and the block decisions match the stream.
  const Trace t = ReadTrace(c.bytes);
  ASSERT_EQ(t.blocks.size(), c.decisions.size());
  for (size_t i = 0; i < t.blocks.size(); ++i) {
    const TraceBlock& b = t.blocks[i];
    const BlockDecision& d = c.decisions[i];
    const int expected_type = d.kind == BlockKind::kStored ? 0 : d.kind == BlockKind::kFixed ? 1 : 2;
    EXPECT_EQ(b.type, expected_type) << "block " << i;
    EXPECT_EQ(b.final, i + 1 == t.blocks.size());
    if (b.type != 0) {
      EXPECT_EQ(b.symbols.size(), d.symbols) << "block " << i;
      // The size estimate the choice rested on is the block's real size.
      const uint64_t bytes = (b.bits + 7) / 8;
      EXPECT_EQ(bytes, b.type == 1 ? d.fixed_bytes : d.dynamic_bytes) << "block " << i;
    }
    EXPECT_LE(d.symbols, 32767u);
    for (const TraceSymbol& s : b.symbols) {
      if (s.code <= 256) continue;
      EXPECT_GE(s.length, 3);
      EXPECT_LE(s.length, 258);
      EXPECT_GE(s.distance, 1);
      EXPECT_LE(s.distance, 32506);
      if (s.length == 258) {
        EXPECT_EQ(s.code, 285);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllLevels, DeflateRoundTrip,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kInputs))),
                                            ::testing::Range(0, 10)),
                         [](const auto& info) {
                           return std::string(kInputs[std::get<0>(info.param)].name) + "_level" +
                                  std::to_string(std::get<1>(info.param));
                         });

// Input that arrives in small pieces (7 bytes per read) fills the window in many reads.
TEST(DeflateShortReads, StillRoundTrip) {
  const Bytes inputs[] = {Bytes(5000, 'a'), Text(100000, 41),
                          Concat({RandomBytes(40000, 42), Text(40000, 43)})};
  auto ws = MakeCompressorWorkspace();
  for (const Bytes& input : inputs) {
    for (int level : {1, 3, 4, 6, 9}) {
      const Compressed c = Compress(*ws, input, level, 7);
      ASSERT_EQ(c.result.compressed_size, c.bytes.size());
      if (c.result.compression_method == kMethodStored)
        EXPECT_EQ(c.bytes, input);
      else
        EXPECT_EQ(ZlibInflate(c.bytes, input.size()), input) << "level " << level;
    }
  }
}

// The workspace is reused for every entry of a run: an entry's output must not depend on
// what the entries before it left behind, nor on an entry abandoned by an exception.
TEST(DeflateWorkspace, ReuseGivesTheSameBytesAsAFreshWorkspace) {
  const Bytes first = Concat({Text(90000, 11), RandomBytes(50000, 12)});
  const Bytes second = Text(30000, 13);
  for (int level = 1; level <= 9; ++level) {
    auto fresh = MakeCompressorWorkspace();
    const Compressed expected = Compress(*fresh, second, level);
    auto ws = MakeCompressorWorkspace();
    Compress(*ws, first, level);
    EXPECT_EQ(Compress(*ws, second, level).bytes, expected.bytes) << "level " << level;

    // Abandoned in the middle of the first entry, by the output and by the input.
    for (int which = 0; which < 2; ++which) {
      MemoryDeflateIO io(first);
      (which == 0 ? io.fail_write_at : io.fail_read_at) = 3;
      EXPECT_THROW(DeflateEntry(*ws, io, level), std::runtime_error);
      EXPECT_EQ(Compress(*ws, second, level).bytes, expected.bytes) << "level " << level;
    }
  }
}

TEST(DeflateWorkspace, SameInputSameBytes) {
  const Bytes input = Concat({Text(100000, 21), RandomBytes(10000, 22)});
  auto a = MakeCompressorWorkspace();
  auto b = MakeCompressorWorkspace();
  for (int level = 1; level <= 9; ++level)
    EXPECT_EQ(Compress(*a, input, level).bytes, Compress(*b, input, level).bytes) << level;
}

// Output leaves in pieces of about a kilobyte (or whole stored blocks), never per byte,
// never as empty writes; input is read in window-sized pieces.
TEST(DeflateIOPattern, BlockSizedReadsAndWrites) {
  const Bytes input = Text(300000, 31);
  auto ws = MakeCompressorWorkspace();
  MemoryDeflateIO io(input);
  const DeflateResult r = DeflateEntry(*ws, io, 6);
  EXPECT_EQ(io.zero_writes, 0u);
  EXPECT_LE(io.max_write, 1024u);
  EXPECT_GE(io.out.size() / io.writes, 900u);  // full buffers but the last
  EXPECT_EQ(r.compressed_size, io.out.size());
  // 300000 bytes: the first read of 32768, then about one read per 32768 bytes, plus the
  // empty read at the end.
  EXPECT_LE(io.reads, 300000u / 32768 + 3);
}

}  // namespace
}  // namespace codecs::testing
