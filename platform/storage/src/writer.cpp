// Writing a compound file (version 3, 512-byte sectors) in one sequential pass:
// header, directory, mini FAT, mini stream, the large streams, the FAT, then the DIFAT.
// Every chain is contiguous, so the FAT is known before any stream is written.
#include <errno.h>

#include <cstring>

#include "document.h"
#include "format.h"

namespace cfb {

namespace {

constexpr uint32_t kSector = 512;
constexpr uint32_t kPerFatSector = kSector / 4;
constexpr uint32_t kPerDifatSector = kPerFatSector - 1;

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

struct Entry {
  int node;
  uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
  uint8_t color = kBlack;
  uint32_t start = kEndOfChain;
};

class Writer {
 public:
  Writer(Document& doc, FileSink& sink) : doc_(doc), sink_(sink) {}
  HRESULT Run(std::vector<uint32_t>* first_sectors, std::vector<uint8_t>* ministream);

 private:
  void Collect(int node);
  // Builds the balanced sibling tree of kids[lo, hi) and returns its top entry.
  uint32_t Build(const std::vector<uint32_t>& kids, size_t lo, size_t hi, int depth, int height);
  HRESULT WriteStream(const Node& n);
  bool PutEntry(const Entry& e);

  Document& doc_;
  FileSink& sink_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> index_of_;  // node id -> entry index
};

void Writer::Collect(int node) {
  // Entry indexes in depth-first order; the root is entry 0.
  std::vector<int> todo{node};
  while (!todo.empty()) {
    int id = todo.back();
    todo.pop_back();
    index_of_[id] = uint32_t(entries_.size());
    entries_.push_back(Entry{id});
    const Node& n = doc_.nodes[id];
    for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) todo.push_back(it->second);
  }
}

uint32_t Writer::Build(const std::vector<uint32_t>& kids, size_t lo, size_t hi, int depth,
                       int height) {
  if (lo >= hi) return kNoStream;
  size_t mid = lo + (hi - lo) / 2;
  Entry& e = entries_[kids[mid]];
  // Middle splits put every empty link on the last two levels, so colouring the deepest
  // level red (below a black top) gives every path the same number of black entries.
  e.color = (depth == height - 1 && depth > 0) ? kRed : kBlack;
  uint32_t left = Build(kids, lo, mid, depth + 1, height);
  uint32_t right = Build(kids, mid + 1, hi, depth + 1, height);
  entries_[kids[mid]].left = left;
  entries_[kids[mid]].right = right;
  return kids[mid];
}

bool Writer::PutEntry(const Entry& e) {
  uint8_t b[kDirEntrySize] = {};
  const Node& n = doc_.nodes[e.node];
  for (size_t i = 0; i < n.name.size() && i < kMaxNameChars; ++i)
    Put16(b + kDirName + 2 * i, n.name[i]);
  size_t chars = n.name.size() < kMaxNameChars ? n.name.size() : kMaxNameChars;
  Put16(b + kDirNameLength, uint16_t((chars + 1) * 2));
  b[kDirType] = n.type;
  b[kDirColor] = e.color;
  Put32(b + kDirLeft, e.left);
  Put32(b + kDirRight, e.right);
  Put32(b + kDirChild, e.child);
  if (n.type != kTypeStream) {
    std::memcpy(b + kDirClsid, &n.clsid, sizeof n.clsid);
    // The root's creation time is the file's own; streams carry no times.
    if (n.type != kTypeRoot) Put64(b + kDirCreationTime, n.ctime);
    Put64(b + kDirModifiedTime, n.mtime);
  }
  Put32(b + kDirStateBits, n.state_bits);
  Put32(b + kDirStartSector, e.start);
  Put64(b + kDirStreamSize, n.size);
  return sink_.Write(b, sizeof b);
}

HRESULT Writer::WriteStream(const Node& n) {
  if (n.loaded) {
    if (!sink_.Write(n.data.data(), size_t(n.size))) return STG_E_WRITEFAULT;
  } else {
    std::vector<uint8_t> buf(size_t(n.size < (1u << 20) ? n.size : (1u << 20)));
    for (uint64_t off = 0; off < n.size;) {
      size_t got = 0;
      HRESULT hr = doc_.ReadStream(int(&n - doc_.nodes.data()), off, buf.data(), buf.size(), &got);
      if (FAILED(hr)) return hr;
      if (got == 0) return STG_E_READFAULT;
      if (!sink_.Write(buf.data(), got)) return STG_E_WRITEFAULT;
      off += got;
    }
  }
  return S_OK;
}

HRESULT Writer::Run(std::vector<uint32_t>* first_sectors, std::vector<uint8_t>* ministream_out) {
  index_of_.assign(doc_.nodes.size(), kNoStream);
  Collect(0);

  // Sibling trees.
  for (Entry& e : entries_) {
    const Node& n = doc_.nodes[e.node];
    if (n.children.empty()) continue;
    std::vector<uint32_t> kids;
    kids.reserve(n.children.size());
    for (const auto& c : n.children) kids.push_back(index_of_[c.second]);
    int height = 0;
    while ((size_t(1) << height) <= kids.size()) ++height;
    uint32_t top = Build(kids, 0, kids.size(), 0, height);
    entries_[index_of_[e.node]].child = top;
  }

  // Mini stream: streams under the cutoff, each from a fresh mini sector.
  std::vector<uint8_t> ministream;
  std::vector<uint32_t> minifat;
  uint64_t big_sectors = 0;
  for (Entry& e : entries_) {
    const Node& n = doc_.nodes[e.node];
    if (n.type != kTypeStream || n.size == 0) continue;
    if (n.size > 0xFFFFFFFFu) return STG_E_MEDIUMFULL;  // version 3 keeps 32-bit sizes
    if (n.size < kMiniCutoff) {
      uint32_t first = uint32_t(minifat.size());
      uint32_t count = uint32_t(CeilDiv(n.size, kMiniSectorSize));
      for (uint32_t i = 0; i < count; ++i)
        minifat.push_back(i + 1 < count ? first + i + 1 : kEndOfChain);
      e.start = first;
      size_t at = ministream.size();
      ministream.resize(at + size_t(count) * kMiniSectorSize, 0);
      size_t got = 0;
      HRESULT hr = doc_.ReadStream(e.node, 0, ministream.data() + at, size_t(n.size), &got);
      if (FAILED(hr)) return hr;
      if (got != n.size) return STG_E_READFAULT;
    } else {
      big_sectors += CeilDiv(n.size, kSector);
    }
  }

  const uint64_t dir_sectors = CeilDiv(entries_.size() * kDirEntrySize, kSector);
  const uint64_t minifat_sectors = CeilDiv(minifat.size() * 4, kSector);
  const uint64_t mini_sectors = CeilDiv(ministream.size(), kSector);
  uint64_t fat_sectors = 0, difat_sectors = 0, total = 0;
  for (;;) {
    total = dir_sectors + minifat_sectors + mini_sectors + big_sectors + fat_sectors + difat_sectors;
    uint64_t need_fat = CeilDiv(total, kPerFatSector);
    uint64_t need_difat = need_fat > kHeaderDifatEntries
                              ? CeilDiv(need_fat - kHeaderDifatEntries, kPerDifatSector)
                              : 0;
    if (need_fat == fat_sectors && need_difat == difat_sectors) break;
    fat_sectors = need_fat;
    difat_sectors = need_difat;
  }
  if (total >= kMaxRegSect) return STG_E_MEDIUMFULL;

  // Sector numbers of each region.
  const uint32_t minifat_first = uint32_t(dir_sectors);
  const uint32_t mini_first = uint32_t(minifat_first + minifat_sectors);
  uint32_t next_big = uint32_t(mini_first + mini_sectors);
  const uint32_t fat_first = uint32_t(next_big + big_sectors);
  const uint32_t difat_first = uint32_t(fat_first + fat_sectors);

  std::vector<uint32_t> fat(size_t(fat_sectors * kPerFatSector), kFreeSect);
  auto chain = [&](uint32_t first, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i)
      fat[first + i] = i + 1 < count ? uint32_t(first + i + 1) : kEndOfChain;
  };
  chain(0, dir_sectors);
  chain(minifat_first, minifat_sectors);
  chain(mini_first, mini_sectors);
  for (Entry& e : entries_) {
    const Node& n = doc_.nodes[e.node];
    if (n.type != kTypeStream || n.size < kMiniCutoff) continue;
    uint64_t count = CeilDiv(n.size, kSector);
    e.start = next_big;
    chain(next_big, count);
    next_big += uint32_t(count);
  }
  for (uint64_t i = 0; i < fat_sectors; ++i) fat[fat_first + i] = kFatSect;
  for (uint64_t i = 0; i < difat_sectors; ++i) fat[difat_first + i] = kDifSect;
  entries_[0].start = mini_sectors ? mini_first : kEndOfChain;

