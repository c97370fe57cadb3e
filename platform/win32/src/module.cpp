// Modules: every shared object built with ps_win32_module() attaches itself here from its
// constructor; LoadLibraryA finds and opens modules; GetProcAddress resolves names and
// ordinals from the module's export table; PE files open as data for their resources.
#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "module_internal.h"
#include <win32compat/drives.h>
#include <win32compat/module_info.h>

struct HINSTANCE__ {
  const W32CModuleInfo* info = nullptr;  // nullptr: a data file or a module not built by us
  std::string path;                      // POSIX path of the file
  uintptr_t base = 0;                    // load address (dli_fbase); 0 for data files
  void* dl = nullptr;                    // our own dlopen reference, when we hold one
  int load_count = 0;                    // LoadLibrary references not yet freed
  bool thread_calls = true;
  bool attached = false;                 // DLL_PROCESS_ATTACH delivered
  bool init_failed = false;              // DllMain refused DLL_PROCESS_ATTACH
  std::vector<uint8_t> image;            // whole file, for data files
};

namespace w32c {
namespace {

constexpr size_t kMaxDataFileSize = 256u << 20;

struct Registry {
  std::recursive_mutex lock;
  std::vector<HINSTANCE__*> modules;  // live records
};

Registry& TheRegistry() {
  static Registry* r = new Registry;  // never destroyed: destructors of modules run late
  return *r;
}

bool IsLive(Registry& r, HMODULE m) {
  return m && std::find(r.modules.begin(), r.modules.end(), m) != r.modules.end();
}

std::string RealPath(const std::string& p) {
  char buf[PATH_MAX];
  if (realpath(p.c_str(), buf)) return buf;
  return p;
}

std::string ProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = 0;
  return buf;
}

// Load address of the main program (the first object dl_iterate_phdr reports).
uintptr_t ProgramBase() {
  uintptr_t base = 0;
  dl_iterate_phdr(
      [](struct dl_phdr_info* info, size_t, void* data) -> int {
        uintptr_t lowest = UINTPTR_MAX;
        for (int i = 0; i < info->dlpi_phnum; ++i)
          if (info->dlpi_phdr[i].p_type == PT_LOAD)
            lowest = std::min<uintptr_t>(lowest, info->dlpi_phdr[i].p_vaddr);
        *static_cast<uintptr_t*>(data) = info->dlpi_addr + (lowest == UINTPTR_MAX ? 0 : lowest);
        return 1;  // stop after the first object
      },
      &base);
  return base;
}

// The object that contains an address: its load address and POSIX path.
bool ObjectOf(const void* address, uintptr_t* base, std::string* path) {
  Dl_info di{};
  if (!dladdr(address, &di) || !di.dli_fbase) return false;
  *base = reinterpret_cast<uintptr_t>(di.dli_fbase);
  if (*base == ProgramBase()) {
    *path = ProgramPath();
  } else {
    *path = di.dli_fname ? RealPath(di.dli_fname) : std::string();
  }
  return true;
}

HINSTANCE__* FindByBase(Registry& r, uintptr_t base) {
  for (HINSTANCE__* m : r.modules)
    if (m->base == base && m->image.empty()) return m;
  return nullptr;
}

// A record for an object that did not attach itself (the program, or a foreign library).
HINSTANCE__* RecordFor(Registry& r, uintptr_t base, const std::string& path) {
  if (HINSTANCE__* m = FindByBase(r, base)) return m;
  auto* m = new HINSTANCE__;
  m->base = base;
  m->path = path;
  r.modules.push_back(m);
  return m;
}

void CallEntry(HINSTANCE__* m, DWORD reason) {
  if (m->info && m->info->dll_main) m->info->dll_main(m, reason, nullptr);
}

std::string ToPosix(const char* name) {
  std::string s(name);
  std::replace(s.begin(), s.end(), '\\', '/');
  if (s.size() >= 2 && s[1] == ':' && isalpha(static_cast<unsigned char>(s[0]))) {
    // Drive letters of module paths: the default drive maps to the root.
    s = s.substr(2);
    if (s.empty() || s[0] != '/') s = "/" + s;
  }
  return s;
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = strlen(suffix);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

std::string Directory(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Where a bare module name is looked for: WIN32COMPAT_PATH, the program's folder and its
// ../lib, the stand-in's own folder (installed modules live beside it).
std::vector<std::string> SearchDirectories() {
  std::vector<std::string> dirs;
  if (const char* env = getenv("WIN32COMPAT_PATH")) {
    std::string list(env);
    size_t start = 0;
    while (start <= list.size()) {
      size_t colon = list.find(':', start);
      if (colon == std::string::npos) colon = list.size();
      if (colon > start) dirs.push_back(list.substr(start, colon - start));
      start = colon + 1;
    }
  }
  std::string program_dir = Directory(ProgramPath());
  dirs.push_back(program_dir);
  dirs.push_back(program_dir + "/../lib");
  uintptr_t base;
  std::string self;
  if (ObjectOf(reinterpret_cast<const void*>(&SearchDirectories), &base, &self))
    dirs.push_back(Directory(self));
  return dirs;
}

// File names a module name may have on POSIX: "Tilekit.dll" is also "libtilekit.so".
std::vector<std::string> CandidateNames(const std::string& name) {
  std::vector<std::string> names{name};
  std::string stem = name;
  if (EndsWithNoCase(stem, ".dll")) {
    stem.resize(stem.size() - 4);
  } else if (stem.find('.') != std::string::npos) {
    return names;
  } else {
    names.push_back(stem + ".dll");
  }
  std::string lower = stem;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(tolower(c)); });
  names.push_back("lib" + lower + ".so");
  return names;
}

bool FileExists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

// Resolves a module name to an existing file, or returns "".
std::string Locate(const char* file_name) {
  std::string posix = ToPosix(file_name);
  if (posix.find('/') != std::string::npos) {
    if (FileExists(posix)) return RealPath(posix);
    if (!EndsWithNoCase(posix, ".dll") && posix.rfind('.') < posix.rfind('/') &&
        FileExists(posix + ".dll"))
      return RealPath(posix + ".dll");
    return {};
  }
  for (const std::string& dir : SearchDirectories())
    for (const std::string& n : CandidateNames(posix))
      if (FileExists(dir + "/" + n)) return RealPath(dir + "/" + n);
  return {};
}

bool IsPeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char mz[2] = {};
  in.read(mz, 2);
  return in && mz[0] == 'M' && mz[1] == 'Z';
}

