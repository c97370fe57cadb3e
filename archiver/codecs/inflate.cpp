#include "archiver/codecs/inflate.h"

#include <algorithm>
#include <cstring>

namespace codecs {
namespace {

// The decoded bytes live in one linear buffer: history behind the write position and
// room ahead of it.  When the room runs out the buffer slides, keeping the last 32768
// bytes (and anything not yet handed on), so every distance is a plain pointer offset.
constexpr size_t kHistory = 32768;
constexpr size_t kBufSize = size_t(1) << 17;
constexpr size_t kMaxMatch = 258;
constexpr size_t kSlack = 16;  // word copies may write a few bytes past a match's end

// First-level lookup bits.  Wider than the classic 9/6 so that nearly every code
// resolves with one lookup.
constexpr unsigned kLitLookupBits = 10;
constexpr unsigned kDistLookupBits = 8;
constexpr unsigned kCodeLenLookupBits = 7;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLenOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline uint64_t Mask(unsigned n) { return (uint64_t(1) << n) - 1; }

}  // namespace

const char* InflateStatusText(InflateStatus status) {
  switch (status) {
    case InflateStatus::kOk: return "ok";
    case InflateStatus::kTruncated: return "stream ends early";
    case InflateStatus::kBadBlockType: return "invalid block type";
    case InflateStatus::kBadStoredLength: return "stored block length check failed";
    case InflateStatus::kTooManyCodes: return "too many length or distance codes";
    case InflateStatus::kBadCodeLengths: return "invalid code lengths";
    case InflateStatus::kBadRepeat: return "code length repeat past the end";
    case InflateStatus::kInvalidCode: return "invalid code";
    case InflateStatus::kDistanceTooFar: return "distance before the start of the output";
    case InflateStatus::kStreamFailed: return "member input or output failed";
  }
  return "unknown";
}

struct Inflater::State {
  // Input: the current block and a 64-bit bit buffer.  Bits above bitcnt are either zero
  // or the real next bits of the input (the fast refill loads whole words).
  MemberInput* src = nullptr;
  const uint8_t* in = nullptr;
  const uint8_t* in_end = nullptr;
  bool ended = false;
  uint32_t phantom = 0;  // zero bytes supplied past the end of the input
  uint64_t bitbuf = 0;
  unsigned bitcnt = 0;

  // Output.
  MemberOutput* dst = nullptr;
  std::unique_ptr<uint8_t[]> buf{new uint8_t[kBufSize + kSlack]};
  size_t p = 0;        // write position in buf
  size_t emitted = 0;  // buf[emitted..p) not yet handed on
  uint64_t base = 0;   // member bytes before buf[0]

  DecodeTable lit, dist, codelen, fixed_lit, fixed_dist;

  State() {
    uint8_t lens[288];
    std::fill(lens, lens + 144, 8);
    std::fill(lens + 144, lens + 256, 9);
    std::fill(lens + 256, lens + 280, 7);
    std::fill(lens + 280, lens + 288, 8);
    unsigned bits = kLitLookupBits;
    BuildDecodeTable(lens, 288, 257, kLengthBase, kLengthExtra, bits, fixed_lit);
    std::fill(lens, lens + 30, 5);
    bits = kDistLookupBits;
    // Incomplete by the two unused codes 30 and 31, which decode as invalid.
    BuildDecodeTable(lens, 30, 0, kDistBase, kDistExtra, bits, fixed_dist);
  }

  void Reset(MemberInput& i, MemberOutput& o) {
    src = &i;
    dst = &o;
    in = in_end = nullptr;
    ended = false;
    phantom = 0;
    bitbuf = 0;
    bitcnt = 0;
    p = emitted = 0;
    base = 0;
  }

  bool Fetch() {
    if (ended) return false;
    std::span<const uint8_t> b = src->NextBlock();
    if (b.empty()) {
      ended = true;
      return false;
    }
    in = b.data();
    in_end = in + b.size();
    return true;
  }

  // Makes at least n (<= 32) bits available; past the end of the input they are zeros.
  void Need(unsigned n) {
    while (bitcnt < n) {
      uint64_t byte = 0;
      if (in != in_end || Fetch())
        byte = *in++;
      else
        ++phantom;
      bitbuf = (bitbuf & Mask(bitcnt)) | (byte << bitcnt);
      bitcnt += 8;
    }
  }
  void Drop(unsigned n) {
    bitbuf >>= n;
    bitcnt -= n;
  }
  unsigned Bits(unsigned n) {
    Need(n);
    const unsigned v = unsigned(bitbuf & Mask(n));
    Drop(n);
    return v;
  }
  // True once bits past the end of the input have been consumed.
  bool Overrun() const { return uint64_t(phantom) * 8 > bitcnt; }

