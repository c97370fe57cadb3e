// The traditional PKWARE encryption of the ZIP application note: three 32-bit keys
// driven by CRC-32 steps, and a 12-byte encryption header before each member's data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace codecs {

struct ZipKeys {
  uint32_t k0 = 0x12345678;
  uint32_t k1 = 0x23456789;
  uint32_t k2 = 0x34567890;
};

inline constexpr size_t kEncryptionHeaderSize = 12;

// The initial keys, then UpdateKeys for every byte of the password (an empty one leaves
// the initial keys).
void InitKeys(ZipKeys& keys, std::string_view password);
void UpdateKeys(ZipKeys& keys, uint8_t c);
// The next key-stream byte; depends only on the low 16 bits of k2.
uint8_t DecryptByte(const ZipKeys& keys);
// Decrypts in place, byte by byte, the keys running on with each plain byte.
void DecryptBuffer(ZipKeys& keys, uint8_t* data, size_t size);
uint8_t EncryptByte(ZipKeys& keys, uint8_t plain);
void EncryptBuffer(ZipKeys& keys, uint8_t* data, size_t size);

// Returns a random integer in [0, 32767).
using RandomSource = std::function<unsigned()>;
// A pseudo-random source seeded from the clock, as the writer uses.
RandomSource ClockRandomSource();

// The writer's header: the keys from the password, ten random bytes (the top 8 of 15
// random bits each), then bits 16-23 and 24-31 of the member's CRC, all encrypted.  The
// keys are left positioned for the member's data.
std::array<uint8_t, kEncryptionHeaderSize> BuildEncryptionHeader(ZipKeys& keys, std::string_view password,
                                                                 uint32_t crc, const RandomSource& random);

// The reader's side: the keys from the password, the 12 bytes decrypted; returns the last
// decrypted byte, which the caller compares with its check byte.  The keys are left
// positioned for the member's data.
uint8_t ReadEncryptionHeader(ZipKeys& keys, std::string_view password,
                             const uint8_t (&header)[kEncryptionHeaderSize]);

}  // namespace codecs
