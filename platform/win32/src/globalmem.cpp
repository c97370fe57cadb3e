// Global and local memory blocks.  Fixed blocks are their own pointers; movable blocks have
// handles of their own, in a range no heap pointer falls in (values ending in binary 100,
// never 16-byte aligned) and never reused, so a stale handle is detected.
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <unordered_map>

#include <windows.h>

namespace {

constexpr SIZE_T kMaxBlock = 0x7FFFFFFF;  // a 32-bit process's limit
constexpr UINT kAllocFlags = GMEM_MOVEABLE | GMEM_NOCOMPACT | GMEM_NODISCARD | GMEM_ZEROINIT |
                             GMEM_DISCARDABLE | GMEM_NOT_BANKED | GMEM_SHARE | GMEM_NOTIFY |
                             LMEM_DISCARDABLE;

struct Block {
  void* data = nullptr;
  SIZE_T size = 0;
  bool movable = false;
  unsigned locks = 0;
  uintptr_t handle = 0;  // the movable handle, or the data pointer of a fixed block
};

struct Heap {
  std::mutex lock;
  std::unordered_map<uintptr_t, Block*> by_handle;  // movable handles and fixed pointers
  std::unordered_map<uintptr_t, Block*> by_data;    // data pointers of movable blocks
  uintptr_t next_handle = 0;
};

Heap& TheHeap() {
  static Heap* heap = new Heap;  // blocks may be freed during exit
  return *heap;
}

uintptr_t NewMovableHandle(Heap& h) {
  constexpr uintptr_t kBase = sizeof(void*) == 8 ? uintptr_t(0x100000000000) : 0x10000000u;
  return kBase + 8 * ++h.next_handle + 4;
}

// The block of a handle, or of a pointer into a movable block as returned by GlobalLock.
Block* Find(Heap& h, const void* handle_or_pointer) {
  uintptr_t key = reinterpret_cast<uintptr_t>(handle_or_pointer);
  auto it = h.by_handle.find(key);
  if (it != h.by_handle.end()) return it->second;
  auto jt = h.by_data.find(key);
  return jt == h.by_data.end() ? nullptr : jt->second;
}

// As Find, with ERROR_INVALID_HANDLE set when the value is no block of ours.
Block* FindOrFail(Heap& h, const void* handle_or_pointer) {
  Block* b = Find(h, handle_or_pointer);
  if (!b) SetLastError(ERROR_INVALID_HANDLE);
  return b;
}

void* Allocate(SIZE_T bytes, bool zero) {
  SIZE_T n = bytes ? bytes : 1;
  return zero ? calloc(n, 1) : malloc(n);
}

HGLOBAL Alloc(UINT flags, SIZE_T bytes) {
  if (flags & ~kAllocFlags) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (bytes > kMaxBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* data = Allocate(bytes, flags & GMEM_ZEROINIT);
  if (!data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* b = new Block;
  b->data = data;
  b->size = bytes;
  b->movable = (flags & GMEM_MOVEABLE) != 0;
  Heap& h = TheHeap();
  std::lock_guard<std::mutex> guard(h.lock);
  if (b->movable) {
    b->handle = NewMovableHandle(h);
    h.by_data[reinterpret_cast<uintptr_t>(data)] = b;
  } else {
    b->handle = reinterpret_cast<uintptr_t>(data);
  }
  h.by_handle[b->handle] = b;
  return reinterpret_cast<HGLOBAL>(b->handle);
}

LPVOID Lock(HGLOBAL mem) {
  Heap& h = TheHeap();
  std::lock_guard<std::mutex> guard(h.lock);
  Block* b = FindOrFail(h, mem);
  if (!b) return nullptr;
  if (b->movable && b->locks < GMEM_LOCKCOUNT) ++b->locks;
  return b->data;
}

BOOL Unlock(HGLOBAL mem) {
  Heap& h = TheHeap();
  std::lock_guard<std::mutex> guard(h.lock);
  Block* b = FindOrFail(h, mem);
  if (!b) return FALSE;
  if (!b->movable) {  // fixed blocks are never locked
    SetLastError(NO_ERROR);
    return FALSE;
  }
  if (b->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--b->locks > 0) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

SIZE_T Size(HGLOBAL mem) {
  Heap& h = TheHeap();
  std::lock_guard<std::mutex> guard(h.lock);
  Block* b = FindOrFail(h, mem);
  if (!b) return 0;
  return b->size;
}

HGLOBAL Free(HGLOBAL mem) {
  if (!mem) return nullptr;
  Block* b;
  {
    Heap& h = TheHeap();
    std::lock_guard<std::mutex> guard(h.lock);
    b = Find(h, mem);
    if (!b) {
      SetLastError(ERROR_INVALID_HANDLE);
      return mem;
    }
    h.by_handle.erase(b->handle);
    if (b->movable) h.by_data.erase(reinterpret_cast<uintptr_t>(b->data));
  }
  free(b->data);
  delete b;
  return nullptr;
}

HGLOBAL Handle(LPCVOID pointer) {
  Heap& h = TheHeap();
  std::lock_guard<std::mutex> guard(h.lock);
  Block* b = FindOrFail(h, pointer);
  if (!b) return nullptr;
  return reinterpret_cast<HGLOBAL>(b->handle);
}

UINT Flags(HGLOBAL mem) {
  Heap& h = TheHeap();
  std::lock_guard<std::mutex> guard(h.lock);
  Block* b = FindOrFail(h, mem);
  if (!b) return GMEM_INVALID_HANDLE;
  return b->locks & GMEM_LOCKCOUNT;
}

// A movable block that is not locked always moves when its size changes, so that callers
// holding on to an old pointer fail at once rather than on some later, larger request.  A
// locked or fixed block changes only in place unless GMEM_MOVEABLE allows moving it.
HGLOBAL ReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) {
  if (flags & ~(kAllocFlags | GMEM_MODIFY)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Heap& h = TheHeap();
  std::lock_guard<std::mutex> guard(h.lock);
  Block* b = FindOrFail(h, mem);
  if (!b) return nullptr;
  if (flags & GMEM_MODIFY) {
    if ((flags & GMEM_MOVEABLE) && !b->movable) {  // a fixed block becomes movable
      h.by_handle.erase(b->handle);
      b->movable = true;
      b->handle = NewMovableHandle(h);
      h.by_handle[b->handle] = b;
      h.by_data[reinterpret_cast<uintptr_t>(b->data)] = b;
    }
    return reinterpret_cast<HGLOBAL>(b->handle);
  }
  if (bytes > kMaxBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  bool may_move = b->movable ? (b->locks == 0 || (flags & GMEM_MOVEABLE))
                             : (flags & GMEM_MOVEABLE) != 0;
  if (bytes <= b->size && !(may_move && b->movable && b->locks == 0 && bytes != b->size)) {
    b->size = bytes;  // shrinks in place
    return reinterpret_cast<HGLOBAL>(b->handle);
  }
  if (!may_move) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* data = Allocate(bytes, false);
  if (!data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  memcpy(data, b->data, bytes < b->size ? bytes : b->size);
  if ((flags & GMEM_ZEROINIT) && bytes > b->size)
    memset(static_cast<char*>(data) + b->size, 0, bytes - b->size);
  if (b->movable) {
    h.by_data.erase(reinterpret_cast<uintptr_t>(b->data));
    h.by_data[reinterpret_cast<uintptr_t>(data)] = b;
  } else {
    h.by_handle.erase(b->handle);
    b->handle = reinterpret_cast<uintptr_t>(data);
    h.by_handle[b->handle] = b;
  }
  free(b->data);
  b->data = data;
  b->size = bytes;
  return reinterpret_cast<HGLOBAL>(b->handle);
}

}  // namespace

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return Alloc(uFlags, dwBytes); }
HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
  return ReAlloc(hMem, dwBytes, uFlags);
}
LPVOID GlobalLock(HGLOBAL hMem) { return Lock(hMem); }
BOOL GlobalUnlock(HGLOBAL hMem) { return Unlock(hMem); }
SIZE_T GlobalSize(HGLOBAL hMem) { return Size(hMem); }
HGLOBAL GlobalFree(HGLOBAL hMem) { return Free(hMem); }
HGLOBAL GlobalHandle(LPCVOID pMem) { return Handle(pMem); }
UINT GlobalFlags(HGLOBAL hMem) { return Flags(hMem); }
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) { return Alloc(uFlags, uBytes); }
HLOCAL LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags) {
  return ReAlloc(hMem, uBytes, uFlags);
}
LPVOID LocalLock(HLOCAL hMem) { return Lock(hMem); }
BOOL LocalUnlock(HLOCAL hMem) { return Unlock(hMem); }
SIZE_T LocalSize(HLOCAL hMem) { return Size(hMem); }
HLOCAL LocalFree(HLOCAL hMem) { return Free(hMem); }
HLOCAL LocalHandle(LPCVOID pMem) { return Handle(pMem); }
UINT LocalFlags(HLOCAL hMem) { return Flags(hMem); }
