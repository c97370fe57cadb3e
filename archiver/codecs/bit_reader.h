// The bit reader of the legacy decoders: bits least significant first from the member
// input, in blocks.  Bits asked for past the end of the input read as zeros; Overrun()
// tells when any of them has been consumed, which is where a decoder stops.
#pragma once

#include <cstdint>
#include <span>

#include "archiver/codecs/member_io.h"

namespace codecs {

class BitReader {
 public:
  explicit BitReader(MemberInput& in) : src_(in) {}

  // Makes at least n (<= 32) bits available.
  void Need(unsigned n) {
    while (count_ < n) {
      uint64_t byte = 0;
      if (pos_ != block_.size() || Fetch())
        byte = block_[pos_++];
      else
        ++phantom_;
      buf_ |= byte << count_;
      count_ += 8;
    }
  }
  // The held bits (at least as many as the last Need asked for).
  uint32_t Peek() const { return uint32_t(buf_); }
  void Drop(unsigned n) {
    buf_ >>= n;
    count_ -= n;
  }
  uint32_t Bits(unsigned n) {
    Need(n);
    const uint32_t v = uint32_t(buf_ & ((uint64_t(1) << n) - 1));
    Drop(n);
    return v;
  }
  // True once bits past the end of the input have been consumed.
  bool Overrun() const { return uint64_t(phantom_) * 8 > count_; }

 private:
  bool Fetch() {
    if (ended_) return false;
    block_ = src_.NextBlock();
    pos_ = 0;
    if (block_.empty()) ended_ = true;
    return !ended_;
  }

  MemberInput& src_;
  std::span<const uint8_t> block_;
  size_t pos_ = 0;
  bool ended_ = false;
  uint32_t phantom_ = 0;
  uint64_t buf_ = 0;
  unsigned count_ = 0;
};

// How a legacy decoder ended.  Either failure leaves the member short, so that it fails
// its CRC; exceptions of the input and output pass through untouched.
enum class LegacyStatus : uint8_t {
  kOk = 0,
  kTruncated,  // the input ended before the member's output was complete
  kBadData,    // invalid data: the decoder stopped
};

}  // namespace codecs
