// Reading a compound file: header, DIFAT, FAT, mini FAT, the mini stream and the directory
// tree.  Every sector number, count and size is checked against the file before it is used,
// and every sector may belong to one chain only, so that loops and shared chains are found
// and the work and memory stay proportional to the file's real size.
#include <cstring>

#include "document.h"
#include "format.h"

namespace cfb {

namespace {

class Parser {
 public:
  Parser(const ByteSource& src) : src_(src) {}

  HRESULT Run(std::vector<Node>& nodes, uint32_t& sector_size, std::vector<uint8_t>& ministream);

 private:
  HRESULT ReadHeader();
  HRESULT ReadFat();
  bool ReadSector(uint32_t s, uint8_t* dst) const;
  // Follows a FAT chain, claiming each sector; `needed` limits the length (and the chain must
  // reach it), UINT64_MAX means to the end of the chain.
  HRESULT Walk(uint32_t start, uint64_t needed, std::vector<uint32_t>& out);
  HRESULT WalkMini(uint32_t start, uint64_t needed, std::vector<uint32_t>& out);
  HRESULT ReadChain(const std::vector<uint32_t>& chain, std::vector<uint8_t>& out);
  HRESULT ReadTree(const std::vector<uint8_t>& dir, std::vector<Node>& nodes);

