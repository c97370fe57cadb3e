// The compressor's bit writer: codes go out least significant bit first through a 64-bit
// bit buffer into a small byte buffer that is handed to DeflateIO::WriteOutput about once
// per kilobyte.  The byte stream is the same as with any narrower buffer; the wide one
// only saves work.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "archiver/codecs/deflate.h"

namespace codecs {

class DeflateBitWriter {
 public:
  static constexpr unsigned kOutputBuffer = 1024;

  explicit DeflateBitWriter(DeflateIO& io) : io_(io) {}

  // Sends the low `count` bits of `value` (count 0-32; value has no bits above them).
  void Put(uint32_t value, unsigned count) {
    if (fill_ + count > 64) Spill();
    bits_ |= static_cast<uint64_t>(value) << fill_;
    fill_ += count;
  }

  // Moves whole bytes from the bit buffer to the byte buffer; leaves 0-7 bits pending.
  void Spill() {
    if (pos_ > kOutputBuffer - 8) FlushBytes();
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out_ + pos_, &bits_, 8);
    } else {
      for (unsigned i = 0; i < 8; ++i) out_[pos_ + i] = static_cast<uint8_t>(bits_ >> (8 * i));
    }
    const unsigned bytes = fill_ >> 3;
    pos_ += bytes;
    bits_ = bytes == 8 ? 0 : bits_ >> (bytes * 8);
    fill_ &= 7;
  }

  // Pads the pending bits with zeros to a byte boundary.
  void AlignToByte() {
    Spill();
    if (fill_ > 0) {
      fill_ = 8;
      Spill();
    }
  }

  // A 16-bit little-endian value at a byte boundary.
  void PutAlignedU16(uint16_t v) { Put(v, 16); }

  // Hands the byte buffer to WriteOutput (the bit buffer must be byte-aligned and spilled
  // for this to be everything).
  void FlushBytes() {
    if (pos_ == 0) return;
    const unsigned n = pos_;
    pos_ = 0;
    io_.WriteOutput(out_, n);
  }

  // Bytes handed out directly (stored blocks), after everything pending.
  void WriteDirect(const uint8_t* data, size_t size) {
    AlignToByte();
    FlushBytes();
    if (size > 0) io_.WriteOutput(data, size);
  }

 private:
  DeflateIO& io_;
  uint64_t bits_ = 0;
  unsigned fill_ = 0;
  unsigned pos_ = 0;
  uint8_t out_[kOutputBuffer + 8];
};

}  // namespace codecs
