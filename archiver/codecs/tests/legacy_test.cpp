// The decoders on real archives: every member of the outside test archives, by method,
// must decode to its stored size and CRC; and the legacy decoders on malformed input.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archiver/codecs/crc32.h"
#include "archiver/codecs/explode.h"
#include "archiver/codecs/member_decode.h"
#include "archiver/codecs/unreduce.h"
#include "archiver/codecs/unshrink.h"
#include "archiver/codecs/zip_cipher.h"

namespace codecs {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

unsigned U16(const Bytes& b, size_t at) { return b.at(at) | unsigned(b.at(at + 1)) << 8; }
uint32_t U32(const Bytes& b, size_t at) { return U16(b, at) | uint32_t(U16(b, at + 2)) << 16; }

struct Member {
  std::string name;
  uint16_t method, flags, dos_time;
  uint32_t crc, csize, usize;
  size_t data;  // offset of the member's data (after the local header)
};

// Just enough of the ZIP format to find each member: the end record, the central
// directory, and each local header.  An archive whose directory is not where the end
// record says is read with the difference applied.
std::vector<Member> ListMembers(const Bytes& zip) {
  size_t eocd = zip.size() - 22;
  while (U32(zip, eocd) != 0x06054b50) {
    if (eocd == 0) throw std::runtime_error("no end record");
    --eocd;
  }
  const unsigned count = U16(zip, eocd + 10);
  const uint32_t cd_size = U32(zip, eocd + 12), cd_offset = U32(zip, eocd + 16);
  const size_t shift = eocd - cd_size - cd_offset;
  std::vector<Member> members;
  size_t at = cd_offset + shift;
  for (unsigned i = 0; i < count; ++i) {
    if (U32(zip, at) != 0x02014b50) throw std::runtime_error("bad central header");
    Member m;
    m.flags = uint16_t(U16(zip, at + 8));
    m.method = uint16_t(U16(zip, at + 10));
    m.dos_time = uint16_t(U16(zip, at + 12));
    m.crc = U32(zip, at + 16);
    m.csize = U32(zip, at + 20);
    m.usize = U32(zip, at + 24);
    const unsigned nlen = U16(zip, at + 28), xlen = U16(zip, at + 30), clen = U16(zip, at + 32);
    m.name.assign(zip.begin() + long(at) + 46, zip.begin() + long(at + 46 + nlen));
    // Some writers count the shift into the local offsets, some do not.
    size_t local = U32(zip, at + 42);
    if (U32(zip, local) != 0x04034b50) local += shift;
    if (U32(zip, local) != 0x04034b50) throw std::runtime_error("bad local header");
    m.data = local + 30 + U16(zip, local + 26) + U16(zip, local + 28);
    if (m.data + m.csize > zip.size()) throw std::runtime_error("member past the end");
    members.push_back(m);
    at += 46 + nlen + xlen + clen;
  }
  return members;
}

// Member input over archive bytes, decrypting block by block as the reader does.
class ArchiveInput final : public MemberInput {
 public:
  ArchiveInput(const uint8_t* data, size_t size, ZipKeys* keys) : data_(data), size_(size), keys_(keys) {}
  std::span<const uint8_t> NextBlock() override {
    const size_t n = std::min(kMemberBlockSize, size_ - pos_);
    std::memcpy(block_, data_ + pos_, n);
    pos_ += n;
    if (keys_) DecryptBuffer(*keys_, block_, n);
    return {block_, n};
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_ = 0;
  ZipKeys* keys_;
  uint8_t block_[kMemberBlockSize];
};

// Member output with the checks of the extraction target: size limit and running CRC.
class CheckedOutput final : public MemberOutput {
 public:
  explicit CheckedOutput(uint64_t limit) : limit_(limit) {}
  void Write(const uint8_t* data, size_t size) override {
    ASSERT_LE(size, kMemberBlockSize);
    if (size > limit_ - written_) throw std::runtime_error("File is larger than uncompressed size!");
    crc_ = Crc32Update(crc_, data, size);
    written_ += size;
  }
  uint32_t crc() const { return ~crc_; }
  uint64_t written() const { return written_; }