  // One symbol, bit by bit as needed.  Returns the entry (op kOpInvalid for a bad code).
  uint32_t Decode(const DecodeTable& t) {
    Need(t.root_bits);
    uint32_t e = t.entries[bitbuf & Mask(t.root_bits)];
    unsigned op = EntryOp(e);
    if (op > kOpLiteral && op != kOpInvalid) {
      Drop(EntryBits(e));
      Need(op - kOpLiteral);
      e = t.entries[EntryValue(e) + (bitbuf & Mask(op - kOpLiteral))];
    }
    if (EntryOp(e) != kOpInvalid) Drop(EntryBits(e));
    return e;
  }

  // Hands on the complete blocks before the last 32768-byte point (all of them when
  // final), as the 32 KB window of the original hands them on.
  void Emit(bool final) {
    const uint64_t total = base + p;
    const uint64_t limit = final ? total : total & ~uint64_t(kHistory - 1);
    while (base + emitted + kMemberBlockSize <= limit) {
      dst->Write(buf.get() + emitted, kMemberBlockSize);
      emitted += kMemberBlockSize;
    }
    if (final && emitted < p) {
      dst->Write(buf.get() + emitted, p - emitted);
      emitted = p;
    }
  }

  void Slide() {
    Emit(false);
    const size_t keep = std::min(p, std::max(kHistory, p - emitted));
    const size_t drop = p - keep;
    std::memmove(buf.get(), buf.get() + drop, keep);
    base += drop;
    emitted -= drop;
    p = keep;
  }

