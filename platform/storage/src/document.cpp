#include "document.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "format.h"

namespace cfb {

uint64_t NowFileTime() {
  // 100-nanosecond intervals since 1601-01-01.
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return (uint64_t(ts.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(ts.tv_nsec) / 100;
}

void Document::InitEmpty() {
  nodes.clear();
  Node root;
  root.type = kTypeRoot;
  root.name = u"Root Entry";
  nodes.push_back(std::move(root));
  ministream_.clear();
}

HRESULT Document::ReadSectors(const std::vector<uint32_t>& chain, uint64_t off, uint8_t* dst,
                              size_t n) const {
  // Contiguous runs of sectors are read with one call each.
  const uint64_t ss = sector_size_;
  while (n > 0) {
    size_t i = size_t(off / ss);
    uint64_t in = off % ss;
    size_t j = i + 1;
    uint64_t run = ss - in;
    while (run < n && j < chain.size() && chain[j] == chain[j - 1] + 1) {
      run += ss;
      ++j;
    }
    size_t k = run < n ? size_t(run) : n;
    if (i >= chain.size()) return STG_E_READFAULT;
    uint64_t pos = (uint64_t(chain[i]) + 1) * ss + in;
    // A cut-short last sector reads as zeros past the end of the file.
    uint64_t have = src_ && pos < src_->Size() ? src_->Size() - pos : 0;
    size_t direct = have < k ? size_t(have) : k;
    if (direct && !src_->ReadAt(pos, dst, direct)) return STG_E_READFAULT;
    if (direct < k) std::memset(dst + direct, 0, k - direct);
    dst += k;
    off += k;
    n -= k;
  }
  return S_OK;
}

HRESULT Document::ReadStream(int id, uint64_t off, void* dst, size_t n, size_t* got) const {
  const Node& node = nodes[id];
  *got = 0;
  if (off >= node.size) return S_OK;
  if (n > node.size - off) n = size_t(node.size - off);
  auto* out = static_cast<uint8_t*>(dst);
  if (node.loaded) {
    std::memcpy(out, node.data.data() + off, n);
  } else if (node.mini) {
    for (size_t done = 0; done < n;) {
      uint64_t pos = off + done;
      size_t i = size_t(pos / kMiniSectorSize);
      uint64_t at = uint64_t(node.sectors[i]) * kMiniSectorSize + pos % kMiniSectorSize;
      size_t k = size_t(kMiniSectorSize - pos % kMiniSectorSize);
      if (k > n - done) k = n - done;
      if (at + k > ministream_.size()) return STG_E_READFAULT;
      std::memcpy(out + done, ministream_.data() + at, k);
      done += k;
    }
  } else {
    HRESULT hr = ReadSectors(node.sectors, off, out, n);
    if (FAILED(hr)) return hr;
  }
  *got = n;
  return S_OK;
}

HRESULT Document::Materialize(int id) {
  Node& node = nodes[id];
  if (node.loaded) return S_OK;
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(size_t(node.size));
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
  size_t got = 0;
  HRESULT hr = ReadStream(id, 0, bytes.data(), bytes.size(), &got);
  if (FAILED(hr)) return hr;
  node.data = std::move(bytes);
  node.loaded = true;
  node.sectors.clear();
  node.sectors.shrink_to_fit();
  return S_OK;
}

int Document::Find(int parent, const std::u16string& name) const {
  const auto& kids = nodes[parent].children;
  auto it = kids.find(name);
  return it == kids.end() ? -1 : it->second;
}

int Document::AddChild(int parent, const std::u16string& name, uint8_t type) {
  Node n;
  n.name = name;
  n.type = type;
  n.parent = parent;
  n.loaded = type == kTypeStream;
  if (type == kTypeStorage) n.ctime = n.mtime = NowFileTime();
  int id = int(nodes.size());
  nodes.push_back(std::move(n));
  nodes[parent].children.emplace(name, id);
  dirty = true;
  return id;
}

void Document::RemoveSubtree(int id) {
  Node& n = nodes[id];
  if (n.parent >= 0) nodes[n.parent].children.erase(n.name);
  std::vector<int> todo{id};
  while (!todo.empty()) {
    int k = todo.back();
    todo.pop_back();
    Node& m = nodes[k];
    for (auto& c : m.children) todo.push_back(c.second);
    m.children.clear();
    m.alive = false;
    m.data.clear();
    m.data.shrink_to_fit();
    m.sectors.clear();
    m.sectors.shrink_to_fit();
    m.size = 0;
  }
  dirty = true;
}

HRESULT Document::Commit() {
  if (closed) return STG_E_REVERTED;
  if (!writable) return STG_E_ACCESSDENIED;
  if (!dirty) return S_OK;
  if (path.empty()) return STG_E_INVALIDFUNCTION;

  // The new file is written beside the old one, made durable, then renamed over it: at every
  // moment the name refers to a complete file, the old one or the new one.
  std::string tmp = path + ".cfbXXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_CANTSAVE;
  struct stat st;
  if (src_) {
    auto* fs = dynamic_cast<FileSource*>(src_.get());
    if (fs && fstat(fs->fd(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  } else if (stat(path.c_str(), &st) == 0) {
    fchmod(fd, st.st_mode & 07777);
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  // The new file carries the sharing lock from the moment its name appears.
  io::Lock(fd, true);

  std::vector<uint32_t> first;
  std::vector<uint8_t> ministream;
  HRESULT hr = WriteTo(fd, &first, &ministream);
  if (SUCCEEDED(hr) && !io::Rename(tmp, path)) hr = STG_E_WRITEFAULT;
  if (FAILED(hr)) {
    close(fd);
    unlink(tmp.c_str());
    return hr;
  }
  std::string dir = path.substr(0, path.find_last_of('/') == std::string::npos
                                       ? 0
                                       : path.find_last_of('/') + 1);
  int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    fsync(dfd);  // best effort: the rename itself is already atomic
    close(dfd);
  }

  // From now on the bytes come from the new file.
  src_ = std::make_unique<FileSource>(fd);
  lock_fd = fd;
  sector_size_ = 512;
  ministream_ = std::move(ministream);
  for (size_t i = 0; i < nodes.size(); ++i) {
    Node& n = nodes[i];
    if (!n.alive || n.type != kTypeStream) continue;
    n.loaded = false;
    n.data.clear();
    n.data.shrink_to_fit();
    n.sectors.clear();
    n.mini = n.size < kMiniCutoff;
    uint64_t unit = n.mini ? kMiniSectorSize : 512;
    uint64_t count = (n.size + unit - 1) / unit;
    n.sectors.reserve(size_t(count));
    for (uint64_t k = 0; k < count; ++k) n.sectors.push_back(uint32_t(first[i] + k));
  }
  dirty = false;
  return S_OK;
}

}  // namespace cfb
