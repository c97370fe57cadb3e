// The .res stream: a sequence of entries, each a header (DataSize, HeaderSize, TYPE,
// NAME, DataVersion, MemoryFlags, LanguageId, Version, Characteristics) followed by its
// data, every entry starting on a DWORD boundary.  The stream begins with an empty entry
// (type 0) that marks the format and carries no resource.
#include "res_format.h"

namespace w32c {
namespace {

constexpr size_t kMinHeader = 32;  // sizes, two ordinals and the fixed fields
constexpr size_t kFixedTail = 16;  // DataVersion .. Characteristics

size_t Align4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

// A TYPE or NAME field inside [*pos, limit): 0xFFFF and an ordinal, or a UTF-16 string
// ended by a zero unit.
bool ReadId(const uint8_t* data, size_t* pos, size_t limit, ResId* id) {
  if (limit - *pos < 2) return false;
  if (ReadLe16(data + *pos) == 0xFFFF) {
    if (limit - *pos < 4) return false;
    id->is_int = true;
    id->id = ReadLe16(data + *pos + 2);
    *pos += 4;
    return true;
  }
  id->is_int = false;
  id->name.clear();
  for (;;) {
    if (limit - *pos < 2) return false;  // no terminator inside the header
    char16_t unit = ReadLe16(data + *pos);
    *pos += 2;
    if (unit == 0) return true;
    id->name.push_back(unit);
  }
}

}  // namespace

bool ParseResImage(const uint8_t* data, size_t size, std::vector<ResEntry>* out,
                   std::string* error) {
  out->clear();
  size_t pos = 0;
  while (pos < size) {
    size_t remaining = size - pos;
    if (remaining < 8) {
      *error = "truncated resource entry at offset " + std::to_string(pos);
      return false;
    }
    uint32_t data_size = ReadLe32(data + pos);
    uint32_t header_size = ReadLe32(data + pos + 4);
    if (header_size < kMinHeader || header_size > remaining ||
        data_size > remaining - header_size) {
      *error = "resource entry at offset " + std::to_string(pos) + " runs past the end";
      return false;
    }
    size_t limit = pos + header_size;
    size_t q = pos + 8;
    ResEntry e;
    if (!ReadId(data, &q, limit, &e.type) || !ReadId(data, &q, limit, &e.name)) {
      *error = "bad type or name in the resource entry at offset " + std::to_string(pos);
      return false;
    }
    q = Align4(q);
    if (q > limit || limit - q < kFixedTail) {
      *error = "resource header at offset " + std::to_string(pos) + " is too short";
      return false;
    }
    e.language = ReadLe16(data + q + 6);
    e.data = data + limit;
    e.size = data_size;
    e.key = data + pos;
    // The leading empty entry (and any other of type 0) is no resource.
    if (!(e.type.is_int && e.type.id == 0)) out->push_back(std::move(e));
    size_t next = Align4(limit + data_size);
    pos = next < size ? next : size;  // the last entry's padding may be missing
  }
  return true;
}

}  // namespace w32c