 private:
  uint64_t limit_, written_ = 0;
  uint32_t crc_ = 0xFFFFFFFF;
};

struct Extracted {
  DecodeOutcome outcome;
  uint32_t crc;
  uint64_t size;
};

Extracted Extract(const Bytes& zip, const Member& m, const char* password = nullptr) {
  const uint8_t* data = zip.data() + m.data;
  uint32_t csize = m.csize;
  ZipKeys keys;
  if (m.flags & 1) {
    EXPECT_NE(password, nullptr);
    EXPECT_GE(csize, kEncryptionHeaderSize);
    uint8_t header[kEncryptionHeaderSize];
    std::memcpy(header, data, kEncryptionHeaderSize);
    const uint8_t check = (m.flags & 8) ? uint8_t(m.dos_time >> 8) : uint8_t(m.crc >> 24);
    EXPECT_EQ(ReadEncryptionHeader(keys, password ? password : "", header), check) << m.name;
    data += kEncryptionHeaderSize;
    csize -= kEncryptionHeaderSize;
  }
  ArchiveInput in(data, csize, (m.flags & 1) ? &keys : nullptr);
  CheckedOutput out(m.usize);
  const DecodeOutcome o = DecodeMember(m.method, m.flags, csize, m.usize, in, out);
  return {o, out.crc(), out.written()};
}

struct ArchiveCase {
  const char* file;
  std::vector<uint16_t> methods;  // every method that must occur in it
  const char* password;
};

class Archives : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(Archives, EveryMemberMatchesItsCrcAndSize) {
  const Bytes zip = ReadFile(std::filesystem::path(PS_TESTDATA_DIR) / "zip" / GetParam().file);
  ASSERT_FALSE(zip.empty());
  const std::vector<Member> members = ListMembers(zip);
  ASSERT_FALSE(members.empty());
  std::vector<uint16_t> seen;
  for (const Member& m : members) {
    SCOPED_TRACE(m.name);
    seen.push_back(m.method);
    const Extracted e = Extract(zip, m, GetParam().password);
    EXPECT_EQ(e.outcome, DecodeOutcome::kOk);
    EXPECT_EQ(e.size, m.usize);
    EXPECT_EQ(e.crc, m.crc);
  }
  for (uint16_t method : GetParam().methods)
    EXPECT_NE(std::find(seen.begin(), seen.end(), method), seen.end()) << method;
}

INSTANTIATE_TEST_SUITE_P(
    TestData, Archives,
    ::testing::Values(ArchiveCase{"pkzip-shrink.zip", {1}, nullptr}, ArchiveCase{"pkzip-reduce4.zip", {5}, nullptr},
                      ArchiveCase{"pkzip-implode.zip", {6}, nullptr},
                      ArchiveCase{"implode-4k-2trees.zip", {6}, nullptr},
                      ArchiveCase{"implode-8k-3trees.zip", {6}, nullptr},
                      ArchiveCase{"implode-lorem.zip", {6}, nullptr},
                      ArchiveCase{"stored-data-descriptor-prefix16.zip", {0}, nullptr},
                      ArchiveCase{"zipada-es.zip", {0, 1}, nullptr}, ArchiveCase{"zipada-er1.zip", {2}, nullptr},
                      ArchiveCase{"zipada-er2.zip", {3}, nullptr}, ArchiveCase{"zipada-er3.zip", {4}, nullptr},
                      ArchiveCase{"zipada-er4.zip", {5}, nullptr},
                      ArchiveCase{"zipada-es-encrypted.zip", {1}, "secret"},
                      ArchiveCase{"zipada-deflate-fixed.zip", {8}, nullptr},
                      ArchiveCase{"zipada-deflate-strong.zip", {8}, nullptr}),
    [](const auto& info) {
      std::string n = info.param.file;
      for (char& c : n)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return n;
    });

TEST(Archives, TokenizeIsAnUnknownMethod) {
  const Bytes zip = ReadFile(std::filesystem::path(PS_TESTDATA_DIR) / "zip" / "tokenize-method7.zip");
  const std::vector<Member> members = ListMembers(zip);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].method, 7);
  EXPECT_FALSE(IsKnownMethod(7));
  const Extracted e = Extract(zip, members[0]);
  EXPECT_EQ(e.outcome, DecodeOutcome::kUnknownMethod);
  EXPECT_EQ(e.size, 0u);
}

// A wrong password decrypts to garbage: the member fails (or, by chance, decodes to the
// wrong CRC) but never crashes.
TEST(Archives, WrongPasswordFailsTheMember) {
  const Bytes zip = ReadFile(std::filesystem::path(PS_TESTDATA_DIR) / "zip" / "zipada-es-encrypted.zip");
  for (const Member& m : ListMembers(zip)) {
    const uint8_t* data = zip.data() + m.data + kEncryptionHeaderSize;
    ZipKeys keys;
    uint8_t header[kEncryptionHeaderSize];
    std::memcpy(header, zip.data() + m.data, kEncryptionHeaderSize);
    ReadEncryptionHeader(keys, "wrong", header);
    ArchiveInput in(data, m.csize - kEncryptionHeaderSize, &keys);
    CheckedOutput out(m.usize);
    try {
      DecodeMember(m.method, m.flags, m.csize, m.usize, in, out);
    } catch (const std::runtime_error&) {  // larger than its size
    }
    EXPECT_NE(out.crc(), m.crc);
  }
}

