#include "archiver/codecs/zip_cipher.h"

#include <chrono>
#include <random>

#include "archiver/codecs/crc32.h"

namespace codecs {

void InitKeys(ZipKeys& keys, std::string_view password) {
  keys = ZipKeys{};
  for (char c : password) UpdateKeys(keys, uint8_t(c));
}

void UpdateKeys(ZipKeys& keys, uint8_t c) {
  keys.k0 = UpdateCrc(c, keys.k0);
  keys.k1 = (keys.k1 + (keys.k0 & 0xFF)) * 134775813u + 1;
  keys.k2 = UpdateCrc(uint8_t(keys.k1 >> 24), keys.k2);
}

uint8_t DecryptByte(const ZipKeys& keys) {
  const uint32_t t = (keys.k2 & 0xFFFF) | 2;
  return uint8_t(((t * (t ^ 1)) & 0xFFFF) >> 8);
}

void DecryptBuffer(ZipKeys& keys, uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    data[i] ^= DecryptByte(keys);
    UpdateKeys(keys, data[i]);
  }
}

uint8_t EncryptByte(ZipKeys& keys, uint8_t plain) {
  const uint8_t t = DecryptByte(keys);
  UpdateKeys(keys, plain);
  return plain ^ t;
}

void EncryptBuffer(ZipKeys& keys, uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] = EncryptByte(keys, data[i]);
}

RandomSource ClockRandomSource() {
  const auto seed = uint32_t(std::chrono::system_clock::now().time_since_epoch().count());
  return [rng = std::minstd_rand(seed)]() mutable { return unsigned(rng() % 32767); };
}

std::array<uint8_t, kEncryptionHeaderSize> BuildEncryptionHeader(ZipKeys& keys, std::string_view password,
                                                                 uint32_t crc, const RandomSource& random) {
  InitKeys(keys, password);
  std::array<uint8_t, kEncryptionHeaderSize> h{};
  for (size_t i = 0; i < 10; ++i) h[i] = uint8_t((random() % 32767) >> 7);
  h[10] = uint8_t(crc >> 16);
  h[11] = uint8_t(crc >> 24);
  for (auto& b : h) b = EncryptByte(keys, b);
  return h;
}

uint8_t ReadEncryptionHeader(ZipKeys& keys, std::string_view password,
                             const uint8_t (&header)[kEncryptionHeaderSize]) {
  InitKeys(keys, password);
  uint8_t plain[kEncryptionHeaderSize];
  for (size_t i = 0; i < kEncryptionHeaderSize; ++i) plain[i] = header[i];
  DecryptBuffer(keys, plain, kEncryptionHeaderSize);
  return plain[kEncryptionHeaderSize - 1];
}

}  // namespace codecs
