// The deflate compressor (RFC 1951, ZIP compression method 8) as the archive writer uses
// it: one call compresses one entry, pulling the input and pushing the output through the
// writer's DeflateIO.  The compressed stream is fully determined by the input and the
// level: the matcher (deflate_matcher.h) and the block coder (deflate_trees.h) follow
// fixed rules, so two runs, or two builds, give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archiver/codecs/compressor_workspace.h"

namespace codecs {

// What the writer implements.  Both routines move whole blocks: input in window-sized
// pieces (32768 bytes, then whatever room the window has), output in pieces of about a
// kilobyte and whole stored blocks.  Errors and cancellation are the writer's exceptions,
// thrown from inside either routine; the compressor holds no resources of its own, so it
// simply unwinds and the workspace stays usable for the next run.
class DeflateIO {
 public:
  // Up to `size` bytes of the entry's input into `buffer`; 0 only at the end of input.
  // A read error must be thrown, never reported as a short count.
  virtual size_t ReadInput(uint8_t* buffer, size_t size) = 0;
  // `size` (>= 1) compressed bytes.  The bytes may point into the compressor's window,
  // which later matches still read: an implementation that encrypts must encrypt a copy,
  // never the buffer in place.
  virtual void WriteOutput(const uint8_t* data, size_t size) = 0;

 protected:
  ~DeflateIO() = default;
};

inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kAttributesBinary = 0;
inline constexpr uint16_t kAttributesText = 1;

struct DeflateResult {
  // Bytes handed to WriteOutput (the encryption header is the writer's and not counted).
  // 64-bit so that the writer can refuse an entry whose size does not fit the format.
  uint64_t compressed_size = 0;
  // kMethodDeflated, or kMethodStored when deflate would not have made the entry smaller
  // and the entry was written as it is.
  uint16_t compression_method = kMethodDeflated;
  // kAttributesText or kAttributesBinary, decided from the first block's literals.
  uint16_t internal_attributes = kAttributesBinary;
  // Bits to OR into the entry's general-purpose flags: 4 at levels 1-2, 2 at levels 8-9.
  uint16_t general_flags = 0;
};

// Compresses the whole entry at `level`.  Levels outside 0-9 are clamped; level 0 stores
// (StoreEntry).  The workspace must not be shared by two entries at the same time.
DeflateResult DeflateEntry(CompressorWorkspace& workspace, DeflateIO& io, int level);

// Level 0: the input copied to the output in 16000-byte pieces, method 0, binary.
DeflateResult StoreEntry(DeflateIO& io);

}  // namespace codecs
