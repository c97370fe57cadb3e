// Version, processor, environment and computer name.
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include <windows.h>

extern char** environ;

namespace {

// The environment is shared by all threads; setenv and getenv are kept apart.
std::mutex& EnvLock() {
  static std::mutex* m = new std::mutex;
  return *m;
}

}  // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD size = info->dwOSVersionInfoSize;
  memset(reinterpret_cast<char*>(info) + sizeof(DWORD), 0, size - sizeof(DWORD));
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 2600;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  strcpy(info->szCSDVersion, "Service Pack 3");
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
    ex->wServicePackMajor = 3;
    ex->wProductType = 1;  // VER_NT_WORKSTATION
  }
  return TRUE;
}

DWORD GetVersion(void) { return (2600u << 16) | (1u << 8) | 5u; }

void GetSystemInfo(LPSYSTEM_INFO info) {
  memset(info, 0, sizeof *info);
#if defined(__x86_64__)
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  info->dwProcessorType = 8664;  // PROCESSOR_AMD_X8664
#elif defined(__i386__)
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
  info->dwProcessorType = 586;  // PROCESSOR_INTEL_PENTIUM
#elif defined(__aarch64__)
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
#else
  info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
  long page = sysconf(_SC_PAGESIZE);
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  info->dwPageSize = static_cast<DWORD>(page > 0 ? page : 4096);
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x10000));
  info->lpMaximumApplicationAddress =
      reinterpret_cast<LPVOID>(sizeof(void*) == 8 ? uintptr_t(0x7FFFFFFEFFFF) : 0x7FFEFFFFu);
  info->dwNumberOfProcessors = static_cast<DWORD>(cpus > 0 ? cpus : 1);
  DWORD n = info->dwNumberOfProcessors;
  info->dwActiveProcessorMask =
      n >= 8 * sizeof(DWORD_PTR) ? ~DWORD_PTR(0) : (DWORD_PTR(1) << n) - 1;
  info->dwAllocationGranularity = 65536;
  info->wProcessorLevel = 6;
}

DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
  if (!lpName || !*lpName || strchr(lpName, '=')) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  std::string value;
  {
    std::lock_guard<std::mutex> guard(EnvLock());
    const char* v = getenv(lpName);
    if (!v) {
      size_t n = strlen(lpName);
      for (char** e = environ; e && *e; ++e)
        if (strncasecmp(*e, lpName, n) == 0 && (*e)[n] == '=') {
          v = *e + n + 1;
          break;
        }
    }
    if (!v) {
      SetLastError(ERROR_ENVVAR_NOT_FOUND);
      return 0;
    }
    value = v;
  }
  if (value.size() >= nSize || !lpBuffer) return static_cast<DWORD>(value.size() + 1);
  memcpy(lpBuffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
  if (!lpName || !*lpName || strchr(lpName, '=')) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(EnvLock());
  int r = lpValue ? setenv(lpName, lpValue, 1) : unsetenv(lpName);
  if (r != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
  if (!nSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || !host[0]) strcpy(host, "LOCALHOST");
  std::string name(host, strcspn(host, "."));
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (!lpBuffer || *nSize <= name.size()) {
    *nSize = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  memcpy(lpBuffer, name.c_str(), name.size() + 1);
  *nSize = static_cast<DWORD>(name.size());
  return TRUE;
}
