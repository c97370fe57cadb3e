// The process's table of kernel handles (files, find searches, threads, ...).  Handle
// values are small tagged integers, never pointers, so that a stale or random value is
// recognised as invalid instead of being dereferenced.
#pragma once
#include <windows.h>

#include <memory>

namespace w32c {

struct KernelObject {
  virtual ~KernelObject() = default;
};

// Registers an object and returns its new handle value.
HANDLE NewHandle(std::shared_ptr<KernelObject> object);
// The object behind a live handle, or nullptr.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes a handle from the table; the object goes when its last reference does.
// False when the handle was not live.
bool RemoveHandle(HANDLE handle);

}  // namespace w32c
