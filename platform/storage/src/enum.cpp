#include <cstdlib>
#include <cstring>

#include <storage/objbase.h>

#include "format.h"
#include "objects.h"

namespace cfb {

LPOLESTR CopyName(const std::u16string& name) {
  auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
  if (!p) return nullptr;
  std::memcpy(p, name.data(), name.size() * sizeof(OLECHAR));
  p[name.size()] = 0;
  return p;
}

static FILETIME ToFileTime(uint64_t t) {
  FILETIME f;
  f.dwLowDateTime = DWORD(t);
  f.dwHighDateTime = DWORD(t >> 32);
  return f;
}

HRESULT FillStat(const Document& doc, int id, DWORD mode, bool no_name, STATSTG* st) {
  const Node& n = doc.nodes[id];
  std::memset(st, 0, sizeof *st);
  if (!no_name) {
    // The root is named after its file, as on Windows.
    st->pwcsName = CopyName(n.type == kTypeRoot && !doc.path.empty() ? Utf8ToUtf16(doc.path) : n.name);
    if (!st->pwcsName) return STG_E_INSUFFICIENTMEMORY;
  }
  st->type = n.type == kTypeStream ? STGTY_STREAM : STGTY_STORAGE;
  st->cbSize.QuadPart = n.type == kTypeStream ? n.size : 0;
  st->mtime = ToFileTime(n.mtime);
  st->ctime = ToFileTime(n.ctime);
  st->grfMode = mode;
  st->clsid = n.clsid;
  st->grfStateBits = n.state_bits;
  return S_OK;
}

namespace {

class Enumerator final : public IEnumSTATSTG {
 public:
  Enumerator(DocPtr doc, std::vector<int> items, size_t pos)
      : doc_(std::move(doc)), items_(std::move(items)), pos_(pos) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumSTATSTG)) {
      *ppv = static_cast<IEnumSTATSTG*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, STATSTG* out, ULONG* fetched) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (fetched) *fetched = 0;
    if (!out || (celt > 1 && !fetched)) return STG_E_INVALIDPOINTER;
    if (doc_->closed) return STG_E_REVERTED;
    ULONG n = 0;
    while (n < celt && pos_ < items_.size()) {
      int id = items_[pos_++];
      if (!doc_->nodes[id].alive) continue;  // destroyed since the snapshot
      HRESULT hr = FillStat(*doc_, id, 0, false, &out[n]);
      if (FAILED(hr)) {
        for (ULONG k = 0; k < n; ++k) CoTaskMemFree(out[k].pwcsName);
        return hr;
      }
      ++n;
    }
    if (fetched) *fetched = n;
    return n == celt ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
    size_t left = items_.size() - pos_;
    if (celt > left) {
      pos_ = items_.size();
      return S_FALSE;
    }
    pos_ += celt;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumSTATSTG** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    *out = new Enumerator(doc_, items_, pos_);
    return S_OK;
  }

 private:
  ~Enumerator() = default;
  std::atomic<ULONG> refs_{1};
  DocPtr doc_;
  std::vector<int> items_;
  size_t pos_;
};

}  // namespace

IEnumSTATSTG* NewEnumerator(DocPtr doc, int storage) {
  // A snapshot of the children in directory order.
  std::vector<int> items;
  for (const auto& c : doc->nodes[storage].children) items.push_back(c.second);
  return new Enumerator(std::move(doc), std::move(items), 0);
}

}  // namespace cfb
