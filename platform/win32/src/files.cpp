// File handles: CreateFileA with the sharing rules between this process's handles, reads,
// writes, the file pointer, sizes and times.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <unordered_map>
#include <vector>

#include "handles.h"
#include "paths.h"

namespace w32c {
namespace {

// Access bits in the FILE_SHARE_* positions, so that access and share modes compare.
constexpr DWORD kRead = FILE_SHARE_READ, kWrite = FILE_SHARE_WRITE, kDelete = FILE_SHARE_DELETE;

struct Opening {
  DWORD access;
  DWORD share;
};

struct KeyHash {
  size_t operator()(const ShareKey& k) const {
    return std::hash<unsigned long long>()(static_cast<unsigned long long>(k.ino) * 31 +
                                           static_cast<unsigned long long>(k.dev));
  }
};

struct ShareTable {
  std::mutex lock;
  std::unordered_map<ShareKey, std::vector<Opening>, KeyHash> files;
};

ShareTable& Shares() {
  static ShareTable* table = new ShareTable;  // handles may be closed during exit
  return *table;
}

bool Conflicts(const Opening& a, const Opening& b) {
  return (a.access & ~b.share) != 0 || (b.access & ~a.share) != 0;
}

struct FileObject : KernelObject {
  int fd = -1;
  std::string path;
  ShareKey key{};
  Opening opening{};
  DWORD rights = 0;  // the desired access as given
  char drive = 0;    // a removable drive whose capacity writes must respect
  bool delete_on_close = false;
  bool registered = false;  // in the share table
  std::mutex lock;

  ~FileObject() override {
    if (registered) ShareRelease(key, opening.access, opening.share);
    if (delete_on_close) unlink(path.c_str());
    close(fd);
  }
  bool CanRead() const { return opening.access & kRead; }
  bool CanWrite() const { return opening.access & kWrite; }
};

std::shared_ptr<FileObject> FileOf(HANDLE h) {
  auto f = LookupHandleAs<FileObject>(h);
  if (!f) SetLastError(ERROR_INVALID_HANDLE);
  return f;
}

// Whether growing the file by `growth` bytes still fits its drive's capacity.
bool FitsCapacity(const FileObject& f, unsigned long long growth) {
  if (!f.drive || growth == 0) return true;
  Drive d = GetDrive(f.drive);
  if (!d.capacity) return true;
  unsigned long long used = UsedBytes(d.directory);
  return used <= d.capacity && growth <= d.capacity - used;
}

bool Growth(const FileObject& f, unsigned long long end, unsigned long long* growth) {
  struct stat st;
  if (fstat(f.fd, &st) != 0) return false;
  unsigned long long size = static_cast<unsigned long long>(st.st_size);
  *growth = end > size ? end - size : 0;
  return true;
}

int OpenFlags(DWORD access, bool write_through) {
  int flags = O_CLOEXEC | O_NOCTTY;
  if ((access & kRead) && (access & kWrite))
    flags |= O_RDWR;
  else if (access & kWrite)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  if (write_through) flags |= O_DSYNC;
  return flags;
}

}  // namespace

bool ShareAcquire(const ShareKey& key, DWORD access, DWORD share) {
  ShareTable& t = Shares();
  std::lock_guard<std::mutex> guard(t.lock);
  Opening mine{access, share};
  auto& list = t.files[key];
  for (const Opening& o : list)
    if (Conflicts(mine, o)) {
      if (list.empty()) t.files.erase(key);
      return false;
    }
  list.push_back(mine);
  return true;
}

void ShareRelease(const ShareKey& key, DWORD access, DWORD share) {
  ShareTable& t = Shares();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.files.find(key);
  if (it == t.files.end()) return;
  auto& list = it->second;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].access == access && list[i].share == share) {
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  if (list.empty()) t.files.erase(it);
}

bool ShareAllowsDelete(const ShareKey& key) {
  ShareTable& t = Shares();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.files.find(key);
  if (it == t.files.end()) return true;
  for (const Opening& o : it->second)
    if (!(o.share & FILE_SHARE_DELETE)) return false;
  return true;
}

bool ShareIsOpen(const ShareKey& key) {
  ShareTable& t = Shares();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.files.count(key) != 0;
}

}  // namespace w32c

