// The resource section of a PE file: the DOS header points to the PE header, whose
// optional header (PE32 or PE32+) holds data directory 2, the RVA of the resource tree;
// the section table maps RVAs to file offsets.  The tree has three levels (type, name,
// language) of IMAGE_RESOURCE_DIRECTORY nodes whose leaves are IMAGE_RESOURCE_DATA_ENTRY
// records.  Offsets inside the tree are relative to its start; data entries hold RVAs.
#include <set>

#include "res_format.h"

namespace w32c {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kSectionSize = 40;
constexpr size_t kDirectorySize = 16;
constexpr size_t kDirEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

struct Section {
  uint32_t virtual_address, raw_size, raw_offset;
};

class PeReader {
 public:
  PeReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Parse(std::vector<ResEntry>* out, std::string* error) {
    out_ = out;
    error_ = error;
    out->clear();
    uint32_t rva = 0;
    if (!ReadHeaders(&rva)) return false;
    if (rva == 0) return true;  // no resources
    size_t avail = 0;
    if (!Map(rva, &base_, &avail)) return Fail("the resource directory is outside every section");
    limit_ = avail;
    return Walk(0, 0, ResId(), ResId());
  }

 private:
  bool Fail(const char* what) {
    *error_ = what;
    return false;
  }

  bool ReadHeaders(uint32_t* resource_rva) {
    if (size_ < 64 || data_[0] != 'M' || data_[1] != 'Z') return Fail("no DOS header");
    uint64_t pe = ReadLe32(data_ + 0x3c);
    if (pe + 24 > size_) return Fail("the PE header is past the end");
    const uint8_t* h = data_ + pe;
    if (h[0] != 'P' || h[1] != 'E' || h[2] != 0 || h[3] != 0) return Fail("no PE signature");
    uint16_t sections = ReadLe16(h + 6);
    uint16_t optional_size = ReadLe16(h + 20);
    uint64_t opt = pe + 24;
    if (opt + optional_size > size_) return Fail("the optional header is past the end");
    if (optional_size < 2) return Fail("the optional header is too short");
    uint16_t magic = ReadLe16(data_ + opt);
    size_t count_at, dirs_at;
    if (magic == 0x10b) {
      count_at = 92, dirs_at = 96;
    } else if (magic == 0x20b) {
      count_at = 108, dirs_at = 112;
    } else {
      return Fail("unknown optional header magic");
    }
    uint64_t table = opt + optional_size;
    if (table + uint64_t{sections} * kSectionSize > size_) return Fail("the section table is past the end");
    for (uint16_t i = 0; i < sections; ++i) {
      const uint8_t* s = data_ + table + i * kSectionSize;
      sections_.push_back({ReadLe32(s + 12), ReadLe32(s + 16), ReadLe32(s + 20)});
    }
    *resource_rva = 0;
    if (optional_size < count_at + 4) return true;
    uint32_t count = ReadLe32(data_ + opt + count_at);
    if (count <= 2 || optional_size < dirs_at + 3 * 8) return true;  // no directory 2
    *resource_rva = ReadLe32(data_ + opt + dirs_at + 2 * 8);
    return true;
  }

  // The file bytes behind an RVA: a pointer and how many bytes of the section's raw
  // data follow it inside the file.
  bool Map(uint32_t rva, const uint8_t** at, size_t* avail) const {
    for (const Section& s : sections_) {
      if (rva < s.virtual_address) continue;
      uint64_t delta = rva - s.virtual_address;
      if (delta >= s.raw_size) continue;
      uint64_t offset = uint64_t{s.raw_offset} + delta;
      if (offset >= size_) return false;
      uint64_t in_section = s.raw_size - delta;
      uint64_t in_file = size_ - offset;
      *at = data_ + offset;
      *avail = static_cast<size_t>(in_section < in_file ? in_section : in_file);
      return true;
    }
    return false;
  }

  bool ReadName(uint32_t field, ResId* id) {
    if (!(field & kHighBit)) {
      id->is_int = true;
      id->id = static_cast<uint16_t>(field);
      return true;
    }
    size_t at = field & ~kHighBit;
    if (at > limit_ || limit_ - at < 2) return Fail("a resource name is past the end");
    size_t length = ReadLe16(base_ + at);
    if ((limit_ - at - 2) / 2 < length) return Fail("a resource name is past the end");
    id->is_int = false;
    id->name.resize(length);
    for (size_t i = 0; i < length; ++i) id->name[i] = ReadLe16(base_ + at + 2 + 2 * i);
    return true;
  }

  // level 0: types, 1: names, 2: languages.
  bool Walk(size_t at, int level, const ResId& type, const ResId& name) {
    if (!visited_.insert(at).second) return Fail("a loop in the resource directory");
    if (at > limit_ || limit_ - at < kDirectorySize) return Fail("a resource directory is past the end");
    size_t count = size_t{ReadLe16(base_ + at + 12)} + ReadLe16(base_ + at + 14);
    if ((limit_ - at - kDirectorySize) / kDirEntrySize < count)
      return Fail("resource directory entries run past the end");
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = base_ + at + kDirectorySize + i * kDirEntrySize;
      ResId id;
      if (!ReadName(ReadLe32(e), &id)) return false;
      uint32_t target = ReadLe32(e + 4);
      bool is_directory = (target & kHighBit) != 0;
      size_t offset = target & ~kHighBit;
      if (level < 2) {
        if (!is_directory) return Fail("resource data where a directory belongs");
        if (!Walk(offset, level + 1, level == 0 ? id : type, level == 1 ? id : name)) return false;
        continue;
      }
      if (is_directory) return Fail("a resource directory below the language level");
      if (!id.is_int) return Fail("a language given by name");
      if (offset > limit_ || limit_ - offset < kDataEntrySize) return Fail("a resource data entry is past the end");
      const uint8_t* d = base_ + offset;
      uint32_t data_rva = ReadLe32(d);
      uint32_t data_size = ReadLe32(d + 4);
      ResEntry r;
      r.type = type;
      r.name = name;
      r.language = id.id;
      r.size = data_size;
      r.key = d;
      size_t avail = 0;
      if (data_size != 0 && (!Map(data_rva, &r.data, &avail) || avail < data_size))
        return Fail("resource data outside the file");
      if (data_size == 0) r.data = base_;  // any valid pointer; nothing is read
      out_->push_back(std::move(r));
    }
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  std::vector<Section> sections_;
  const uint8_t* base_ = nullptr;  // start of the resource tree
  size_t limit_ = 0;               // bytes of the tree's section from base_
  std::set<size_t> visited_;
  std::vector<ResEntry>* out_ = nullptr;
  std::string* error_ = nullptr;
};

}  // namespace

bool ParsePeResources(const uint8_t* data, size_t size, std::vector<ResEntry>* out,
                      std::string* error) {
  return PeReader(data, size).Parse(out, error);
}

}  // namespace w32c
