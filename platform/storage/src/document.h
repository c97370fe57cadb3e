// One open compound file: the tree of elements in memory, where each stream's bytes are
// (still in the file it was read from, or in memory once changed), and the commit that writes
// the whole tree as a new file which then replaces the old one.
#pragma once
#include <storage/objidl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "io.h"
#include "names.h"

namespace cfb {

struct Node {
  std::u16string name;
  uint8_t type = 0;  // kTypeStorage, kTypeStream or kTypeRoot
  CLSID clsid{};
  uint32_t state_bits = 0;
  uint64_t ctime = 0, mtime = 0;
  int parent = -1;
  std::map<std::u16string, int, NameLess> children;
  bool alive = true;
  int open_count = 0;  // interface objects currently open on this element

  // Stream bytes: in `data` when loaded, otherwise at `sectors` of the source (mini sectors
  // of the mini stream when `mini`).
  uint64_t size = 0;
  bool loaded = false;
  std::vector<uint8_t> data;
  bool mini = false;
  std::vector<uint32_t> sectors;
};

class Document {
 public:
  // Reads the tree from src.  On failure the status says why (STG_E_FILEALREADYEXISTS for
  // something that is not a compound file, STG_E_INVALIDHEADER, STG_E_DOCFILECORRUPT).
  HRESULT Load(std::unique_ptr<ByteSource> src);
  // An empty tree: a root storage and nothing else.
  void InitEmpty();

  // Copies up to n bytes of a stream from offset off; *got receives the count.
  HRESULT ReadStream(int node, uint64_t off, void* dst, size_t n, size_t* got) const;
  // Brings a stream's bytes into memory so that they can change.
  HRESULT Materialize(int node);

  // Writes the whole tree to a new file beside `path` and renames it over the old one.
  HRESULT Commit();
  // Writes the tree to an open descriptor (no rename); used by Commit and tests.
  HRESULT WriteTo(int fd, std::vector<uint32_t>* first_sectors, std::vector<uint8_t>* ministream);

  // The file the tree came from (or the file being created); it holds the sharing lock.
  void AdoptSource(std::unique_ptr<ByteSource> src) { src_ = std::move(src); }
  // Drops the source: closes the file and so releases the lock.
  void Close() {
    closed = true;
    src_.reset();
  }

  int AddChild(int parent, const std::u16string& name, uint8_t type);
  void RemoveSubtree(int node);
  int Find(int parent, const std::u16string& name) const;

  std::vector<Node> nodes;
  std::string path;  // the file, for Commit; empty for a tree read from memory
  bool writable = false;
  bool dirty = false;
  bool closed = false;
  bool delete_on_close = false;
  int lock_fd = -1;  // the descriptor that holds the sharing lock (owned by the source)
  std::recursive_mutex mu;  // one caller at a time in the tree

 private:
  HRESULT ReadSectors(const std::vector<uint32_t>& chain, uint64_t off, uint8_t* dst,
                      size_t n) const;
  std::unique_ptr<ByteSource> src_;
  uint32_t sector_size_ = 512;
  std::vector<uint8_t> ministream_;
};

uint64_t NowFileTime();

}  // namespace cfb
