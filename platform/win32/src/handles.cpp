#include "handles.h"

#include <mutex>
#include <unordered_map>

namespace w32c {
namespace {

struct Table {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 1;
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: handles may be closed at exit
  return *table;
}

// Values are multiples of 4 from 0x1000 upward, like Windows handles; 0 and -1 are never
// used.
uintptr_t ToKey(HANDLE h) { return reinterpret_cast<uintptr_t>(h); }

}  // namespace

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  uintptr_t key = 0x1000 + 4 * t.next++;
  t.objects.emplace(key, std::move(object));
  return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(ToKey(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> doomed;
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.objects.find(ToKey(handle));
  if (it == t.objects.end()) return false;
  doomed = std::move(it->second);
  t.objects.erase(it);
  return true;
}

}  // namespace w32c