  const ByteSource& src_;
  uint8_t hdr_[kHeaderSize];
  uint32_t ss_ = 512;
  uint16_t major_ = 3;
  uint64_t nsectors_ = 0;
  std::vector<uint32_t> fat_, minifat_;
  std::vector<uint8_t> used_, mini_used_;
  std::vector<uint8_t> ministream_;
};

constexpr HRESULT kCorrupt = STG_E_DOCFILECORRUPT;

HRESULT Parser::ReadHeader() {
  uint64_t size = src_.Size();
  if (size < sizeof kSignature) return STG_E_FILEALREADYEXISTS;
  if (!src_.ReadAt(0, hdr_, sizeof kSignature)) return STG_E_READFAULT;
  if (std::memcmp(hdr_, kSignature, sizeof kSignature) != 0) return STG_E_FILEALREADYEXISTS;
  if (size < kHeaderSize) return STG_E_INVALIDHEADER;
  if (!src_.ReadAt(0, hdr_, kHeaderSize)) return STG_E_READFAULT;
  major_ = Get16(hdr_ + kHdrMajorVersion);
  uint16_t shift = Get16(hdr_ + kHdrSectorShift);
  if (Get16(hdr_ + kHdrByteOrder) != 0xFFFE) return STG_E_INVALIDHEADER;
  if (!((major_ == 3 && shift == 9) || (major_ == 4 && shift == 12))) return STG_E_INVALIDHEADER;
  if (Get16(hdr_ + kHdrMiniSectorShift) != 6) return STG_E_INVALIDHEADER;
  if (Get32(hdr_ + kHdrMiniCutoff) != kMiniCutoff) return STG_E_INVALIDHEADER;
  ss_ = 1u << shift;
  nsectors_ = size > ss_ ? (size - ss_ + ss_ - 1) / ss_ : 0;
  if (nsectors_ > kMaxRegSect) nsectors_ = kMaxRegSect;
  used_.assign(size_t(nsectors_), 0);
  return S_OK;
}

bool Parser::ReadSector(uint32_t s, uint8_t* dst) const {
  uint64_t off = (uint64_t(s) + 1) * ss_;
  uint64_t size = src_.Size();
  if (s >= nsectors_ || off >= size) return false;
  // The last sector of a file may be cut short; the missing tail reads as zeros.
  size_t n = size - off < ss_ ? size_t(size - off) : ss_;
  if (!src_.ReadAt(off, dst, n)) return false;
  if (n < ss_) std::memset(dst + n, 0, ss_ - n);
  return true;
}

HRESULT Parser::ReadFat() {
  uint32_t nfat = Get32(hdr_ + kHdrNumFatSectors);
  if (nfat > nsectors_) return kCorrupt;
  std::vector<uint32_t> fat_sectors;
  fat_sectors.reserve(nfat);
  for (uint32_t i = 0; i < kHeaderDifatEntries && fat_sectors.size() < nfat; ++i)
    fat_sectors.push_back(Get32(hdr_ + kHdrDifat + 4 * i));
  // The DIFAT chain: each sector holds ss/4 - 1 FAT sector numbers and the next sector.
  uint32_t next = Get32(hdr_ + kHdrFirstDifat);
  uint32_t ndifat = Get32(hdr_ + kHdrNumDifat);
  std::vector<uint8_t> buf(ss_);
  uint32_t per = ss_ / 4 - 1;
  for (uint32_t k = 0; fat_sectors.size() < nfat; ++k) {
    if (k >= ndifat || next >= nsectors_ || used_[next]) return kCorrupt;
    used_[next] = 1;
    if (!ReadSector(next, buf.data())) return kCorrupt;
    for (uint32_t i = 0; i < per && fat_sectors.size() < nfat; ++i)
      fat_sectors.push_back(Get32(buf.data() + 4 * i));
    next = Get32(buf.data() + 4 * per);
  }
  fat_.resize(size_t(nfat) * (ss_ / 4));
  for (size_t i = 0; i < fat_sectors.size(); ++i) {
    uint32_t s = fat_sectors[i];
    if (s >= nsectors_ || used_[s]) return kCorrupt;
    used_[s] = 1;
    if (!ReadSector(s, buf.data())) return kCorrupt;
    for (uint32_t j = 0; j < ss_ / 4; ++j) fat_[i * (ss_ / 4) + j] = Get32(buf.data() + 4 * j);
  }
  return S_OK;
}

HRESULT Parser::Walk(uint32_t start, uint64_t needed, std::vector<uint32_t>& out) {
  uint32_t s = start;
  while (out.size() < needed && s != kEndOfChain) {
    if (s >= nsectors_ || s >= fat_.size() || used_[s]) return kCorrupt;
    used_[s] = 1;
    out.push_back(s);
    s = fat_[s];
  }
  if (needed != UINT64_MAX && out.size() < needed) return kCorrupt;
  return S_OK;
}

HRESULT Parser::WalkMini(uint32_t start, uint64_t needed, std::vector<uint32_t>& out) {
  uint64_t nmini = ministream_.size() / kMiniSectorSize;
  uint32_t s = start;
  while (out.size() < needed) {
    if (s >= nmini || s >= minifat_.size() || mini_used_[s]) return kCorrupt;
    mini_used_[s] = 1;
    out.push_back(s);
    s = minifat_[s];
  }
  return S_OK;
}

HRESULT Parser::ReadChain(const std::vector<uint32_t>& chain, std::vector<uint8_t>& out) {
  out.resize(chain.size() * size_t(ss_));
  for (size_t i = 0; i < chain.size(); ++i)
    if (!ReadSector(chain[i], out.data() + i * ss_)) return kCorrupt;
  return S_OK;
}

HRESULT Parser::ReadTree(const std::vector<uint8_t>& dir, std::vector<Node>& nodes) {
  size_t count = dir.size() / kDirEntrySize;
  if (count == 0) return kCorrupt;
  const uint8_t* root = dir.data();
  if (root[kDirType] != kTypeRoot) return kCorrupt;
  std::vector<uint8_t> seen(count, 0);
  seen[0] = 1;

  auto stream_size = [&](const uint8_t* e) {
    // Version 3 files keep only 32 bits; some writers leave junk in the upper half.
    uint64_t v = Get64(e + kDirStreamSize);
    return major_ == 3 ? (v & 0xFFFFFFFFu) : v;
  };

  // The mini stream is the root's stream.
  uint64_t mini_size = stream_size(root);
  std::vector<uint32_t> mini_chain;
  if (mini_size > 0) {
    if (mini_size > src_.Size()) return kCorrupt;
    HRESULT hr = Walk(Get32(root + kDirStartSector), (mini_size + ss_ - 1) / ss_, mini_chain);
    if (FAILED(hr)) return hr;
    hr = ReadChain(mini_chain, ministream_);
    if (FAILED(hr)) return hr;
    ministream_.resize(size_t(mini_size / kMiniSectorSize * kMiniSectorSize));
  }
  mini_used_.assign(minifat_.size(), 0);

  nodes.clear();
  Node r;
  r.type = kTypeRoot;
  r.name = u"Root Entry";
  std::memcpy(&r.clsid, root + kDirClsid, sizeof r.clsid);
  r.state_bits = Get32(root + kDirStateBits);
  r.ctime = Get64(root + kDirCreationTime);
  r.mtime = Get64(root + kDirModifiedTime);
  nodes.push_back(std::move(r));

  struct Pending {
    uint32_t entry;
    int parent;
  };
  std::vector<Pending> stack;
  if (Get32(root + kDirChild) != kNoStream) stack.push_back({Get32(root + kDirChild), 0});
  while (!stack.empty()) {
    Pending p = stack.back();
    stack.pop_back();
    if (p.entry >= count || seen[p.entry]) return kCorrupt;
    seen[p.entry] = 1;
    const uint8_t* e = dir.data() + size_t(p.entry) * kDirEntrySize;
    uint8_t type = e[kDirType];
    if (type != kTypeStorage && type != kTypeStream) return kCorrupt;
    uint16_t name_len = Get16(e + kDirNameLength);
    if (name_len < 4 || name_len > 64 || name_len % 2) return kCorrupt;
    Node n;
    for (uint32_t i = 0; i + 1 < name_len / 2u; ++i) {
      char16_t c = Get16(e + kDirName + 2 * i);
      if (c == 0) break;
      n.name.push_back(c);
    }
    if (n.name.empty()) return kCorrupt;
    n.type = type;
    n.parent = p.parent;
    std::memcpy(&n.clsid, e + kDirClsid, sizeof n.clsid);
    n.state_bits = Get32(e + kDirStateBits);
    n.ctime = Get64(e + kDirCreationTime);
    n.mtime = Get64(e + kDirModifiedTime);
    if (type == kTypeStream) {
      n.size = stream_size(e);
      uint32_t start = Get32(e + kDirStartSector);
      if (n.size > src_.Size()) return kCorrupt;
      HRESULT hr;
      if (n.size < kMiniCutoff) {
        n.mini = true;
        hr = WalkMini(start, (n.size + kMiniSectorSize - 1) / kMiniSectorSize, n.sectors);
      } else {
        hr = Walk(start, (n.size + ss_ - 1) / ss_, n.sectors);
      }
      if (FAILED(hr)) return hr;
    }
    int id = int(nodes.size());
    if (!nodes[p.parent].children.emplace(n.name, id).second) return kCorrupt;  // twin names
    nodes.push_back(std::move(n));
    for (uint32_t link : {Get32(e + kDirLeft), Get32(e + kDirRight)})
      if (link != kNoStream) stack.push_back({link, p.parent});
    uint32_t child = Get32(e + kDirChild);
    if (type == kTypeStorage && child != kNoStream) stack.push_back({child, id});
  }
  return S_OK;
}

HRESULT Parser::Run(std::vector<Node>& nodes, uint32_t& sector_size,
                    std::vector<uint8_t>& ministream) {
  HRESULT hr = ReadHeader();
  if (FAILED(hr)) return hr;
  hr = ReadFat();
  if (FAILED(hr)) return hr;

  std::vector<uint32_t> dir_chain;
  hr = Walk(Get32(hdr_ + kHdrFirstDirSector), UINT64_MAX, dir_chain);
  if (FAILED(hr)) return hr;
  std::vector<uint8_t> dir;
  hr = ReadChain(dir_chain, dir);
  if (FAILED(hr)) return hr;

  uint32_t first_minifat = Get32(hdr_ + kHdrFirstMiniFat);
  if (first_minifat != kEndOfChain && Get32(hdr_ + kHdrNumMiniFat) != 0) {
    std::vector<uint32_t> chain;
    hr = Walk(first_minifat, UINT64_MAX, chain);
    if (FAILED(hr)) return hr;
    std::vector<uint8_t> bytes;
    hr = ReadChain(chain, bytes);
    if (FAILED(hr)) return hr;
    minifat_.resize(bytes.size() / 4);
    for (size_t i = 0; i < minifat_.size(); ++i) minifat_[i] = Get32(bytes.data() + 4 * i);
  }
  hr = ReadTree(dir, nodes);
  if (FAILED(hr)) return hr;
  sector_size = ss_;
  ministream = std::move(ministream_);
  return S_OK;
}

}  // namespace

HRESULT Document::Load(std::unique_ptr<ByteSource> src) {
  Parser parser(*src);
  HRESULT hr = parser.Run(nodes, sector_size_, ministream_);
  if (FAILED(hr)) {
    nodes.clear();
    return hr;
  }
  src_ = std::move(src);
  return S_OK;
}

}  // namespace cfb
