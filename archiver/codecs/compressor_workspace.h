// The deflate compressor's working memory: the sliding window, the hash chains and the
// symbol buffers of the block being collected.  The writer allocates one workspace per
// archive-writing run and hands it to every entry it deflates, so the ~300 KB are
// allocated once, not per entry.  Nothing here is cleared between entries except what the
// compressor clears itself (the chain heads at entry start, the window at the final flush).
#pragma once

#include <cstdint>
#include <memory>

namespace codecs {

inline constexpr unsigned kWindowSize = 32768;     // largest distance plus lookahead reserve
inline constexpr unsigned kWindowBuffer = 65536;   // the window buffer holds twice the size
// The match comparison may look up to 258 bytes (plus one 8-byte word) past the current
// position, which near the end of an entry lies past the window buffer: the buffer carries
// this much zeroed slack so that those reads stay inside it and are deterministic.
inline constexpr unsigned kWindowSlack = 512;
inline constexpr unsigned kHashSize = 32768;
inline constexpr unsigned kLiteralBufferSize = 32768;
inline constexpr unsigned kFlagBufferSize = 4096;

struct CompressorWorkspace {
  uint8_t window[kWindowBuffer + kWindowSlack];
  uint16_t prev[kWindowSize];    // chain links, indexed by position & 0x7FFF
  uint16_t head[kHashSize];      // chain heads, indexed by hash; 0 = no earlier string
  uint8_t literals[kLiteralBufferSize];   // literal byte or match length - 3, per symbol
  uint16_t distances[kLiteralBufferSize]; // distance - 1, per match
  uint8_t flags[kFlagBufferSize];         // one bit per symbol, LSB first, 1 = match
};

// A zero-filled workspace (the window's initial bytes matter to the match search).
inline std::unique_ptr<CompressorWorkspace> MakeCompressorWorkspace() {
  return std::make_unique<CompressorWorkspace>();  // value-initialised: all zero
}

}  // namespace codecs
