// Thread-local storage indexes, critical sections and Sleep.
#include <errno.h>
#include <sched.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <windows.h>

namespace {

// ---- TLS ----
// Each index has a generation that changes when it is freed; a thread's value counts only
// when stored under the current generation, so a reallocated index reads NULL everywhere.
constexpr DWORD kTlsIndexes = 1088;

struct TlsTable {
  std::mutex lock;
  bool used[kTlsIndexes] = {};
  std::atomic<unsigned> generation[kTlsIndexes] = {};
};

TlsTable& Tls() {
  static TlsTable* t = new TlsTable;
  return *t;
}

struct Slot {
  unsigned generation;
  void* value;
};

// Kept small in static TLS: the slots themselves live on the heap.
thread_local std::unique_ptr<std::vector<Slot>> t_slots;

bool ValidIndex(DWORD index) {
  if (index >= kTlsIndexes) return false;
  TlsTable& t = Tls();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.used[index];
}

// ---- Critical sections ----
struct CsLock {
  std::recursive_mutex mutex;
};

CsLock* LockOf(LPCRITICAL_SECTION cs) {
  std::atomic_ref<HANDLE> slot(cs->LockSemaphore);
  HANDLE h = slot.load(std::memory_order_acquire);
  if (h) return static_cast<CsLock*>(h);
  // A zeroed record (never initialised): make its lock now, once.
  auto* fresh = new CsLock;
  HANDLE expected = nullptr;
  if (slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) return fresh;
  delete fresh;
  return static_cast<CsLock*>(expected);
}

void NoteEntered(LPCRITICAL_SECTION cs) {
  if (++cs->RecursionCount == 1)
    cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
  __atomic_add_fetch(&cs->LockCount, 1, __ATOMIC_RELAXED);
}

}  // namespace

DWORD TlsAlloc(void) {
  TlsTable& t = Tls();
  std::lock_guard<std::mutex> guard(t.lock);
  for (DWORD i = 0; i < kTlsIndexes; ++i)
    if (!t.used[i]) {
      t.used[i] = true;
      return i;
    }
  SetLastError(ERROR_NO_MORE_ITEMS);
  return TLS_OUT_OF_INDEXES;
}

BOOL TlsFree(DWORD dwTlsIndex) {
  TlsTable& t = Tls();
  std::lock_guard<std::mutex> guard(t.lock);
  if (dwTlsIndex >= kTlsIndexes || !t.used[dwTlsIndex]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t.used[dwTlsIndex] = false;
  t.generation[dwTlsIndex].fetch_add(1);
  return TRUE;
}

LPVOID TlsGetValue(DWORD dwTlsIndex) {
  if (!ValidIndex(dwTlsIndex)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);  // as on Windows, so that a NULL value can be told apart
  if (!t_slots || dwTlsIndex >= t_slots->size()) return nullptr;
  const Slot& s = (*t_slots)[dwTlsIndex];
  return s.generation == Tls().generation[dwTlsIndex].load() ? s.value : nullptr;
}

BOOL TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue) {
  if (!ValidIndex(dwTlsIndex)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!t_slots) t_slots = std::make_unique<std::vector<Slot>>();
  if (dwTlsIndex >= t_slots->size()) t_slots->resize(dwTlsIndex + 1, Slot{0, nullptr});
  (*t_slots)[dwTlsIndex] = Slot{Tls().generation[dwTlsIndex].load(), lpTlsValue};
  return TRUE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  lpCriticalSection->DebugInfo = nullptr;
  lpCriticalSection->LockCount = -1;
  lpCriticalSection->RecursionCount = 0;
  lpCriticalSection->OwningThread = nullptr;
  lpCriticalSection->LockSemaphore = new CsLock;
  lpCriticalSection->SpinCount = 0;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                           DWORD dwSpinCount) {
  InitializeCriticalSection(lpCriticalSection);
  lpCriticalSection->SpinCount = dwSpinCount;
  return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  LockOf(lpCriticalSection)->mutex.lock();
  NoteEntered(lpCriticalSection);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!LockOf(lpCriticalSection)->mutex.try_lock()) return FALSE;
  NoteEntered(lpCriticalSection);
  return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (--lpCriticalSection->RecursionCount == 0) lpCriticalSection->OwningThread = nullptr;
  __atomic_sub_fetch(&lpCriticalSection->LockCount, 1, __ATOMIC_RELAXED);
  LockOf(lpCriticalSection)->mutex.unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  delete static_cast<CsLock*>(lpCriticalSection->LockSemaphore);
  lpCriticalSection->LockSemaphore = nullptr;
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    sched_yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) {
      struct timespec ts{3600, 0};
      nanosleep(&ts, nullptr);
    }
  }
  struct timespec ts;
  ts.tv_sec = dwMilliseconds / 1000;
  ts.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