using namespace w32c;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  constexpr DWORD kUnsupported = FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING |
                                 FILE_FLAG_BACKUP_SEMANTICS | 0x01000000u /*POSIX_SEMANTICS*/ |
                                 0x00200000u /*OPEN_REPARSE_POINT*/ |
                                 0x00100000u /*OPEN_NO_RECALL*/;
  if (hTemplateFile || (dwFlagsAndAttributes & kUnsupported)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return INVALID_HANDLE_VALUE;
  }
  if (!lpFileName || dwCreationDisposition < CREATE_NEW ||
      dwCreationDisposition > TRUNCATE_EXISTING || (dwShareMode & ~7u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  DWORD access = 0;
  if (dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) access |= kRead;
  if (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA))
    access |= kWrite;
  if (dwDesiredAccess & (DELETE | GENERIC_ALL)) access |= kDelete;
  if (dwCreationDisposition == TRUNCATE_EXISTING && !(access & kWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string posix;
  if (!ToPosix(lpFileName, &posix)) return INVALID_HANDLE_VALUE;

  DWORD attributes = dwFlagsAndAttributes & 0xFFFFu;
  bool truncating = dwCreationDisposition == CREATE_ALWAYS ||
                  dwCreationDisposition == TRUNCATE_EXISTING;
  int flags = OpenFlags(access, dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH);
  mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  bool may_create = dwCreationDisposition == CREATE_NEW ||
                    dwCreationDisposition == CREATE_ALWAYS ||
                    dwCreationDisposition == OPEN_ALWAYS;
  int fd = -1;
  bool created = false;
  if (may_create) {
    fd = open(posix.c_str(), flags | O_CREAT | O_EXCL, mode);
    created = fd >= 0;
    if (fd < 0 && (errno != EEXIST || dwCreationDisposition == CREATE_NEW)) {
      SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno, posix));
      return INVALID_HANDLE_VALUE;
    }
  }
  if (fd < 0) {
    // An existing file: Windows refuses directories and, for writing or truncating,
    // read-only files (checked here because the kernel lets root write them).
    struct stat st;
    if (stat(posix.c_str(), &st) != 0) {
      SetErrorFromErrno(posix);
      return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(st.st_mode) || ((access & kWrite || truncating) && IsReadOnly(st))) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    fd = open(posix.c_str(), flags);
    if (fd < 0 && access == 0 && errno == EACCES) fd = open(posix.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
      SetErrorFromErrno(posix);
      return INVALID_HANDLE_VALUE;
    }
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<FileObject>();
  file->fd = fd;
  file->path = posix;
  file->key = ShareKey{st.st_dev, st.st_ino};
  file->opening = Opening{access, dwShareMode};
  file->rights = dwDesiredAccess;
  file->delete_on_close = (dwFlagsAndAttributes & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  Drive d = DriveOfPosix(posix);
  if (d.removable) file->drive = d.letter;
  // As on Windows, an opening without read, write or delete access (attributes only)
  // neither meets nor counts against share modes.
  if (access && !ShareAcquire(file->key, access, dwShareMode)) {
    file->delete_on_close = false;
    if (created) unlink(posix.c_str());
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  file->registered = access != 0;
  if (!created && truncating) {
    int r = (access & kWrite) ? ftruncate(fd, 0) : truncate(posix.c_str(), 0);
    if (r != 0) {
      SetErrorFromErrno(posix);
      return INVALID_HANDLE_VALUE;  // the object closes the descriptor
    }
  }
  if (created || dwCreationDisposition == CREATE_ALWAYS) {
    DWORD dos = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (dos) StoreDosAttributes(posix, dos | FILE_ATTRIBUTE_ARCHIVE);
    if (!created && (attributes & FILE_ATTRIBUTE_READONLY)) fchmod(fd, st.st_mode & 0555);
  }
  SetLastError(!created && (dwCreationDisposition == CREATE_ALWAYS ||
                            dwCreationDisposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return NewHandle(file);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (lpOverlapped) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!f->CanRead()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lpBuffer && nNumberOfBytesToRead) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(f->lock);
  DWORD done = 0;
  while (done < nNumberOfBytesToRead) {
    ssize_t n = read(f->fd, static_cast<char*>(lpBuffer) + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
      SetErrorFromErrno();
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (lpOverlapped) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  if (!f->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lpBuffer && nNumberOfBytesToWrite) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(f->lock);
  if (f->drive) {
    off_t pos = lseek(f->fd, 0, SEEK_CUR);
    unsigned long long growth = 0;
    if (pos >= 0 && Growth(*f, static_cast<unsigned long long>(pos) + nNumberOfBytesToWrite,
                           &growth) &&
        !FitsCapacity(*f, growth)) {
      SetLastError(ERROR_DISK_FULL);
      return FALSE;
    }
  }
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = write(f->fd, static_cast<const char*>(lpBuffer) + done,
                      nNumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      SetLastError(n == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno));
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

namespace {

// Moves the pointer of f; false with the last error set.
bool Seek(FileObject& f, LONGLONG distance, DWORD method, LONGLONG limit, LONGLONG* result) {
  LONGLONG base;
  std::lock_guard<std::mutex> guard(f.lock);
  switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = lseek(f.fd, 0, SEEK_CUR); break;
    case FILE_END: {
      struct stat st;
      base = fstat(f.fd, &st) == 0 ? st.st_size : -1;
      break;
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return false;
  }
  if (base < 0) {
    SetErrorFromErrno();
    return false;
  }
  if ((distance > 0 && base > INT64_MAX - distance)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  LONGLONG target = base + distance;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  if (target > limit) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (lseek(f.fd, target, SEEK_SET) < 0) {
    SetErrorFromErrno();
    return false;
  }
  *result = target;
  return true;
}

}  // namespace

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
  auto f = FileOf(hFile);
  if (!f) return INVALID_SET_FILE_POINTER;
  // With a high part the distance is a signed 64-bit number; without, a signed 32-bit one
  // and the result must fit in 32 bits.
  LONGLONG distance = lpDistanceToMoveHigh
                          ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(
                                                       *lpDistanceToMoveHigh))
                                                   << 32) |
                                                  static_cast<DWORD>(lDistanceToMove))
                          : lDistanceToMove;
  LONGLONG result;
  if (!Seek(*f, distance, dwMoveMethod, lpDistanceToMoveHigh ? INT64_MAX : 0xFFFFFFFFll,
            &result))
    return INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(result >> 32);
  if (static_cast<DWORD>(result) == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return static_cast<DWORD>(result);
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                      PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  LONGLONG result;
  if (!Seek(*f, liDistanceToMove.QuadPart, dwMoveMethod, INT64_MAX, &result)) return FALSE;
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = result;
  return TRUE;
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  struct stat st;
  if (!lpFileSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (fstat(f->fd, &st) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  lpFileSize->QuadPart = st.st_size;
  return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(hFile, &size)) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size.QuadPart >> 32);
  if (size.LowPart == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return size.LowPart;
}

BOOL SetEndOfFile(HANDLE hFile) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (!f->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(f->lock);
  off_t pos = lseek(f->fd, 0, SEEK_CUR);
  unsigned long long growth = 0;
  if (pos < 0 || !Growth(*f, static_cast<unsigned long long>(pos), &growth)) {
    SetErrorFromErrno();
    return FALSE;
  }
  if (!FitsCapacity(*f, growth)) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  if (ftruncate(f->fd, pos) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (!f->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fsync(f->fd) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileType(HANDLE hFile) {
  if (!FileOf(hFile)) return FILE_TYPE_UNKNOWN;
  return FILE_TYPE_DISK;
}

BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                 LPFILETIME lpLastWriteTime) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  struct stat st;
  if (fstat(f->fd, &st) != 0) {
    SetErrorFromErrno();
    return FALSE;
  }
  FileTimesOf(f->fd, f->path, st, lpCreationTime, lpLastAccessTime, lpLastWriteTime);
  return TRUE;
}

BOOL SetFileTime(HANDLE hFile, const FILETIME*, const FILETIME* lpLastAccessTime,
                 const FILETIME* lpLastWriteTime) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (!(f->CanWrite() || (f->rights & FILE_WRITE_ATTRIBUTES))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // NULL, zero and all-ones leave a time as it is.
  auto convert = [](const FILETIME* ft) {
    struct timespec ts;
    bool keep = !ft || (ft->dwLowDateTime == 0 && ft->dwHighDateTime == 0) ||
                (ft->dwLowDateTime == 0xFFFFFFFFu && ft->dwHighDateTime == 0xFFFFFFFFu);
    if (keep) {
      ts.tv_sec = 0;
      ts.tv_nsec = UTIME_OMIT;
    } else {
      ts = TimespecFromFileTime(*ft);
    }
    return ts;
  };
  struct timespec times[2] = {convert(lpLastAccessTime), convert(lpLastWriteTime)};
  int r = futimens(f->fd, times);
  if (r != 0 && errno == EBADF) r = utimensat(AT_FDCWD, f->path.c_str(), times, 0);
  if (r != 0) {
    SetErrorFromErrno(f->path);
    return FALSE;
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
  if (!RemoveHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