// --- the same members cut short and damaged ----------------------------------------

struct LegacyMember {
  const char* file;
  const char* name;
};

class Damaged : public ::testing::TestWithParam<LegacyMember> {};

// Cut anywhere, or with bytes flipped, a member decodes to at most its size, and a cut
// one never passes its CRC.  (Under the sanitizers this also shows no access outside.)
TEST_P(Damaged, NeverCrashesNorPassesWhenCut) {
  const Bytes zip = ReadFile(std::filesystem::path(PS_TESTDATA_DIR) / "zip" / GetParam().file);
  Member m{};
  for (const Member& x : ListMembers(zip))
    if (x.name == GetParam().name) m = x;
  ASSERT_EQ(m.name, GetParam().name);
  for (uint32_t cut = 0; cut < m.csize; cut += 1 + m.csize / 40) {
    ArchiveInput in(zip.data() + m.data, cut, nullptr);
    CheckedOutput out(m.usize);
    const DecodeOutcome o = DecodeMember(m.method, m.flags, cut, m.usize, in, out);
    EXPECT_FALSE(o == DecodeOutcome::kOk && out.crc() == m.crc && out.written() == m.usize) << cut;
  }
  std::mt19937 rng(9);
  for (int round = 0; round < 30; ++round) {
    Bytes copy(zip.begin() + long(m.data), zip.begin() + long(m.data + m.csize));
    for (int k = 0; k < 3; ++k) copy[rng() % copy.size()] ^= uint8_t(1 + rng() % 255);
    ArchiveInput in(copy.data(), copy.size(), nullptr);
    CheckedOutput out(UINT64_MAX);
    DecodeMember(m.method, m.flags, copy.size(), m.usize, in, out);
    EXPECT_LE(out.written(), m.method == 1 ? UINT64_MAX : m.usize);
  }
}

INSTANTIATE_TEST_SUITE_P(TestData, Damaged,
                         ::testing::Values(LegacyMember{"pkzip-shrink.zip", "FIRST.TXT"},
                                           LegacyMember{"zipada-es.zip", "large.txt"},
                                           LegacyMember{"zipada-er1.zip", "medium.txt"},
                                           LegacyMember{"zipada-er4.zip", "records.bin"},
                                           LegacyMember{"implode-4k-2trees.zip", "HEADER.TXT"},
                                           LegacyMember{"implode-8k-3trees.zip", "LICENSE.TXT"}));

// --- hand-made streams for the edge cases ------------------------------------------

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
};

Bytes RunUnshrink(const Bytes& s, LegacyStatus* status = nullptr) {
  Bytes out;
  MemoryInput in(s.data(), s.size());
  MemoryOutput o(out);
  const LegacyStatus st = Unshrink(in, o);
  if (status) *status = st;
  return out;
}

TEST(Unshrink, CodeSizeSwitchAndPartialClear) {
  BitWriter w;
  w.Put('a', 9);
  w.Put('b', 9);  // 257 = "ab"
  w.Put(257, 9);  // 258 = "ba"
  w.Put(256, 9);
  w.Put(1, 9);     // from here on 10-bit codes
  w.Put('c', 10);  // 259 = "abc"
  w.Put(256, 10);
  w.Put(2, 10);    // partial clear: 258 ("ba") and 259 ("abc") are leaves and are freed; 257 stays
  w.Put('d', 10);  // the freed 258 is reused: 258 = "cd"
  w.Put(258, 10);  // "cd"
  w.Put(257, 10);  // "ab"
  LegacyStatus st;
  const Bytes out = RunUnshrink(w.out, &st);
  EXPECT_EQ(st, LegacyStatus::kOk);
  EXPECT_EQ(std::string(out.begin(), out.end()), "ababcdcdab");
}

TEST(Unshrink, EndingRightAfterAControlCodeKeepsTheOutput) {
  BitWriter w;
  w.Put('x', 9);
  w.Put('y', 9);
  w.Put(256, 9);
  const Bytes out = RunUnshrink(w.out);
  EXPECT_EQ(std::string(out.begin(), out.end()), "xy");
}

