// The compound file format of [MS-CFB]: header fields, sector markers and the directory
// entry layout, with little-endian field access.
#pragma once
#include <cstdint>
#include <cstring>

namespace cfb {

inline constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Sector numbers at or above kMaxRegSect are markers, not sectors.
inline constexpr uint32_t kMaxRegSect = 0xFFFFFFFAu;
inline constexpr uint32_t kDifSect = 0xFFFFFFFCu;
inline constexpr uint32_t kFatSect = 0xFFFFFFFDu;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
inline constexpr uint32_t kFreeSect = 0xFFFFFFFFu;
inline constexpr uint32_t kNoStream = 0xFFFFFFFFu;

inline constexpr uint32_t kMiniCutoff = 4096;     // streams below this live in the mini stream
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint32_t kHeaderDifatEntries = 109;
inline constexpr uint32_t kDirEntrySize = 128;
inline constexpr uint32_t kMaxNameChars = 31;  // plus the terminator: 64 bytes

// Header field offsets.
enum HeaderOffset : uint32_t {
  kHdrSignature = 0,
  kHdrClsid = 8,
  kHdrMinorVersion = 24,
  kHdrMajorVersion = 26,
  kHdrByteOrder = 28,
  kHdrSectorShift = 30,
  kHdrMiniSectorShift = 32,
  kHdrNumDirSectors = 40,
  kHdrNumFatSectors = 44,
  kHdrFirstDirSector = 48,
  kHdrTransaction = 52,
  kHdrMiniCutoff = 56,
  kHdrFirstMiniFat = 60,
  kHdrNumMiniFat = 64,
  kHdrFirstDifat = 68,
  kHdrNumDifat = 72,
  kHdrDifat = 76,
  kHeaderSize = 512,
};

// Directory entry field offsets.
enum DirOffset : uint32_t {
  kDirName = 0,
  kDirNameLength = 64,
  kDirType = 66,
  kDirColor = 67,
  kDirLeft = 68,
  kDirRight = 72,
  kDirChild = 76,
  kDirClsid = 80,
  kDirStateBits = 96,
  kDirCreationTime = 100,
  kDirModifiedTime = 108,
  kDirStartSector = 116,
  kDirStreamSize = 120,
};

enum ObjectType : uint8_t { kTypeUnused = 0, kTypeStorage = 1, kTypeStream = 2, kTypeRoot = 5 };
enum Color : uint8_t { kRed = 0, kBlack = 1 };

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) { return Get32(p) | (uint64_t(Get32(p + 4)) << 32); }
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void Put64(uint8_t* p, uint64_t v) {
  Put32(p, uint32_t(v));
  Put32(p + 4, uint32_t(v >> 32));
}

}  // namespace cfb
