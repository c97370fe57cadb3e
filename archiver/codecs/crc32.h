// CRC-32 as ZIP uses it: reflected polynomial 0xEDB88320.  The running value starts at
// 0xFFFFFFFF and is complemented when the member is finished; these functions never
// pre- or post-condition it, so a CRC can be carried across any number of blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace codecs {

// The 256-entry table of the classic byte-at-a-time method (entry i is the CRC
// remainder of the byte i), built at compile time.
const uint32_t* Crc32Table();

// One byte through the table method: table[(crc ^ byte) & 0xFF] ^ (crc >> 8).
uint32_t UpdateCrc(uint8_t byte, uint32_t crc);

// `size` bytes through the running CRC.  Gives exactly the table method's result,
// computed by carry-less multiplication folding where the processor has it and sixteen
// bytes at a time through slicing tables otherwise.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

// The byte-at-a-time reference, kept for tests and odd targets.
uint32_t Crc32UpdateBytewise(uint32_t crc, const void* data, size_t size);

// The CRC of a whole buffer, conditioned as ZIP stores it (0 for an empty one).
inline uint32_t Crc32(const void* data, size_t size) {
  return ~Crc32Update(0xFFFFFFFFu, data, size);
}

}  // namespace codecs
