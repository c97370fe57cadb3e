// The member input and output of the decoders: the engine implements these over the
// archive stream (volumes, decryption) and over the extraction target (size checks, CRC,
// progress); tests and benchmarks use the memory-backed ones below.
//
// Both sides move whole blocks of at most kMemberBlockSize bytes, so that message pumping,
// cancel polling, decryption, CRC and progress happen once per block.
//
// Failures travel as exceptions thrown by the implementations.  A decoder passes every
// exception on, except that inflate turns a failure inside a deflate block into a failed
// member (the member then fails its CRC) -- but never an exception derived from
// CancelSignal, which always ends the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <vector>

namespace codecs {

inline constexpr size_t kMemberBlockSize = 16000;

// Base of the engine's cancellation exception ("User Aborted Operation"): decoders never
// swallow it.
struct CancelSignal {
  virtual ~CancelSignal() = default;
};

class MemberInput {
 public:
  virtual ~MemberInput() = default;
  // The next block of the member's compressed bytes (1 to kMemberBlockSize bytes),
  // already decrypted; empty once the member's bytes are used up.  The span stays
  // valid until the next call.
  virtual std::span<const uint8_t> NextBlock() = 0;
};

class MemberOutput {
 public:
  virtual ~MemberOutput() = default;
  // One block of decoded bytes, 1 to kMemberBlockSize of them.
  virtual void Write(const uint8_t* data, size_t size) = 0;
};

// Collects decoded bytes and hands them on in blocks of exactly kMemberBlockSize bytes
// (the last block of a member may be shorter).
class BlockWriter {
 public:
  explicit BlockWriter(MemberOutput& out) : out_(out) {}
  void Put(const uint8_t* data, size_t size) {
    while (size > 0) {
      size_t n = kMemberBlockSize - fill_;
      if (n > size) n = size;
      std::memcpy(buf_ + fill_, data, n);
      fill_ += n;
      data += n;
      size -= n;
      if (fill_ == kMemberBlockSize) Flush();
    }
  }
  void Put(uint8_t byte) {
    buf_[fill_++] = byte;
    if (fill_ == kMemberBlockSize) Flush();
  }
  // Writes what is held (nothing when empty).
  void Flush() {
    if (fill_ == 0) return;
    const size_t n = fill_;
    fill_ = 0;
    out_.Write(buf_, n);
  }

 private:
  MemberOutput& out_;
  size_t fill_ = 0;
  uint8_t buf_[kMemberBlockSize];
};

// Memory-backed input: delivers `data` in blocks of `block` bytes (at most
// kMemberBlockSize).
class MemoryInput final : public MemberInput {
 public:
  MemoryInput(const uint8_t* data, size_t size, size_t block = kMemberBlockSize)
      : data_(data), size_(size), block_(block == 0 || block > kMemberBlockSize ? kMemberBlockSize : block) {}
  std::span<const uint8_t> NextBlock() override {
    const size_t n = size_ - pos_ < block_ ? size_ - pos_ : block_;
    std::span<const uint8_t> s(data_ + pos_, n);
    pos_ += n;
    ++blocks_;
    return s;
  }
  size_t consumed() const { return pos_; }
  size_t blocks() const { return blocks_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t block_;
  size_t pos_ = 0;
  size_t blocks_ = 0;
};

// Memory-backed output: appends to a vector; with a limit, a block that would take the
// total past it throws OutputTooLarge (as the engine's size check does).
class MemoryOutput final : public MemberOutput {
 public:
  struct OutputTooLarge : std::runtime_error {
    OutputTooLarge() : std::runtime_error("output larger than its limit") {}
  };
  explicit MemoryOutput(std::vector<uint8_t>& out, size_t limit = SIZE_MAX)
      : out_(out), limit_(limit) {}
  void Write(const uint8_t* data, size_t size) override {
    if (size > limit_ - out_.size()) throw OutputTooLarge();
    out_.insert(out_.end(), data, data + size);
    ++writes_;
  }
  size_t writes() const { return writes_; }

 private:
  std::vector<uint8_t>& out_;
  size_t limit_;
  size_t writes_ = 0;
};

}  // namespace codecs
