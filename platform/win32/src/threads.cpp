// Threads started through CreateThread: module entries see them attach and detach.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "handles.h"
#include "module_internal.h"

namespace w32c {
namespace {

struct ThreadObject : KernelObject {
  std::mutex lock;
  std::condition_variable finished_cv;
  bool finished = false;
  DWORD exit_code = 0x103;  // STILL_ACTIVE
  DWORD id = 0;
};

}  // namespace
}  // namespace w32c

using namespace w32c;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dwCreationFlags & ~0x00010000u) {  // only STACK_SIZE_PARAM_IS_A_RESERVATION is harmless
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  auto object = std::make_shared<ThreadObject>();
  std::mutex started_lock;
  std::condition_variable started_cv;
  bool started = false;
  try {
    std::thread([object, lpStartAddress, lpParameter, &started_lock, &started_cv, &started] {
      {
        std::lock_guard<std::mutex> guard(started_lock);
        object->id = GetCurrentThreadId();
        started = true;
      }
      started_cv.notify_one();
      NotifyThread(DLL_THREAD_ATTACH);
      DWORD code = lpStartAddress(lpParameter);
      NotifyThread(DLL_THREAD_DETACH);
      std::lock_guard<std::mutex> guard(object->lock);
      object->exit_code = code;
      object->finished = true;
      object->finished_cv.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::unique_lock<std::mutex> wait(started_lock);
  started_cv.wait(wait, [&] { return started; });
  if (lpThreadId) *lpThreadId = object->id;
  return NewHandle(object);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto thread = LookupHandleAs<ThreadObject>(hHandle);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> wait(thread->lock);
  auto done = [&] { return thread->finished; };
  if (dwMilliseconds == INFINITE) {
    thread->finished_cv.wait(wait, done);
    return WAIT_OBJECT_0;
  }
  return thread->finished_cv.wait_for(wait, std::chrono::milliseconds(dwMilliseconds), done)
             ? WAIT_OBJECT_0
             : WAIT_TIMEOUT;
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = LookupHandleAs<ThreadObject>(hThread);
  if (!thread || !lpExitCode) {
    SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(thread->lock);
  *lpExitCode = thread->exit_code;
  return TRUE;
}

DWORD GetCurrentThreadId(void) { return static_cast<DWORD>(syscall(SYS_gettid)); }
DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
