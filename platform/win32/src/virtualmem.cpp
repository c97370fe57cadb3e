// VirtualAlloc / VirtualFree / VirtualProtect over mmap and mprotect.  Regions made here are
// remembered with the protection of each page, so that VirtualProtect can report the old
// protection and MEM_RELEASE knows the region's size.
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include <windows.h>

namespace {

struct Region {
  size_t size = 0;
  std::vector<DWORD> pages;  // the Win32 protection of each page; 0 = reserved only
};

struct Regions {
  std::mutex lock;
  std::map<uintptr_t, Region> by_base;
};

Regions& TheRegions() {
  static Regions* r = new Regions;
  return *r;
}

size_t PageSize() {
  static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// The POSIX protection of a Win32 one; false for those we do not offer.
bool ToProt(DWORD protect, int* prot) {
  switch (protect) {
    case PAGE_NOACCESS: *prot = PROT_NONE; return true;
    case PAGE_READONLY: *prot = PROT_READ; return true;
    case PAGE_READWRITE: *prot = PROT_READ | PROT_WRITE; return true;
    case PAGE_EXECUTE: *prot = PROT_EXEC; return true;
    case PAGE_EXECUTE_READ: *prot = PROT_READ | PROT_EXEC; return true;
    case PAGE_EXECUTE_READWRITE: *prot = PROT_READ | PROT_WRITE | PROT_EXEC; return true;
    default: return false;
  }
}

// The region holding [address, address + size), or nullptr.
std::map<uintptr_t, Region>::iterator Holding(Regions& r, uintptr_t address, size_t size) {
  auto it = r.by_base.upper_bound(address);
  if (it == r.by_base.begin()) return r.by_base.end();
  --it;
  if (address + size > it->first + it->second.size || address + size < address)
    return r.by_base.end();
  return it;
}

}  // namespace

LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
  int prot;
  if (!ToProt(flProtect, &prot) ||
      (flAllocationType & ~(MEM_COMMIT | MEM_RESERVE))) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  if (dwSize == 0 || !(flAllocationType & (MEM_COMMIT | MEM_RESERVE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t page = PageSize();
  Regions& r = TheRegions();
  std::lock_guard<std::mutex> guard(r.lock);
  if (lpAddress) {
    // Committing pages of a region reserved here.
    uintptr_t start = reinterpret_cast<uintptr_t>(lpAddress) & ~(page - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(lpAddress) + dwSize + page - 1) & ~(page - 1);
    auto it = Holding(r, start, end - start);
    if (it == r.by_base.end() || !(flAllocationType & MEM_COMMIT)) {
      SetLastError(it == r.by_base.end() ? ERROR_INVALID_ADDRESS : ERROR_CALL_NOT_IMPLEMENTED);
      return nullptr;
    }
    if (mprotect(reinterpret_cast<void*>(start), end - start, prot) != 0) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return nullptr;
    }
    for (uintptr_t p = start; p < end; p += page) it->second.pages[(p - it->first) / page] = flProtect;
    return reinterpret_cast<LPVOID>(start);
  }
  if (dwSize > (SIZE_T(1) << 40)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  size_t size = (dwSize + page - 1) & ~(page - 1);
  bool commit = flAllocationType & MEM_COMMIT;
  void* p = mmap(nullptr, size, commit ? prot : PROT_NONE,
                 MAP_PRIVATE | MAP_ANONYMOUS | (commit ? 0 : MAP_NORESERVE), -1, 0);
  if (p == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Region region;
  region.size = size;
  region.pages.assign(size / page, commit ? flProtect : 0);
  r.by_base[reinterpret_cast<uintptr_t>(p)] = std::move(region);
  return p;
}

BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
  Regions& r = TheRegions();
  std::lock_guard<std::mutex> guard(r.lock);
  uintptr_t address = reinterpret_cast<uintptr_t>(lpAddress);
  if (dwFreeType == MEM_RELEASE) {
    auto it = r.by_base.find(address);
    if (it == r.by_base.end() || dwSize != 0) {
      SetLastError(it == r.by_base.end() ? ERROR_INVALID_ADDRESS : ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    munmap(lpAddress, it->second.size);
    r.by_base.erase(it);
    return TRUE;
  }
  if (dwFreeType == MEM_DECOMMIT) {
    size_t page = PageSize();
    uintptr_t start = address & ~(page - 1);
    auto it0 = Holding(r, start, 1);
    if (it0 == r.by_base.end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    // Size 0 decommits from the address to the end of the region.
    uintptr_t end = dwSize ? (address + dwSize + page - 1) & ~(page - 1)
                           : it0->first + it0->second.size;
    auto it = Holding(r, start, end - start);
    if (it == r.by_base.end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    void* p = reinterpret_cast<void*>(start);
    mprotect(p, end - start, PROT_NONE);
    madvise(p, end - start, MADV_DONTNEED);
    for (uintptr_t q = start; q < end; q += page) it->second.pages[(q - it->first) / page] = 0;
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL VirtualProtect(LPVOID lpAddress, SIZE_T dwSize, DWORD flNewProtect, PDWORD lpflOldProtect) {
  int prot;
  if (!ToProt(flNewProtect, &prot)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!lpflOldProtect || dwSize == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  size_t page = PageSize();
  uintptr_t start = reinterpret_cast<uintptr_t>(lpAddress) & ~(page - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(lpAddress) + dwSize + page - 1) & ~(page - 1);
  Regions& r = TheRegions();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = Holding(r, start, end - start);
  if (it == r.by_base.end()) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  std::vector<DWORD>& pages = it->second.pages;
  for (uintptr_t q = start; q < end; q += page)
    if (pages[(q - it->first) / page] == 0) {  // reserved pages must be committed first
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
  if (mprotect(reinterpret_cast<void*>(start), end - start, prot) != 0) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  *lpflOldProtect = pages[(start - it->first) / page];
  for (uintptr_t q = start; q < end; q += page) pages[(q - it->first) / page] = flNewProtect;
  return TRUE;
}

BOOL FlushInstructionCache(HANDLE, LPCVOID lpBaseAddress, SIZE_T dwSize) {
  // x86 keeps instruction caches coherent; elsewhere the compiler's builtin does the work.
  char* p = static_cast<char*>(const_cast<void*>(lpBaseAddress));
  if (p) __builtin___clear_cache(p, p + dwSize);
  return TRUE;
}

HANDLE GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
