// Shared by the decoder fuzz targets: a member input in blocks of a chosen size and an
// output with a cap, so that a run stays small whatever the stream claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "archiver/codecs/crc32.h"
#include "archiver/codecs/member_io.h"

namespace codecs::fuzz {

inline constexpr size_t kOutputCap = size_t(1) << 22;

class CappedOutput final : public MemberOutput {
 public:
  void Write(const uint8_t* data, size_t size) override {
    if (size == 0 || size > kMemberBlockSize) __builtin_trap();  // block contract broken
    if (written_ + size > kOutputCap) throw std::length_error("output cap");
    crc_ = Crc32Update(crc_, data, size);  // touches every byte written
    written_ += size;
  }

 private:
  size_t written_ = 0;
  uint32_t crc_ = 0xFFFFFFFF;
};

inline size_t BlockSize(uint8_t selector) {
  static constexpr size_t kSizes[4] = {kMemberBlockSize, 1, 7, 333};
  return kSizes[selector & 3];
}

inline uint32_t Read24(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16; }

}  // namespace codecs::fuzz
