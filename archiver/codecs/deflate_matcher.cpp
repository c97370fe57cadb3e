#include "archiver/codecs/deflate_matcher.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace codecs {

const DeflateLevel kDeflateLevels[10] = {
    {0, 0, 0, 0, false},          {4, 4, 8, 4, false},       {4, 5, 16, 8, false},
    {4, 6, 32, 32, false},        {4, 4, 16, 16, true},      {8, 16, 32, 32, true},
    {8, 16, 128, 128, true},      {8, 32, 128, 256, true},   {32, 128, 258, 1024, true},
    {32, 258, 258, 4096, true},
};

namespace {

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Number of equal bytes of a and b, at most `limit` (compared eight at a time).
inline unsigned CommonPrefix(const uint8_t* a, const uint8_t* b, unsigned limit) {
  unsigned n = 0;
  while (n < limit) {
    const uint64_t x = Load64(a + n) ^ Load64(b + n);
    if (x != 0) {
      const unsigned diff = std::endian::native == std::endian::little
                                ? static_cast<unsigned>(std::countr_zero(x)) >> 3
                                : static_cast<unsigned>(std::countl_zero(x)) >> 3;
      n += diff;
      return n < limit ? n : limit;
    }
    n += 8;
  }
  return limit;
}

}  // namespace

DeflateMatcher::DeflateMatcher(CompressorWorkspace& workspace, DeflateIO& io, DeflateBlocks& blocks,
                               int level)
    : ws_(workspace), io_(io), blocks_(blocks), params_(kDeflateLevels[level]) {}

void DeflateMatcher::Run() {
  std::fill(std::begin(ws_.head), std::end(ws_.head), uint16_t{0});
  // The links need no clearing: every chain starts at a cleared head, and a position's link
  // is written when the position is inserted.
  const size_t first = io_.ReadInput(ws_.window, kWindowSize);
  if (first == 0) {
    eof_ = true;
    lookahead_ = 0;
  } else {
    lookahead_ = static_cast<unsigned>(first);
    while (lookahead_ < kMinLookahead && !eof_) FillWindow();
  }
  hash_ = 0;
  hash_ = ((hash_ << 5) ^ ws_.window[0]) & (kHashSize - 1);
  hash_ = ((hash_ << 5) ^ ws_.window[1]) & (kHashSize - 1);
  if (params_.lazy)
    RunLazy();
  else
    RunGreedy();
}

void DeflateMatcher::FillWindow() {
  unsigned more = kWindowBuffer - lookahead_ - pos_;
  if (more == 0xFFFF) {
    --more;
  } else if (pos_ >= kWindowSize + kMaxDistance) {
    // Slide: the upper half becomes the lower half, and every position drops by 32768;
    // chain entries that fall off the window become "no earlier string".
    std::memcpy(ws_.window, ws_.window + kWindowSize, kWindowSize);
    match_start_ = static_cast<uint16_t>(match_start_ - kWindowSize);
    pos_ -= kWindowSize;
    block_start_ -= static_cast<int32_t>(kWindowSize);
    for (uint16_t& h : ws_.head) h = h >= kWindowSize ? static_cast<uint16_t>(h - kWindowSize) : 0;
    for (uint16_t& p : ws_.prev) p = p >= kWindowSize ? static_cast<uint16_t>(p - kWindowSize) : 0;
    more += kWindowSize;
  }
  if (eof_) return;
  const size_t n = io_.ReadInput(ws_.window + pos_ + lookahead_, more);
  if (n == 0)
    eof_ = true;
  else
    lookahead_ += static_cast<unsigned>(std::min<size_t>(n, more));
}

unsigned DeflateMatcher::LongestMatch(unsigned candidate) {
  unsigned chain = params_.chain_length;
  unsigned best = prev_length_;
  const unsigned limit = pos_ > kMaxDistance ? pos_ - kMaxDistance : 0;
  const unsigned nice = params_.nice_length;
  if (prev_length_ >= params_.good_length) chain >>= 2;
  const uint8_t* const scan = ws_.window + pos_;
  uint16_t scan_end = Load16(scan + best - 1);
  const uint16_t scan_start = Load16(scan);
  do {
    const uint8_t* const match = ws_.window + candidate;
    // Reject on two 16-bit words (the bytes that would make the match longer than the
    // best, and the first two) before comparing forward.  The third byte is equal
    // whenever the first two are: the hash of three bytes determines it.
    if (Load16(match + best - 1) != scan_end || Load16(match) != scan_start) continue;
    const unsigned len = kMinMatch + CommonPrefix(scan + kMinMatch, match + kMinMatch, kMaxMatch - kMinMatch);
    if (len > best) {
      match_start_ = static_cast<uint16_t>(candidate);
      best = len;
      if (len >= nice) break;
      scan_end = Load16(scan + best - 1);
    }
  } while ((candidate = ws_.prev[candidate & (kWindowSize - 1)]) > limit && --chain != 0);
  return best;
}

