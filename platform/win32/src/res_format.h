// Parsers of the two forms a module's resources come in: the .res stream the resource
// compiler writes, and the resource section of a PE file.  Both turn the bytes into one
// flat list of entries that point into the image; neither allocates per byte of input or
// trusts any length, count or offset it reads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace w32c {

// A resource type or name: an integer identifier or a UTF-16 string.
struct ResId {
  bool is_int = true;
  uint16_t id = 0;
  std::u16string name;  // when !is_int; kept as stored (the compiler upper-cases names)
};

struct ResEntry {
  ResId type;
  ResId name;
  uint16_t language = 0;
  const uint8_t* data = nullptr;  // inside the image
  uint32_t size = 0;
  const uint8_t* key = nullptr;   // where the entry is described in the image (its HRSRC)
};

// Each returns false, with a short reason, for a malformed image; on success `out`
// holds every entry in image order.
bool ParseResImage(const uint8_t* data, size_t size, std::vector<ResEntry>* out,
                   std::string* error);
bool ParsePeResources(const uint8_t* data, size_t size, std::vector<ResEntry>* out,
                      std::string* error);

// Reads little-endian integers from a byte pointer without alignment assumptions.
inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace w32c