HMODULE LoadDataFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::streamoff size = in.tellg();
  if (size < 2 || static_cast<uint64_t>(size) > kMaxDataFileSize) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto* m = new HINSTANCE__;
  m->path = path;
  m->load_count = 1;
  m->image.resize(static_cast<size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(m->image.data()), size);
  if (!in || m->image[0] != 'M' || m->image[1] != 'Z') {
    delete m;
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  r.modules.push_back(m);
  return m;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool NameMatches(const HINSTANCE__* m, const std::string& wanted) {
  std::string file = BaseName(m->path);
  for (const std::string& candidate : CandidateNames(wanted)) {
    if (strcasecmp(candidate.c_str(), file.c_str()) == 0) return true;
    if (m->info && m->info->name &&
        (strcasecmp(candidate.c_str(), m->info->name) == 0 ||
         strcasecmp(candidate.c_str(), (std::string(m->info->name) + ".dll").c_str()) == 0))
      return true;
  }
  return false;
}

}  // namespace

bool GetModuleResources(HMODULE module, ModuleResources* out) {
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  HINSTANCE__* m = module;
  if (!m) m = GetModuleHandleA(nullptr);
  if (!IsLive(r, m)) return false;
  *out = ModuleResources{};
  if (!m->image.empty()) {
    out->kind = ResourceImage::kPe;
    out->data = m->image.data();
    out->size = m->image.size();
  } else if (m->info && m->info->resources) {
    out->kind = ResourceImage::kRes;
    out->data = m->info->resources;
    out->size = m->info->resources_size;
  }
  return true;
}

// Threads started by CreateThread deliver DLL_THREAD_ATTACH / DLL_THREAD_DETACH.
void NotifyThread(DWORD reason) {
  std::vector<HINSTANCE__*> targets;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    for (HINSTANCE__* m : r.modules)
      if (m->attached && m->thread_calls && m->info && m->info->dll_main) targets.push_back(m);
  }
  if (reason == DLL_THREAD_DETACH) std::reverse(targets.begin(), targets.end());
  for (HINSTANCE__* m : targets) CallEntry(m, reason);
}

}  // namespace w32c

using namespace w32c;

void Win32CompatModuleAttach(const W32CModuleInfo* info) {
  uintptr_t base;
  std::string path;
  if (!ObjectOf(info, &base, &path)) return;
  Registry& r = TheRegistry();
  HINSTANCE__* m;
  {
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    m = RecordFor(r, base, path);
    m->info = info;
  }
  // Module entry runs outside the registry lock so that DllMain may call the loader.
  BOOL ok = TRUE;
  if (info->dll_main) ok = info->dll_main(m, DLL_PROCESS_ATTACH, nullptr);
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  m->attached = ok != FALSE;
  m->init_failed = ok == FALSE;
}

void Win32CompatModuleDetach(const W32CModuleInfo* info) {
  Registry& r = TheRegistry();
  HINSTANCE__* m = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    for (HINSTANCE__* candidate : r.modules)
      if (candidate->info == info) m = candidate;
    if (!m) return;
    r.modules.erase(std::find(r.modules.begin(), r.modules.end(), m));
  }
  if (m->attached) CallEntry(m, DLL_PROCESS_DETACH);
  delete m;
}

HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  if (!lpLibFileName || !*lpLibFileName || hFile) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const DWORD as_data = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE |
                        LOAD_LIBRARY_AS_IMAGE_RESOURCE;
  if (dwFlags & ~(as_data | LOAD_WITH_ALTERED_SEARCH_PATH)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return nullptr;
  }
  std::string path = Locate(lpLibFileName);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if ((dwFlags & as_data) || IsPeFile(path)) {
    if (!(dwFlags & as_data)) {
      // A Windows executable cannot run here; only its resources can be read.
      SetLastError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
    return LoadDataFile(path);
  }
  void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  link_map* lm = nullptr;
  if (dlinfo(dl, RTLD_DI_LINKMAP, &lm) != 0 || !lm) {
    dlclose(dl);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  HINSTANCE__* m = nullptr;
  for (HINSTANCE__* candidate : r.modules)
    if (candidate->image.empty() && RealPath(candidate->path) == path) m = candidate;
  if (!m) m = RecordFor(r, static_cast<uintptr_t>(lm->l_addr), path);
  if (m->init_failed) {
    dlclose(dl);  // the module's entry refused the process: it unloads again
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  if (m->dl) {
    dlclose(dl);  // one dlopen reference per record is enough; counts are ours
  } else {
    m->dl = dl;
  }
  ++m->load_count;
  return m;
}

HMODULE LoadLibraryA(LPCSTR lpLibFileName) { return LoadLibraryExA(lpLibFileName, nullptr, 0); }

BOOL FreeLibrary(HMODULE hLibModule) {
  Registry& r = TheRegistry();
  void* dl = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    if (!IsLive(r, hLibModule) || hLibModule->load_count <= 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (--hLibModule->load_count > 0) return TRUE;
    if (!hLibModule->image.empty()) {
      r.modules.erase(std::find(r.modules.begin(), r.modules.end(), hLibModule));
      delete hLibModule;
      return TRUE;
    }
    dl = hLibModule->dl;
    hLibModule->dl = nullptr;
  }
  // Closing the last reference runs the module's destructor, which detaches it.
  if (dl) dlclose(dl);
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  if (!lpModuleName) return RecordFor(r, ProgramBase(), ProgramPath());
  std::string wanted = ToPosix(lpModuleName);
  bool by_path = wanted.find('/') != std::string::npos;
  for (HINSTANCE__* m : r.modules) {
    if (by_path ? RealPath(wanted) == m->path : NameMatches(m, wanted)) return m;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
  if (!phModule) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  if (dwFlags & ~(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT | GET_MODULE_HANDLE_EX_FLAG_PIN)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HMODULE m = nullptr;
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    uintptr_t base;
    std::string path;
    if (!ObjectOf(lpModuleName, &base, &path)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    m = RecordFor(r, base, path);
  } else {
    m = GetModuleHandleA(lpModuleName);
  }
  if (!m) return FALSE;
  // Reference counts matter only for modules we opened; a pinned or unchanged handle is
  // the same record either way.
  *phModule = m;
  return TRUE;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  HINSTANCE__* m = hModule ? hModule : GetModuleHandleA(nullptr);
  if (!IsLive(r, m) || !m->image.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!lpProcName) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  std::string name;
  if (IS_INTRESOURCE(lpProcName)) {
    WORD ordinal = static_cast<WORD>(reinterpret_cast<uintptr_t>(lpProcName));
    if (m->info && ordinal != 0)
      for (const W32CExport* e = m->info->exports; e->name; ++e)
        if (e->ordinal == ordinal) name = e->name;
    if (name.empty()) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
  } else {
    name = lpProcName;
  }
  if (!m->dl) {
    // A module that was linked in, or the program: take a reference of our own once.
    m->dl = m->base == ProgramBase() ? dlopen(nullptr, RTLD_NOW)
                                     : dlopen(m->path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  }
  void* sym = m->dl ? dlsym(m->dl, name.c_str()) : nullptr;
  // dlsym also searches the module's dependencies; GetProcAddress does not.
  uintptr_t base;
  std::string path;
  if (!sym || !ObjectOf(sym, &base, &path) || base != m->base) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(r.lock);
    HINSTANCE__* m = hModule ? hModule : GetModuleHandleA(nullptr);
    if (!IsLive(r, m)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = m->path;
  }
  // Module paths are given in the system's form, through the drive table.
  char converted[4 * MAX_PATH];
  DWORD length = Win32CompatToWindowsPath(path.c_str(), converted, sizeof converted);
  if (length == 0 || length >= sizeof converted) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  std::string windows(converted, length);
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (windows.size() + 1 > nSize) {
    // As on Windows: truncated, terminated, the buffer size returned.
    memcpy(lpFilename, windows.data(), nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, windows.c_str(), windows.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(windows.size());
}

BOOL DisableThreadLibraryCalls(HMODULE hLibModule) {
  Registry& r = TheRegistry();
  std::lock_guard<std::recursive_mutex> guard(r.lock);
  if (!IsLive(r, hLibModule)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  hLibModule->thread_calls = false;
  return TRUE;
}
