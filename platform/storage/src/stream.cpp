#include <cstring>

#include "format.h"
#include "objects.h"

namespace cfb {

namespace {

class Stream final : public IStream {
 public:
  Stream(DocPtr doc, int node, DWORD mode, bool can_write, uint64_t pos)
      : doc_(std::move(doc)), node_(node), mode_(mode), can_write_(can_write), pos_(pos) {
    doc_->nodes[node_].open_count++;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
        IsEqualIID(riid, IID_IStream)) {
      *ppv = static_cast<IStream*>(this);
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
      }
      delete this;
    }
    return left;
  }

  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (pcbRead) *pcbRead = 0;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    size_t got = 0;
    HRESULT hr = doc_->ReadStream(node_, pos_, pv, cb, &got);
    if (FAILED(hr)) return hr;
    pos_ += got;
    if (pcbRead) *pcbRead = ULONG(got);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (pcbWritten) *pcbWritten = 0;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!can_write_) return STG_E_ACCESSDENIED;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    uint64_t end = pos_ + cb;
    if (end > 0xFFFFFFFFu) return STG_E_MEDIUMFULL;  // sizes are 32-bit in the file
    HRESULT hr = doc_->Materialize(node_);
    if (FAILED(hr)) return hr;
    Node& n = doc_->nodes[node_];
    try {
      if (end > n.data.size()) {
        // Grow geometrically so that many small writes stay linear.
        if (end > n.data.capacity()) n.data.reserve(size_t(std::max<uint64_t>(end, n.data.capacity() * 2)));
        n.data.resize(size_t(end));
      }
    } catch (const std::bad_alloc&) {
      return STG_E_INSUFFICIENTMEMORY;
    }
    std::memcpy(n.data.data() + pos_, pv, cb);
    if (end > n.size) n.size = end;
    pos_ = end;
    doc_->dirty = true;
    if (pcbWritten) *pcbWritten = cb;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newpos) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    int64_t base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = int64_t(pos_); break;
      case STREAM_SEEK_END: base = int64_t(doc_->nodes[node_].size); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    int64_t to = base + move.QuadPart;
    if ((move.QuadPart < 0 && to > base) || to < 0) return STG_E_INVALIDFUNCTION;
    pos_ = uint64_t(to);
    if (newpos) newpos->QuadPart = pos_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    if (!can_write_) return STG_E_ACCESSDENIED;
    if (size.QuadPart > 0xFFFFFFFFu) return STG_E_MEDIUMFULL;
    Node& n = doc_->nodes[node_];
    if (size.QuadPart == n.size) return S_OK;
    HRESULT hr = doc_->Materialize(node_);
    if (FAILED(hr)) return hr;
    try {
      n.data.resize(size_t(size.QuadPart), 0);
    } catch (const std::bad_alloc&) {
      return STG_E_INSUFFICIENTMEMORY;
    }
    if (n.data.capacity() > 2 * n.data.size() + 4096) n.data.shrink_to_fit();
    n.size = size.QuadPart;
    doc_->dirty = true;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CopyTo(IStream* dst, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                   ULARGE_INTEGER* pcbWritten) override {
    if (pcbRead) pcbRead->QuadPart = 0;
    if (pcbWritten) pcbWritten->QuadPart = 0;
    if (!dst) return STG_E_INVALIDPOINTER;
    std::vector<uint8_t> buf(1 << 16);
    uint64_t left = cb.QuadPart, read_total = 0, written_total = 0;
    while (left > 0) {
      ULONG want = ULONG(left < buf.size() ? left : buf.size()), got = 0, put = 0;
      HRESULT hr = Read(buf.data(), want, &got);
      if (FAILED(hr)) return hr;
      if (got == 0) break;
      read_total += got;
      hr = dst->Write(buf.data(), got, &put);
      written_total += put;
      if (pcbRead) pcbRead->QuadPart = read_total;
      if (pcbWritten) pcbWritten->QuadPart = written_total;
      if (FAILED(hr)) return hr;
      left -= got;
    }
    return S_OK;
  }

  // Changes reach the file when the root storage commits or is released.
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return Live(); }
  HRESULT STDMETHODCALLTYPE Revert() override { return Live(); }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;  // compound file streams have no region locks
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* st, DWORD flag) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!st) return STG_E_INVALIDPOINTER;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    return FillStat(*doc_, node_, mode_, flag & STATFLAG_NONAME, st);
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
    std::lock_guard<std::recursive_mutex> g(doc_->mu);
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (HRESULT hr = Live(); FAILED(hr)) return hr;
    *out = NewStream(doc_, node_, mode_, can_write_, pos_);
    return S_OK;
  }

 private:
  ~Stream() = default;
  HRESULT Live() const {
    return doc_->closed || !doc_->nodes[node_].alive ? STG_E_REVERTED : S_OK;
  }
  std::atomic<ULONG> refs_{1};
  DocPtr doc_;
  int node_;
  DWORD mode_;
  bool can_write_;
  uint64_t pos_;
};

}  // namespace

IStream* NewStream(DocPtr doc, int node, DWORD mode, bool can_write, uint64_t pos) {
  return new Stream(std::move(doc), node, mode, can_write, pos);
}

}  // namespace cfb