void DeflateMatcher::RunGreedy() {
  prev_length_ = 2;
  unsigned match_length = 0;
  candidate_ = 0;
  while (lookahead_ > 0) {
    if (lookahead_ >= kMinMatch) InsertString(pos_);
    if (candidate_ != 0 && pos_ - candidate_ <= kMaxDistance) {
      match_length = std::min(LongestMatch(candidate_), lookahead_);
    }
    bool flush;
    if (match_length >= kMinMatch) {
      flush = blocks_.TallyMatch(pos_ - match_start_, match_length - kMinMatch, pos_, block_start_);
      lookahead_ -= match_length;
      if (match_length <= params_.lazy_length) {
        // Every string the match covers goes into the chains.
        for (unsigned i = 1; i < match_length; ++i) InsertString(++pos_);
        ++pos_;
      } else {
        pos_ += match_length;
        hash_ = 0;
        hash_ = ((hash_ << 5) ^ ws_.window[pos_]) & (kHashSize - 1);
        hash_ = ((hash_ << 5) ^ ws_.window[pos_ + 1]) & (kHashSize - 1);
      }
      match_length = 0;
    } else {
      flush = blocks_.TallyLiteral(ws_.window[pos_], pos_, block_start_);
      --lookahead_;
      ++pos_;
    }
    if (flush) {
      blocks_.FlushBlock(block_start_, pos_, false);
      block_start_ = static_cast<int32_t>(pos_);
    }
    while (lookahead_ < kMinLookahead && !eof_) FillWindow();
  }
  blocks_.FlushBlock(block_start_, pos_, true);
}

void DeflateMatcher::RunLazy() {
  unsigned match_length = 2;
  bool match_available = false;
  candidate_ = 0;
  while (lookahead_ > 0) {
    if (lookahead_ >= kMinMatch) InsertString(pos_);
    prev_length_ = match_length;
    const uint16_t prev_match = match_start_;
    match_length = 2;
    if (candidate_ != 0 && prev_length_ < params_.lazy_length && pos_ - candidate_ <= kMaxDistance) {
      match_length = std::min(LongestMatch(candidate_), lookahead_);
      // A 3-byte match far back costs more than its three literals.
      if (match_length == kMinMatch && pos_ - match_start_ > kTooFar) match_length = 2;
    }
    if (prev_length_ >= kMinMatch && match_length <= prev_length_) {
      // The match found at the previous position is at least as long: take it.
      const bool flush = blocks_.TallyMatch(pos_ - 1 - prev_match, prev_length_ - kMinMatch, pos_,
                                            block_start_);
      lookahead_ -= prev_length_ - 1;
      for (unsigned i = 2; i < prev_length_; ++i) InsertString(++pos_);
      match_available = false;
      match_length = 2;
      ++pos_;
      if (flush) {
        blocks_.FlushBlock(block_start_, pos_, false);
        block_start_ = static_cast<int32_t>(pos_);
      }
    } else if (match_available) {
      // The previous position's byte goes out as a literal; this position's match (if
      // any) waits for the next one.
      if (blocks_.TallyLiteral(ws_.window[pos_ - 1], pos_, block_start_)) {
        blocks_.FlushBlock(block_start_, pos_, false);
        block_start_ = static_cast<int32_t>(pos_);
      }
      ++pos_;
      --lookahead_;
    } else {
      match_available = true;
      ++pos_;
      --lookahead_;
    }
    while (lookahead_ < kMinLookahead && !eof_) FillWindow();
  }
  if (match_available) blocks_.TallyLiteral(ws_.window[pos_ - 1], pos_, block_start_);
  blocks_.FlushBlock(block_start_, pos_, true);
}

DeflateResult StoreEntry(DeflateIO& io) {
  uint8_t buffer[16000];
  DeflateResult r;
  r.compression_method = kMethodStored;
  r.internal_attributes = kAttributesBinary;
  for (;;) {
    const size_t n = io.ReadInput(buffer, sizeof buffer);
    if (n == 0) break;
    const size_t m = std::min(n, sizeof buffer);
    io.WriteOutput(buffer, m);
    r.compressed_size += m;
  }
  return r;
}

DeflateResult DeflateEntry(CompressorWorkspace& workspace, DeflateIO& io, int level) {
  level = std::clamp(level, 0, 9);
  if (level == 0) return StoreEntry(io);
  DeflateBitWriter out(io);
  DeflateBlocks blocks(workspace, out, level);
  DeflateMatcher matcher(workspace, io, blocks, level);
  try {
    matcher.Run();
  } catch (...) {
    // An abandoned entry leaves nothing in the window for the next run either.
    std::memset(workspace.window, 0, kWindowBuffer - 1);
    throw;
  }
  DeflateResult r = blocks.Result();
  if (level == 1 || level == 2) r.general_flags = 4;
  if (level == 8 || level == 9) r.general_flags = 2;
  return r;
}

}  // namespace codecs
