#include <unistd.h>

#include <cstring>

#include "format.h"
#include "objects.h"

namespace cfb {

HRESULT CheckChildMode(DWORD mode, bool parent_can_write) {
  DWORD access = mode & 3;
  if (access == 3) return STG_E_INVALIDFLAG;
  // Elements inside a compound file are always opened share-exclusive.
  if ((mode & 0x70) != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
  if (mode & (STGM_DELETEONRELEASE | STGM_PRIORITY | STGM_CONVERT)) return STG_E_INVALIDFLAG;
  if (access != STGM_READ && !parent_can_write) return STG_E_ACCESSDENIED;
  return S_OK;
}

namespace {

bool Writes(DWORD mode) { return (mode & 3) == STGM_WRITE || (mode & 3) == STGM_READWRITE; }

class Storage final : public IStorage {
 public:
  Storage(DocPtr doc, int node, DWORD mode, bool can_write, bool root)
      : doc_(std::move(doc)), node_(node), mode_(mode), can_write_(can_write), root_(root) {
    doc_->nodes[node_].open_count++;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IStorage)) {
      *ppv = static_cast<IStorage*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      {
        std::lock_guard<std::recursive_mutex> g(doc_->mu);
        doc_->nodes[node_].open_count--;
        if (root_ && !doc_->closed) {
          // The last reference to the root closes the file; unsaved changes are written
          // first (a failure leaves the previous file as it was).
          if (doc_->writable && doc_->dirty) doc_->Commit();
          doc_->Close();
          if (doc_->delete_on_close && !doc_->path.empty()) unlink(doc_->path.c_str());
        }
      }
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD,
                                         IStream** out) override {
    return Create(name, mode, kTypeStream, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* name, void*, DWORD mode, DWORD,
                                       IStream** out) override {
    return Open(name, mode, kTypeStream, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR* name, DWORD mode, DWORD, DWORD,
                                          IStorage** out) override {
    return Create(name, mode, kTypeStorage, reinterpret_cast<void**>(out));
  }
  HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode,
                                        SNB exclude, DWORD, IStorage** out) override {
    if (out) *out = nullptr;
    if (priority || exclude) return STG_E_INVALIDPARAMETER;
    return Open(name, mode, kTypeStorage, reinterpret_cast<void**>(out));
  }

  HRESULT STDMETHODCALLTYPE CopyTo(DWORD ciid, const IID* iids, SNB exclude,
                                   IStorage* dst) override {
    if (!dst) return STG_E_INVALIDPOINTER;
    if (static_cast<IStorage*>(this) == dst) return STG_E_ACCESSDENIED;
    bool skip_storages = false, skip_streams = false;
    for (DWORD i = 0; iids && i < ciid; ++i) {
      if (IsEqualIID(iids[i], IID_IStorage)) skip_storages = true;
      if (IsEqualIID(iids[i], IID_IStream)) skip_streams = true;
    }
    std::vector<std::u16string> names;
    {
      std::lock_guard<std::recursive_mutex> g(doc_->mu);
      if (HRESULT hr = Live(); FAILED(hr)) return hr;
      HRESULT hr = dst->SetClass(doc_->nodes[node_].clsid);
      if (FAILED(hr)) return hr;
      for (const auto& c : doc_->nodes[node_].children) names.push_back(c.first);
    }
    for (const auto& name : names) {
      bool excluded = false;
      for (SNB p = exclude; p && *p; ++p)
        if (CompareNames(name, *p) == 0) excluded = true;
      if (excluded) continue;
      int id;
      {
        std::lock_guard<std::recursive_mutex> g(doc_->mu);
        id = doc_->Find(node_, name);
      }
      if (id < 0) continue;
      bool is_stream = doc_->nodes[id].type == kTypeStream;
      if ((is_stream && skip_streams) || (!is_stream && skip_storages)) continue;
      HRESULT hr = CopyElement(name.c_str(), dst, name.c_str());
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR* name, IStorage* dst,
                                          const OLECHAR* new_name, DWORD flags) override {
    if (!name || !new_name) return STG_E_INVALIDNAME;
    if (!dst) return STG_E_INVALIDPOINTER;
    if (flags != STGMOVE_MOVE && flags != STGMOVE_COPY) return STG_E_INVALIDFLAG;
    if (flags == STGMOVE_MOVE && !can_write_) return STG_E_ACCESSDENIED;
    HRESULT hr = CopyElement(name, dst, new_name);
    if (FAILED(hr)) return hr;
    return flags == STGMOVE_MOVE ? DestroyElement(name) : S_OK;
  }

  HRESULT STDMETHODCALLTYPE Commit(DWORD) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    // Direct mode: the root's commit writes the file; a storage inside it has nothing of
    // its own to save.
    if (!root_ || !can_write_) return S_OK;
    return doc_->Commit();
  }
  HRESULT STDMETHODCALLTYPE Revert() override { return Live(); }

  HRESULT STDMETHODCALLTYPE EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** out) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    *out = NewEnumerator(doc_, node_);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR* name) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!name) return STG_E_INVALIDNAME;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!can_write_) return STG_E_ACCESSDENIED;
    int id = doc_->Find(node_, name);
    if (id < 0) return STG_E_FILENOTFOUND;
    // Objects still open on the element (or inside it) are reverted.
    doc_->RemoveSubtree(id);
    Touch();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR* old_name, const OLECHAR* new_name) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!old_name || !new_name) return STG_E_INVALIDNAME;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!can_write_) return STG_E_ACCESSDENIED;
    std::u16string to(new_name);
    if (!ValidNewName(to)) return STG_E_INVALIDNAME;
    int id = doc_->Find(node_, old_name);
    if (id < 0) return STG_E_FILENOTFOUND;
    int other = doc_->Find(node_, to);
    if (other >= 0 && other != id) return STG_E_ACCESSDENIED;
    auto& kids = doc_->nodes[node_].children;
    kids.erase(doc_->nodes[id].name);
    doc_->nodes[id].name = to;
    kids.emplace(to, id);
    doc_->dirty = true;
    Touch();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR* name, const FILETIME* ctime,
                                            const FILETIME*, const FILETIME* mtime) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!can_write_) return STG_E_ACCESSDENIED;
    int id = node_;
    if (name) {
      id = doc_->Find(node_, name);
      if (id < 0) return STG_E_FILENOTFOUND;
    }
    auto value = [](const FILETIME* f) { return uint64_t(f->dwLowDateTime) | (uint64_t(f->dwHighDateTime) << 32); };
    if (ctime) doc_->nodes[id].ctime = value(ctime);
    if (mtime) doc_->nodes[id].mtime = value(mtime);
    doc_->dirty = true;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!can_write_) return STG_E_ACCESSDENIED;
    doc_->nodes[node_].clsid = clsid;
    doc_->dirty = true;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetStateBits(DWORD bits, DWORD mask) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!can_write_) return STG_E_ACCESSDENIED;
    Node& n = doc_->nodes[node_];
    n.state_bits = (n.state_bits & ~mask) | (bits & mask);
    doc_->dirty = true;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD flag) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!st) return STG_E_INVALIDPOINTER;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    return FillStat(*doc_, node_, mode_, flag & STATFLAG_NONAME, st);
  }

 private:
  ~Storage() = default;

  HRESULT Live() const {
    return doc_->closed || !doc_->nodes[node_].alive ? STG_E_REVERTED : S_OK;
  }
  void Touch() {
    if (doc_->nodes[node_].type == kTypeStorage) doc_->nodes[node_].mtime = NowFileTime();
  }

  HRESULT Create(const OLECHAR* name, DWORD mode, uint8_t type, void** out) {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (!name) return STG_E_INVALIDNAME;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (HRESULT hr = CheckChildMode(mode & ~STGM_CREATE, can_write_); FAILED(hr)) return hr;
    if (type == kTypeStream && (mode & STGM_TRANSACTED)) return STG_E_INVALIDFLAG;
    if (!Writes(mode)) return STG_E_INVALIDFLAG;
    std::u16string n(name);
    if (!ValidNewName(n)) return STG_E_INVALIDNAME;
    int old = doc_->Find(node_, n);
    if (old >= 0) {
      if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
      if (doc_->nodes[old].open_count > 0) return STG_E_ACCESSDENIED;
      doc_->RemoveSubtree(old);
    }
    int id = doc_->AddChild(node_, n, type);
    Touch();
    if (type == kTypeStream)
      *out = static_cast<IStream*>(NewStream(doc_, id, mode, true, 0));
    else
      *out = static_cast<IStorage*>(NewStorage(doc_, id, mode, true));
    return S_OK;
  }

  HRESULT Open(const OLECHAR* name, DWORD mode, uint8_t type, void** out) {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (!name) return STG_E_INVALIDNAME;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (mode & STGM_CREATE) return STG_E_INVALIDFLAG;
    if (HRESULT hr = CheckChildMode(mode, can_write_); FAILED(hr)) return hr;
    if (type == kTypeStream && (mode & STGM_TRANSACTED)) return STG_E_INVALIDFLAG;
    int id = doc_->Find(node_, name);
    if (id < 0 || doc_->nodes[id].type != type) return STG_E_FILENOTFOUND;
    // An element is open through one object at a time.
    if (doc_->nodes[id].open_count > 0) return STG_E_ACCESSDENIED;
    bool w = Writes(mode);
    if (type == kTypeStream)
      *out = static_cast<IStream*>(NewStream(doc_, id, mode, w, 0));
    else
      *out = static_cast<IStorage*>(NewStorage(doc_, id, mode, w));
    return S_OK;
  }

  // Copies one element (a whole subtree for a storage) into dst under new_name.
  HRESULT CopyElement(const OLECHAR* name, IStorage* dst, const OLECHAR* new_name) {
    DWORD rd = STGM_READ | STGM_SHARE_EXCLUSIVE;
    DWORD wr = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    int id;
    {
      std::lock_guard<std::recursive_mutex> g(doc_->mu);
      if (HRESULT hr = Live(); FAILED(hr)) return hr;
      id = doc_->Find(node_, name);
      if (id < 0) return STG_E_FILENOTFOUND;
    }
    if (doc_->nodes[id].type == kTypeStream) {
      IStream* from = nullptr;
      HRESULT hr = OpenStream(name, nullptr, rd, 0, &from);
      if (FAILED(hr)) return hr;
      IStream* to = nullptr;
      hr = dst->CreateStream(new_name, wr, 0, 0, &to);
      if (SUCCEEDED(hr)) {
        ULARGE_INTEGER all;
        all.QuadPart = ~0ull;
        hr = from->CopyTo(to, all, nullptr, nullptr);
        to->Release();
      }
      from->Release();
      return hr;
    }
    IStorage* from = nullptr;
    HRESULT hr = OpenStorage(name, nullptr, rd, nullptr, 0, &from);
    if (FAILED(hr)) return hr;
    IStorage* to = nullptr;
    hr = dst->CreateStorage(new_name, wr, 0, 0, &to);
    if (SUCCEEDED(hr)) {
      hr = from->CopyTo(0, nullptr, nullptr, to);
      to->Release();
    }
    from->Release();
    return hr;
  }

  std::atomic<ULONG> refs_{1};
  DocPtr doc_;
  int node_;
  DWORD mode_;
  bool can_write_;
  bool root_;
};

}  // namespace

IStorage* NewRootStorage(DocPtr doc, DWORD mode) {
  bool w = doc->writable;
  return new Storage(std::move(doc), 0, mode, w, true);
}

IStorage* NewStorage(DocPtr doc, int node, DWORD mode, bool can_write) {
  return new Storage(std::move(doc), node, mode, can_write, false);
}

}  // namespace cfb