  InflateStatus Stored();
  InflateStatus Dynamic();
  InflateStatus Codes(const DecodeTable& lt, const DecodeTable& dt);
  InflateStatus Blocks();
};

InflateStatus Inflater::State::Stored() {
  Drop(bitcnt & 7);
  const unsigned len = Bits(16);
  const unsigned nlen = Bits(16);
  if (Overrun()) return InflateStatus::kTruncated;
  if (len != (~nlen & 0xFFFF)) return InflateStatus::kBadStoredLength;
  size_t left = len;
  // Whole bytes still held in the bit buffer come first.
  while (left > 0 && bitcnt >= 8) {
    if (bitcnt - 8 < uint64_t(phantom) * 8) return InflateStatus::kTruncated;
    if (p == kBufSize) Slide();
    buf[p++] = uint8_t(bitbuf);
    Drop(8);
    --left;
  }
  if (bitcnt == 0) bitbuf = 0;
  while (left > 0) {
    if (in == in_end && !Fetch()) return InflateStatus::kTruncated;
    if (p == kBufSize) Slide();
    const size_t n = std::min({left, size_t(in_end - in), kBufSize - p});
    std::memcpy(buf.get() + p, in, n);
    in += n;
    p += n;
    left -= n;
  }
  return InflateStatus::kOk;
}

InflateStatus Inflater::State::Dynamic() {
  const unsigned nlit = Bits(5) + 257;
  const unsigned ndist = Bits(5) + 1;
  const unsigned ncode = Bits(4) + 4;
  if (nlit > 286 || ndist > 30) return InflateStatus::kTooManyCodes;
  uint8_t lens[286 + 30] = {};
  for (unsigned i = 0; i < ncode; ++i) lens[kCodeLenOrder[i]] = uint8_t(Bits(3));
  if (Overrun()) return InflateStatus::kTruncated;
  unsigned bits = kCodeLenLookupBits;
  if (BuildDecodeTable(lens, 19, 19, {}, {}, bits, codelen) != kTableComplete)
    return InflateStatus::kBadCodeLengths;

  const unsigned total = nlit + ndist;
  std::fill(lens, lens + 19, 0);
  unsigned prev = 0;
  for (unsigned i = 0; i < total;) {
    const uint32_t e = Decode(codelen);
    if (EntryOp(e) == kOpInvalid) return InflateStatus::kInvalidCode;
    const unsigned sym = EntryValue(e);
    if (sym < 16) {
      lens[i++] = uint8_t(sym);
      prev = sym;
    } else {
      unsigned rep, value = 0;
      if (sym == 16) {
        rep = 3 + Bits(2);
        value = prev;
      } else if (sym == 17) {
        rep = 3 + Bits(3);
        prev = 0;
      } else {
        rep = 11 + Bits(7);
        prev = 0;
      }
      if (rep > total - i) return InflateStatus::kBadRepeat;
      std::fill(lens + i, lens + i + rep, uint8_t(value));
      i += rep;
    }
    if (Overrun()) return InflateStatus::kTruncated;
  }

  bits = kLitLookupBits;
  if (BuildDecodeTable(lens, nlit, 257, kLengthBase, kLengthExtra, bits, lit) != kTableComplete)
    return InflateStatus::kBadCodeLengths;
  bits = kDistLookupBits;
  if (BuildDecodeTable(lens + nlit, ndist, 0, kDistBase, kDistExtra, bits, dist) != kTableComplete)
    return InflateStatus::kBadCodeLengths;
  return Codes(lit, dist);
}

InflateStatus Inflater::State::Codes(const DecodeTable& lt, const DecodeTable& dt) {
  const uint32_t* const L = lt.entries.data();
  const uint32_t* const D = dt.entries.data();
  const uint64_t lmask = Mask(lt.root_bits);
  const uint64_t dmask = Mask(dt.root_bits);
  uint8_t* const out = buf.get();
  for (;;) {
    // Fast loop: eight input bytes at hand and room for a longest match, so one refill
    // covers a whole literal or match (at most 15+5+15+13 bits) with no checks.
    while (in_end - in >= 8 && p <= kBufSize - kMaxMatch) {
      bitbuf |= Load64(in) << bitcnt;
      in += (63 - bitcnt) >> 3;
      bitcnt |= 56;
      uint32_t e = L[bitbuf & lmask];
      unsigned op = EntryOp(e);
      if (op > kOpLiteral) {
        if (op == kOpInvalid) return InflateStatus::kInvalidCode;
        Drop(EntryBits(e));
        e = L[EntryValue(e) + (bitbuf & Mask(op - kOpLiteral))];
        op = EntryOp(e);
        if (op == kOpInvalid) return InflateStatus::kInvalidCode;
      }
      Drop(EntryBits(e));
      if (op == kOpLiteral) {
        out[p++] = uint8_t(EntryValue(e));
        // Most literal codes are short: take a second one from the same refill.
        e = L[bitbuf & lmask];
        if (EntryOp(e) == kOpLiteral) {
          Drop(EntryBits(e));
          out[p++] = uint8_t(EntryValue(e));
        }
        continue;
      }
      if (op == kOpEndOfBlock) return InflateStatus::kOk;
      const unsigned len = EntryValue(e) + unsigned(bitbuf & Mask(op));
      Drop(op);
      e = D[bitbuf & dmask];
      op = EntryOp(e);
      if (op > kOpLiteral) {
        if (op == kOpInvalid) return InflateStatus::kInvalidCode;
        Drop(EntryBits(e));
        e = D[EntryValue(e) + (bitbuf & Mask(op - kOpLiteral))];
        op = EntryOp(e);
        if (op == kOpInvalid) return InflateStatus::kInvalidCode;
      }
      Drop(EntryBits(e));
      const size_t d = EntryValue(e) + unsigned(bitbuf & Mask(op));
      Drop(op);
      if (d > p) return InflateStatus::kDistanceTooFar;
      uint8_t* to = out + p;
      const uint8_t* from = to - d;
      uint8_t* const end = to + len;
      if (d >= 8) {
        do {
          std::memcpy(to, from, 8);
          to += 8;
          from += 8;
        } while (to < end);
      } else if (d == 1) {
        std::memset(to, *from, len);
      } else {
        while (to < end) *to++ = *from++;
      }
      p += len;
    }
    if (p > kBufSize - kMaxMatch) {
      Slide();
      continue;
    }

    // Slow path near the end of an input block: one symbol, byte-wise refills.
    uint32_t e = Decode(lt);
    unsigned op = EntryOp(e);
    if (op == kOpInvalid) return InflateStatus::kInvalidCode;
    if (Overrun()) return InflateStatus::kTruncated;
    if (op == kOpLiteral) {
      out[p++] = uint8_t(EntryValue(e));
      continue;
    }
    if (op == kOpEndOfBlock) return InflateStatus::kOk;
    const unsigned len = EntryValue(e) + Bits(op);
    e = Decode(dt);
    if (EntryOp(e) == kOpInvalid) return InflateStatus::kInvalidCode;
    const size_t d = EntryValue(e) + Bits(EntryOp(e));
    if (Overrun()) return InflateStatus::kTruncated;
    if (d > p) return InflateStatus::kDistanceTooFar;
    for (unsigned i = 0; i < len; ++i, ++p) out[p] = out[p - d];
  }
}

InflateStatus Inflater::State::Blocks() {
  for (;;) {
    const unsigned last = Bits(1);
    const unsigned type = Bits(2);
    if (Overrun()) return InflateStatus::kTruncated;
    InflateStatus st;
    switch (type) {
      case 0: st = Stored(); break;
      case 1: st = Codes(fixed_lit, fixed_dist); break;
      case 2: st = Dynamic(); break;
      default: return InflateStatus::kBadBlockType;
    }
    if (st != InflateStatus::kOk) return st;
    if (last) return InflateStatus::kOk;
  }
}

Inflater::Inflater() : s_(new State) {}
Inflater::~Inflater() = default;

InflateStatus Inflater::Run(MemberInput& in, MemberOutput& out) {
  s_->Reset(in, out);
  try {
    const InflateStatus st = s_->Blocks();
    if (st != InflateStatus::kOk) return st;
    s_->Emit(false);
  } catch (const CancelSignal&) {
    throw;
  } catch (...) {
    return InflateStatus::kStreamFailed;
  }
  s_->Emit(true);
  return InflateStatus::kOk;
}

InflateStatus Inflate(MemberInput& in, MemberOutput& out) {
  Inflater inflater;
  return inflater.Run(in, out);
}

InflateStatus InflateRaw(const uint8_t* in, size_t in_size, std::vector<uint8_t>& out) {
  MemoryInput input(in, in_size);
  MemoryOutput output(out);
  return Inflate(input, output);
}

}  // namespace codecs