TEST(Unshrink, CodeSizePast13BitsStops) {
  BitWriter w;
  w.Put('x', 9);
  unsigned bits = 9;
  for (int i = 0; i < 5; ++i) {
    w.Put(256, bits);
    w.Put(1, bits);
    ++bits;
  }
  w.Put('y', 13);
  LegacyStatus st;
  RunUnshrink(w.out, &st);
  EXPECT_EQ(st, LegacyStatus::kBadData);
}

TEST(Unshrink, EmptyInputGivesNothing) {
  LegacyStatus st;
  EXPECT_TRUE(RunUnshrink({}, &st).empty());
  EXPECT_EQ(st, LegacyStatus::kOk);
}

// Follower sets all empty: every character is a plain 8-bit byte.
Bytes ReduceStream(const std::vector<unsigned>& chars) {
  BitWriter w;
  for (int x = 0; x < 256; ++x) w.Put(0, 6);
  for (unsigned c : chars) w.Put(c, 8);
  return w.out;
}

TEST(Unreduce, CopyBeforeTheStartGivesZeros) {
  for (unsigned factor = 1; factor <= 4; ++factor) {
    SCOPED_TRACE(factor);
    // 'A', then DLE 144 with V = 1 (length 1 + 3 = 4), distance byte 1: distance
    // ((1 >> S) & M) * 256 + 1 + 1 = 2 reaches one byte before the start.
    const Bytes s = ReduceStream({'A', 144, 1, 1, 144, 0});
    Bytes out;
    MemoryInput in(s.data(), s.size());
    MemoryOutput o(out);
    EXPECT_EQ(Unreduce(in, o, factor, 6), LegacyStatus::kOk);
    EXPECT_EQ(out, (Bytes{'A', 0, 'A', 0, 'A', 144}));
  }
}

TEST(Unreduce, StopsAtTheEndOfInput) {
  const Bytes s = ReduceStream({'A', 'B'});
  Bytes out;
  MemoryInput in(s.data(), s.size());
  MemoryOutput o(out);
  EXPECT_EQ(Unreduce(in, o, 2, 4000000000u), LegacyStatus::kTruncated);
  EXPECT_EQ(out, (Bytes{'A', 'B'}));
  EXPECT_EQ(Unreduce(in, o, 5, 10), LegacyStatus::kBadData);
}

// Explode's code-length lists: one byte count, then (repeat-1)<<4 | (length-1).
TEST(Explode, BadCodeLengthListsProduceNoOutput) {
  struct Case {
    const char* name;
    Bytes stream;
  };
  const std::vector<Case> cases = {
      {"too_many_lengths", {0x03, 0xF5, 0xF5, 0xF5, 0xF5}},  // 4 x 16 = 64 lengths, then 16 more
      {"too_few_lengths", {0x00, 0x35}},                     // 4 lengths of 64
      {"oversubscribed", {0x00, 0xF0, 0xF0, 0xF0, 0xF0}},    // count byte says 1, but 16 x length 1
      {"empty", {}},
  };
  for (const Case& c : cases) {
    for (uint16_t flags : {0, 2, 4, 6}) {
      Bytes out;
      MemoryInput in(c.stream.data(), c.stream.size());
      MemoryOutput o(out);
      EXPECT_EQ(Explode(in, o, flags, c.stream.size(), 100), LegacyStatus::kBadData) << c.name << flags;
      EXPECT_TRUE(out.empty()) << c.name;
    }
  }
}

// A member of more than 200000 compressed bytes uses 8 distance lookup bits; the output
// does not depend on it.
TEST(Explode, DistanceLookupBitsDoNotChangeTheOutput) {
  const Bytes zip = ReadFile(std::filesystem::path(PS_TESTDATA_DIR) / "zip" / "implode-lorem.zip");
  const Member m = ListMembers(zip).at(0);
  Bytes a, b;
  {
    MemoryInput in(zip.data() + m.data, m.csize);
    MemoryOutput o(a);
    EXPECT_EQ(Explode(in, o, m.flags, m.csize, m.usize), LegacyStatus::kOk);
  }
  {
    MemoryInput in(zip.data() + m.data, m.csize);
    MemoryOutput o(b);
    EXPECT_EQ(Explode(in, o, m.flags, 300000, m.usize), LegacyStatus::kOk);
  }
  EXPECT_EQ(a.size(), m.usize);
  EXPECT_TRUE(a == b);
}

}  // namespace
}  // namespace codecs
