// Shared helpers of the compressor tests: a memory-backed DeflateIO, zlib's raw inflate as
// the independent check, input generators, and a slow but plain deflate stream reader that
// lists every block and symbol, so tests can assert what the compressor chose.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "archiver/codecs/deflate.h"
#include "archiver/codecs/deflate_matcher.h"
#include "archiver/codecs/deflate_trees.h"

namespace codecs::testing {

using Bytes = std::vector<uint8_t>;

// Input from memory in pieces of at most `piece` bytes; output appended to a vector.
class MemoryDeflateIO final : public DeflateIO {
 public:
  explicit MemoryDeflateIO(const Bytes& input, size_t piece = SIZE_MAX) : in_(input), piece_(piece) {}
  size_t ReadInput(uint8_t* buffer, size_t size) override {
    ++reads;
    if (fail_read_at && reads == fail_read_at) throw std::runtime_error("read failed");
    size_t n = std::min({size, piece_, in_.size() - pos_});
    if (n) std::memcpy(buffer, in_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  void WriteOutput(const uint8_t* data, size_t size) override {
    ++writes;
    if (size == 0) zero_writes++;
    if (fail_write_at && writes == fail_write_at) throw std::runtime_error("write failed");
    max_write = std::max(max_write, size);
    out.insert(out.end(), data, data + size);
  }
  Bytes out;
  size_t reads = 0, writes = 0, zero_writes = 0, max_write = 0;
  size_t fail_read_at = 0, fail_write_at = 0;

 private:
  const Bytes& in_;
  size_t piece_;
  size_t pos_ = 0;
};

struct Compressed {
  Bytes bytes;
  DeflateResult result;
  std::vector<BlockDecision> decisions;
};

// DeflateEntry's steps with the block decisions recorded.
inline Compressed Compress(CompressorWorkspace& ws, const Bytes& input, int level,
                           size_t piece = SIZE_MAX) {
  MemoryDeflateIO io(input, piece);
  Compressed c;
  if (level == 0) {
    c.result = DeflateEntry(ws, io, 0);
  } else {
    DeflateBitWriter out(io);
    DeflateBlocks blocks(ws, out, level);
    blocks.SetDecisionLog(&c.decisions);
    DeflateMatcher matcher(ws, io, blocks, level);
    matcher.Run();
    c.result = blocks.Result();
  }
  c.bytes = std::move(io.out);
  return c;
}

// zlib's raw inflate (window bits -15); throws when the stream is not valid and complete.
inline Bytes ZlibInflate(const Bytes& in, size_t expected_size) {
  Bytes out(expected_size + 1);
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  const size_t produced = z.total_out;
  const size_t unused = z.avail_in;
  inflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("zlib inflate: " + std::to_string(rc));
  if (unused != 0) throw std::runtime_error("bytes after the end of the stream");
  out.resize(produced);
  return out;
}

// --- input generators -----------------------------------------------------------------

inline Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// English-like text: words drawn with a skewed distribution, spaces, line breaks.
inline Bytes Text(size_t n, uint32_t seed) {
  static const char* words[] = {"the", "of", "and", "to", "in", "archive", "entry", "window",
                                "match", "block", "tree", "length", "distance", "code",
                                "compress", "deflate", "literal", "symbol", "hash", "chain",
                                "license", "software", "program", "free", "copy", "source"};
  std::mt19937 rng(seed);
  std::geometric_distribution<int> pick(0.15);
  Bytes b;
  size_t col = 0;
  while (b.size() < n) {
    const char* w = words[pick(rng) % (sizeof words / sizeof *words)];
    for (const char* p = w; *p; ++p) b.push_back(static_cast<uint8_t>(*p));
    col += std::strlen(w) + 1;
    if (col > 70) {
      b.push_back('\n');
      col = 0;
    } else {
      b.push_back(' ');
    }
  }
  b.resize(n);
  return b;
}

// A de Bruijn sequence B(k, 3) over the letters 'a'..: every 3-byte string occurs once,
// so the compressor finds no match at all (k^3 bytes).
inline Bytes DeBruijn3(unsigned k) {
  Bytes seq;
  std::vector<unsigned> a(3 * k + 1, 0);
  // Lyndon-word construction.
  auto db = [&](auto&& self, unsigned t, unsigned p) -> void {
    if (t > 3) {
      if (3 % p == 0)
        for (unsigned j = 1; j <= p; ++j) seq.push_back(static_cast<uint8_t>('a' + a[j]));
    } else {
      a[t] = a[t - p];
      self(self, t + 1, p);
      for (unsigned j = a[t - p] + 1; j < k; ++j) {
        a[t] = j;
        self(self, t + 1, t);
      }
    }
  };
  db(db, 1, 1);
  return seq;
}

// --- a plain deflate reader that lists blocks and symbols -----------------------------

struct TraceSymbol {
  uint16_t code;      // literal/length symbol 0-285 (256 = end of block)
  uint16_t length;    // match length for codes 257-285
  uint16_t distance;  // match distance
};
struct TraceBlock {
  int type;  // 0 stored, 1 fixed, 2 dynamic
  bool final;
  unsigned literal_codes = 0, distance_codes = 0;  // dynamic: HLIT + 257, HDIST + 1
  std::vector<uint8_t> literal_lengths, distance_lengths;
  std::vector<TraceSymbol> symbols;  // without the end of block
  size_t stored_length = 0;
  uint64_t bits = 0;  // size of the block in bits, header included
};
struct Trace {
  std::vector<TraceBlock> blocks;
  Bytes output;
};

class TraceReader {
 public:
  explicit TraceReader(const Bytes& in) : in_(in) {}

  Trace Read() {
    Trace t;
    bool final = false;
    while (!final) {
      TraceBlock b;
      const uint64_t start = bitpos_;
      final = Bits(1);
      b.final = final;
      b.type = static_cast<int>(Bits(2));
      if (b.type == 0) {
        bitpos_ = (bitpos_ + 7) & ~uint64_t{7};
        const unsigned len = Bits(16), nlen = Bits(16);
        if ((len ^ 0xFFFF) != nlen) throw std::runtime_error("bad stored length");
        for (unsigned i = 0; i < len; ++i) t.output.push_back(static_cast<uint8_t>(Bits(8)));
        b.stored_length = len;
      } else if (b.type == 1 || b.type == 2) {
        std::vector<uint8_t> ll(288), dl(30, 5);
        if (b.type == 1) {
          for (unsigned n = 0; n < 288; ++n) ll[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
        } else {
          ReadTrees(b, ll, dl);
        }
        Decoder lit(ll), dist(dl);
        for (;;) {
          const unsigned sym = lit.Decode(*this);
          if (sym == 256) break;
          if (sym < 256) {
            b.symbols.push_back({static_cast<uint16_t>(sym), 0, 0});
            t.output.push_back(static_cast<uint8_t>(sym));
            continue;
          }
          static const uint16_t lbase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
          static const uint8_t lext[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
          static const uint16_t dbase[] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                           33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
          static const uint8_t dext[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
          if (sym > 285) throw std::runtime_error("bad length symbol");
          const unsigned len = lbase[sym - 257] + Bits(lext[sym - 257]);
          const unsigned dsym = dist.Decode(*this);
          if (dsym >= 30) throw std::runtime_error("bad distance symbol");
          const unsigned d = dbase[dsym] + Bits(dext[dsym]);
          if (d > t.output.size()) throw std::runtime_error("distance too far");
          for (unsigned i = 0; i < len; ++i) t.output.push_back(t.output[t.output.size() - d]);
          b.symbols.push_back({static_cast<uint16_t>(sym), static_cast<uint16_t>(len), static_cast<uint16_t>(d)});
        }
      } else {
        throw std::runtime_error("block type 3");
      }
      b.bits = bitpos_ - start;
      t.blocks.push_back(std::move(b));
    }
    return t;
  }

 private:
  struct Decoder {
    // Canonical decoding, one bit at a time (as RFC 1951 defines the codes): slow and plain.
    unsigned count[16] = {};
    std::vector<uint16_t> sorted;  // symbols ordered by code length, then value
    explicit Decoder(const std::vector<uint8_t>& lens) {
      for (uint8_t l : lens) ++count[l];
      for (unsigned len = 1; len <= 15; ++len)
        for (unsigned s = 0; s < lens.size(); ++s)
          if (lens[s] == len) sorted.push_back(static_cast<uint16_t>(s));
    }
    unsigned Decode(TraceReader& r) const {
      unsigned code = 0, first = 0, index = 0;
      for (unsigned len = 1; len <= 15; ++len) {
        code |= r.Bits(1);
        if (code - first < count[len]) return sorted[index + (code - first)];
        index += count[len];
        first = (first + count[len]) << 1;
        code <<= 1;
      }
      throw std::runtime_error("invalid code");
    }
  };

  void ReadTrees(TraceBlock& b, std::vector<uint8_t>& ll, std::vector<uint8_t>& dl) {
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    b.literal_codes = Bits(5) + 257;
    b.distance_codes = Bits(5) + 1;
    const unsigned hclen = Bits(4) + 4;
    std::vector<uint8_t> cl(19, 0);
    for (unsigned i = 0; i < hclen; ++i) cl[order[i]] = static_cast<uint8_t>(Bits(3));
    Decoder cd(cl);
    std::vector<uint8_t> all;
    while (all.size() < b.literal_codes + b.distance_codes) {
      const unsigned s = cd.Decode(*this);
      if (s < 16) {
        all.push_back(static_cast<uint8_t>(s));
      } else if (s == 16) {
        if (all.empty()) throw std::runtime_error("repeat with no previous length");
        const unsigned n = 3 + Bits(2);
        all.insert(all.end(), n, all.back());
      } else {
        const unsigned n = s == 17 ? 3 + Bits(3) : 11 + Bits(7);
        all.insert(all.end(), n, 0);
      }
    }
    if (all.size() != b.literal_codes + b.distance_codes) throw std::runtime_error("repeat overrun");
    ll.assign(all.begin(), all.begin() + b.literal_codes);
    dl.assign(all.begin() + b.literal_codes, all.end());
    b.literal_lengths = ll;
    b.distance_lengths = dl;
  }

  unsigned Bits(unsigned n) {
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i, ++bitpos_) {
      if ((bitpos_ >> 3) >= in_.size()) throw std::runtime_error("stream truncated");
      v |= ((in_[bitpos_ >> 3] >> (bitpos_ & 7)) & 1u) << i;
    }
    return v;
  }

  const Bytes& in_;
  uint64_t bitpos_ = 0;
};

inline Trace ReadTrace(const Bytes& in) { return TraceReader(in).Read(); }

}  // namespace codecs::testing