  // Header.
  uint8_t hdr[kHeaderSize] = {};
  std::memcpy(hdr, kSignature, sizeof kSignature);
  Put16(hdr + kHdrMinorVersion, 0x003E);
  Put16(hdr + kHdrMajorVersion, 3);
  Put16(hdr + kHdrByteOrder, 0xFFFE);
  Put16(hdr + kHdrSectorShift, 9);
  Put16(hdr + kHdrMiniSectorShift, 6);
  Put32(hdr + kHdrNumFatSectors, uint32_t(fat_sectors));
  Put32(hdr + kHdrFirstDirSector, 0);
  Put32(hdr + kHdrMiniCutoff, kMiniCutoff);
  Put32(hdr + kHdrFirstMiniFat, minifat_sectors ? minifat_first : kEndOfChain);
  Put32(hdr + kHdrNumMiniFat, uint32_t(minifat_sectors));
  Put32(hdr + kHdrFirstDifat, difat_sectors ? difat_first : kEndOfChain);
  Put32(hdr + kHdrNumDifat, uint32_t(difat_sectors));
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
    Put32(hdr + kHdrDifat + 4 * i, i < fat_sectors ? fat_first + i : kFreeSect);
  if (!sink_.Write(hdr, sizeof hdr)) return STG_E_WRITEFAULT;

