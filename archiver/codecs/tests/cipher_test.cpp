// The traditional cipher: key schedule, round trips and the encryption header.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "archiver/codecs/zip_cipher.h"

namespace codecs {
namespace {

TEST(Cipher, KeySchedule) {
  ZipKeys keys;
  InitKeys(keys, "");
  EXPECT_EQ(keys.k0, 0x12345678u);
  EXPECT_EQ(keys.k1, 0x23456789u);
  EXPECT_EQ(keys.k2, 0x34567890u);
  // One step by hand: k0 through the CRC table, k1 linear congruential, k2 from k1's top.
  InitKeys(keys, "a");
  EXPECT_NE(keys.k0, 0x12345678u);
  ZipKeys again;
  UpdateKeys(again, 'a');
  EXPECT_EQ(keys.k0, again.k0);
  EXPECT_EQ(keys.k1, again.k1);
  EXPECT_EQ(keys.k2, again.k2);
  EXPECT_EQ(keys.k1, (0x23456789u + (keys.k0 & 0xFF)) * 134775813u + 1);
}

TEST(Cipher, DecryptByteUsesOnlyTheLow16BitsOfK2) {
  ZipKeys a, b;
  a.k2 = 0x0000BEEF;
  b.k2 = 0xFFFFBEEF;
  b.k0 = 1;
  b.k1 = 2;
  EXPECT_EQ(DecryptByte(a), DecryptByte(b));
}

TEST(Cipher, RoundTripKeepsKeysInStep) {
  std::mt19937 rng(4);
  std::vector<uint8_t> plain(5000);
  for (auto& b : plain) b = uint8_t(rng());
  for (std::string_view pw : {"", "secret", "a much longer password with spaces"}) {
    std::vector<uint8_t> data = plain;
    ZipKeys enc, dec;
    InitKeys(enc, pw);
    InitKeys(dec, pw);
    EncryptBuffer(enc, data.data(), data.size());
    EXPECT_NE(data, plain);
    // Decrypt in uneven blocks: the key state runs on across them.
    for (size_t pos = 0; pos < data.size(); pos += 777)
      DecryptBuffer(dec, data.data() + pos, std::min<size_t>(777, data.size() - pos));
    EXPECT_EQ(data, plain) << pw;
    EXPECT_EQ(enc.k0, dec.k0);
    EXPECT_EQ(enc.k2, dec.k2);
  }
}

TEST(Cipher, HeaderCarriesTheCrcCheckByte) {
  const uint32_t crc = 0xA1B2C3D4;
  unsigned draws = 0;
  RandomSource fixed = [&draws] { return 1000u + 100u * draws++; };
  ZipKeys writer;
  const auto header = BuildEncryptionHeader(writer, "secret", crc, fixed);
  EXPECT_EQ(draws, 10u);
  uint8_t copy[kEncryptionHeaderSize];
  std::copy(header.begin(), header.end(), copy);

  ZipKeys reader;
  EXPECT_EQ(ReadEncryptionHeader(reader, "secret", copy), 0xA1);
  // Both sides are positioned for the data.
  EXPECT_EQ(reader.k0, writer.k0);
  EXPECT_EQ(reader.k1, writer.k1);
  EXPECT_EQ(reader.k2, writer.k2);

  // The decrypted header is the random bytes (top 8 of 15 bits) and the CRC's top bytes.
  ZipKeys k;
  InitKeys(k, "secret");
  uint8_t plain[kEncryptionHeaderSize];
  std::copy(header.begin(), header.end(), plain);
  DecryptBuffer(k, plain, kEncryptionHeaderSize);
  for (unsigned i = 0; i < 10; ++i) EXPECT_EQ(plain[i], uint8_t((1000u + 100u * i) >> 7)) << i;
  EXPECT_EQ(plain[10], 0xB2);

  // A wrong password gives another check byte here (in general it can match by chance).
  ZipKeys wrong;
  EXPECT_NE(ReadEncryptionHeader(wrong, "Secret", copy), 0xA1);
}

TEST(Cipher, ClockSourceStaysBelow32767) {
  RandomSource r = ClockRandomSource();
  for (int i = 0; i < 1000; ++i) EXPECT_LT(r(), 32767u);
}

}  // namespace
}  // namespace codecs
