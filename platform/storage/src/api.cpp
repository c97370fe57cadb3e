// StgOpenStorage, StgCreateDocfile, StgIsStorageFile and the task memory functions.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <storage/objbase.h>

#include "format.h"
#include "internal.h"
#include "objects.h"

extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IEnumSTATSTG = {0x0000000D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE,
                                   {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const CLSID CLSID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
}

namespace cfb {

std::string PosixPath(const WCHAR* name) {
  std::u16string w(name);
  for (auto& c : w)
    if (c == u'\\') c = u'/';
  if (w.size() >= 2 && (w[0] == u'C' || w[0] == u'c') && w[1] == u':') w.erase(0, 2);
  return Utf16ToUtf8(w);
}

namespace {

HRESULT FromErrno(int e) {
  switch (e) {
    case ENOENT: return STG_E_FILENOTFOUND;
    case ENOTDIR: return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return STG_E_ACCESSDENIED;
    case EROFS: return STG_E_DISKISWRITEPROTECTED;
    case EEXIST: return STG_E_FILEALREADYEXISTS;
    case EMFILE:
    case ENFILE: return STG_E_TOOMANYOPENFILES;
    case ENOSPC: return STG_E_MEDIUMFULL;
    case ENOMEM: return STG_E_INSUFFICIENTMEMORY;
    case ENAMETOOLONG: return STG_E_INVALIDNAME;
    default: return STG_E_UNKNOWN;
  }
}

// The lock that stands for the sharing mode: writers and share-exclusive (or deny-read)
// opens exclude everybody, other readers only exclude writers.
bool LockFor(DWORD mode, bool writable) {
  DWORD share = mode & 0x70;
  return writable || share == STGM_SHARE_EXCLUSIVE || share == STGM_SHARE_DENY_READ;
}

// A missing file in a missing folder is a missing path.
HRESULT OpenError(const std::string& path) {
  int e = errno;
  if (e == ENOENT) {
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return STG_E_PATHNOTFOUND;
  }
  return FromErrno(e);
}

bool IsRegular(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

HRESULT OpenStorageOnMemory(std::vector<uint8_t> bytes, IStorage** out) {
  if (!out) return STG_E_INVALIDPOINTER;
  *out = nullptr;
  auto doc = std::make_shared<Document>();
  HRESULT hr = doc->Load(std::make_unique<MemorySource>(std::move(bytes)));
  if (FAILED(hr)) return hr;
  *out = NewRootStorage(doc, STGM_READ | STGM_SHARE_EXCLUSIVE);
  return S_OK;
}

}  // namespace cfb

using namespace cfb;

W32C_API HRESULT StgOpenStorage(const WCHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                SNB snbExclude, DWORD reserved, IStorage** ppstgOpen) {
  if (!ppstgOpen) return STG_E_INVALIDPOINTER;
  *ppstgOpen = nullptr;
  if (!pwcsName || !*pwcsName) return STG_E_INVALIDNAME;
  if (pstgPriority || snbExclude || reserved) return STG_E_INVALIDPARAMETER;
  DWORD access = grfMode & 3;
  if (access == 3 || (grfMode & (STGM_CREATE | STGM_CONVERT | STGM_DELETEONRELEASE)))
    return STG_E_INVALIDFLAG;
  bool writable = access != STGM_READ;
  std::string path = PosixPath(pwcsName);

  int fd = open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return OpenError(path);
  if (!IsRegular(fd)) {
    close(fd);
    return STG_E_ACCESSDENIED;
  }
  if (!io::Lock(fd, LockFor(grfMode, writable))) {
    close(fd);
    return STG_E_SHAREVIOLATION;
  }
  auto doc = std::make_shared<Document>();
  HRESULT hr = doc->Load(std::make_unique<FileSource>(fd));  // owns fd from here
  if (FAILED(hr)) return hr;
  doc->path = path;
  doc->writable = writable;
  doc->lock_fd = fd;
  *ppstgOpen = NewRootStorage(doc, grfMode);
  return S_OK;
}

W32C_API HRESULT StgCreateDocfile(const WCHAR* pwcsName, DWORD grfMode, DWORD reserved,
                                  IStorage** ppstgOpen) {
  if (!ppstgOpen) return STG_E_INVALIDPOINTER;
  *ppstgOpen = nullptr;
  if (reserved) return STG_E_INVALIDPARAMETER;
  DWORD access = grfMode & 3;
  if (access == 3 || access == STGM_READ || (grfMode & STGM_CONVERT)) return STG_E_INVALIDFLAG;

  std::string path;
  bool created = false;
  bool temporary = pwcsName == nullptr;
  int fd;
  if (temporary) {
    // No name: a scratch file that goes away with the root.
    const char* dir = getenv("TMPDIR");
    path = std::string(dir && *dir ? dir : "/tmp") + "/cfbXXXXXX";
    fd = mkstemp(path.data());
    if (fd < 0) return FromErrno(errno);
    created = true;
  } else {
    if (!*pwcsName) return STG_E_INVALIDNAME;
    path = PosixPath(pwcsName);
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      created = true;
    } else if (errno == EEXIST) {
      if (!(grfMode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
      fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0) return FromErrno(errno);
      if (!IsRegular(fd)) {
        close(fd);
        return STG_E_ACCESSDENIED;
      }
    } else {
      return OpenError(path);
    }
  }
  // Replacing a file somebody has open is a sharing violation, as opening it would be.
  if (!io::Lock(fd, true)) {
    close(fd);
    return STG_E_SHAREVIOLATION;
  }
  auto doc = std::make_shared<Document>();
  doc->InitEmpty();
  doc->AdoptSource(std::make_unique<FileSource>(fd));
  doc->path = path;
  doc->writable = true;
  doc->dirty = true;
  doc->lock_fd = fd;
  doc->delete_on_close = temporary || (grfMode & STGM_DELETEONRELEASE);
  // The file exists as an empty compound file from the start.
  HRESULT hr = doc->Commit();
  if (FAILED(hr)) {
    if (created) unlink(path.c_str());
    doc->Close();
    return hr;
  }
  *ppstgOpen = NewRootStorage(doc, grfMode);
  return S_OK;
}

W32C_API HRESULT StgIsStorageFile(const WCHAR* pwcsName) {
  if (!pwcsName || !*pwcsName) return STG_E_INVALIDNAME;
  std::string path = PosixPath(pwcsName);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno);
  uint8_t sig[8];
  ssize_t n = pread(fd, sig, sizeof sig, 0);
  close(fd);
  return n == ssize_t(sizeof sig) && std::memcmp(sig, kSignature, sizeof sig) == 0 ? S_OK
                                                                                  : S_FALSE;
}

W32C_API void* CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }
W32C_API void CoTaskMemFree(void* pv) { std::free(pv); }