  // The root's size is the mini stream's.
  doc_.nodes[0].size = ministream.size();
  for (const Entry& e : entries_)
    if (!PutEntry(e)) return STG_E_WRITEFAULT;
  for (uint64_t i = entries_.size(); i < dir_sectors * (kSector / kDirEntrySize); ++i) {
    uint8_t b[kDirEntrySize] = {};
    Put32(b + kDirLeft, kNoStream);
    Put32(b + kDirRight, kNoStream);
    Put32(b + kDirChild, kNoStream);
    if (!sink_.Write(b, sizeof b)) return STG_E_WRITEFAULT;
  }

  auto put_words = [&](const std::vector<uint32_t>& words, uint64_t sectors) {
    std::vector<uint8_t> b(size_t(sectors * kSector));
    size_t i = 0;
    for (; i < words.size(); ++i) Put32(b.data() + 4 * i, words[i]);
    for (; i < b.size() / 4; ++i) Put32(b.data() + 4 * i, kFreeSect);
    return sink_.Write(b.data(), b.size());
  };
  if (!put_words(minifat, minifat_sectors)) return STG_E_WRITEFAULT;
  if (!sink_.Write(ministream.data(), ministream.size()) ||
      !sink_.Zeros(size_t(mini_sectors * kSector - ministream.size())))
    return STG_E_WRITEFAULT;

  for (const Entry& e : entries_) {
    const Node& n = doc_.nodes[e.node];
    if (n.type != kTypeStream || n.size < kMiniCutoff) continue;
    HRESULT hr = WriteStream(n);
    if (FAILED(hr)) return hr;
    if (!sink_.Zeros(size_t(CeilDiv(n.size, kSector) * kSector - n.size))) return STG_E_WRITEFAULT;
  }
  if (!put_words(fat, fat_sectors)) return STG_E_WRITEFAULT;

  // DIFAT sectors: the FAT sector numbers past the header's 109, then the next DIFAT sector.
  std::vector<uint32_t> difat;
  for (uint64_t k = 0; k < difat_sectors; ++k) {
    for (uint32_t i = 0; i < kPerDifatSector; ++i) {
      uint64_t f = kHeaderDifatEntries + k * kPerDifatSector + i;
      difat.push_back(f < fat_sectors ? uint32_t(fat_first + f) : kFreeSect);
    }
    difat.push_back(k + 1 < difat_sectors ? uint32_t(difat_first + k + 1) : kEndOfChain);
  }
  if (!put_words(difat, difat_sectors)) return STG_E_WRITEFAULT;
  if (!sink_.Sync()) return sink_.error() == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;

  if (first_sectors) {
    first_sectors->assign(doc_.nodes.size(), kEndOfChain);
    for (const Entry& e : entries_) (*first_sectors)[e.node] = e.start;
  }
  if (ministream_out) *ministream_out = std::move(ministream);
  return S_OK;
}

}  // namespace

HRESULT Document::WriteTo(int fd, std::vector<uint32_t>* first_sectors,
                          std::vector<uint8_t>* ministream) {
  FileSink sink(fd);
  Writer w(*this, sink);
  HRESULT hr = w.Run(first_sectors, ministream);
  if (FAILED(hr) && sink.error() == ENOSPC) return STG_E_MEDIUMFULL;
  return hr;
}

}  // namespace cfb
