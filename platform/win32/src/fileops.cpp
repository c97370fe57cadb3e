// Operations on files by name: delete, move, copy, directories, temporary names.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <vector>

#include "paths.h"

namespace w32c {
namespace {

bool StatOf(const std::string& posix, struct stat* st) {
  if (lstat(posix.c_str(), st) != 0) {
    SetErrorFromErrno(posix);
    return false;
  }
  return true;
}

ShareKey KeyOf(const struct stat& st) { return ShareKey{st.st_dev, st.st_ino}; }

// Holds an opening in the share table for the length of an operation.
class ShareHold {
 public:
  ShareHold(const ShareKey& key, DWORD access, DWORD share)
      : key_(key), access_(access), share_(share), held_(ShareAcquire(key, access, share)) {}
  ~ShareHold() {
    if (held_) ShareRelease(key_, access_, share_);
  }
  bool held() const { return held_; }

 private:
  ShareKey key_;
  DWORD access_, share_;
  bool held_;
};

// Whether `bytes` more fit the capacity of the drive holding `posix` (if it has one),
// leaving out `freed` bytes that the operation replaces.
bool FitsDrive(const std::string& posix, unsigned long long bytes, unsigned long long freed) {
  Drive d = DriveOfPosix(posix);
  if (!d.letter || !d.capacity) return true;
  unsigned long long used = UsedBytes(d.directory);
  used = used > freed ? used - freed : 0;
  if (used > d.capacity || bytes > d.capacity - used) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

// Copies the contents, permissions, DOS attributes and times of src into a new or
// truncated dst.  On failure dst is removed and the last error set.
bool CopyData(const std::string& src, const struct stat& src_st, const std::string& dst,
              bool exclusive) {
  int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetErrorFromErrno(src);
    return false;
  }
  int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC),
                 0600);
  if (out < 0) {
    SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno, dst));
    close(in);
    return false;
  }
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetErrorFromErrno();
      ok = false;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        SetLastError(w == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno));
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (ok) {
    char attr[256];
    ssize_t a = getxattr(src.c_str(), "user.DOSATTRIB", attr, sizeof attr);
    if (a > 0) fsetxattr(out, "user.DOSATTRIB", attr, static_cast<size_t>(a), 0);
    struct timespec times[2] = {src_st.st_atim, src_st.st_mtim};
    futimens(out, times);
    if (fchmod(out, src_st.st_mode & 07777) != 0) {
      SetErrorFromErrno(dst);
      ok = false;
    }
  }
  if (close(out) != 0 && ok) {
    SetErrorFromErrno(dst);
    ok = false;
  }
  close(in);
  if (!ok) unlink(dst.c_str());
  return ok;
}

// Checks that an existing dst may be replaced; false with the last error set.
bool MayReplace(const struct stat& dst_st) {
  if (S_ISDIR(dst_st.st_mode) || IsReadOnly(dst_st)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (!ShareAllowsDelete(KeyOf(dst_st))) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return false;
  }
  return true;
}

bool RenameNoReplace(const std::string& src, const std::string& dst) {
  if (renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without the flag: the target was checked to be absent just before.
  struct stat st;
  if (lstat(dst.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return rename(src.c_str(), dst.c_str()) == 0;
}

std::atomic<unsigned> g_temp_counter{0};

}  // namespace
}  // namespace w32c

using namespace w32c;

BOOL DeleteFileA(LPCSTR lpFileName) {
  std::string posix;
  struct stat st;
  if (!ToPosix(lpFileName, &posix) || !StatOf(posix, &st)) return FALSE;
  if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && IsReadOnly(st))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!ShareAllowsDelete(KeyOf(st))) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (unlink(posix.c_str()) != 0) {
    SetErrorFromErrno(posix);
    return FALSE;
  }
  return TRUE;
}

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  if (!lpNewFileName ||
      (dwFlags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH))) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // delayed moves, hard links, tracking
    return FALSE;
  }
  std::string src, dst;
  struct stat src_st, dst_st;
  if (!ToPosix(lpExistingFileName, &src) || !ToPosix(lpNewFileName, &dst) ||
      !StatOf(src, &src_st))
    return FALSE;
  if (!ShareAllowsDelete(KeyOf(src_st))) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  bool replace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
  bool dst_exists = lstat(dst.c_str(), &dst_st) == 0;
  unsigned long long freed = 0;
  if (dst_exists) {
    if (src == dst) return TRUE;
    if (!replace) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (S_ISDIR(src_st.st_mode) || !MayReplace(dst_st)) {
      if (S_ISDIR(src_st.st_mode)) SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    freed = static_cast<unsigned long long>(dst_st.st_size);
  }
  Drive from = DriveOfPosix(src), to = DriveOfPosix(dst);
  if (from.letter != to.letter && S_ISREG(src_st.st_mode) &&
      !FitsDrive(dst, static_cast<unsigned long long>(src_st.st_size), freed))
    return FALSE;
  bool moved = replace ? rename(src.c_str(), dst.c_str()) == 0 : RenameNoReplace(src, dst);
  if (moved) return TRUE;
  if (errno == EEXIST) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (errno != EXDEV) {
    SetErrorFromErrno(dst);
    return FALSE;
  }
  if (!(dwFlags & MOVEFILE_COPY_ALLOWED) || !S_ISREG(src_st.st_mode)) {
    SetLastError(ERROR_NOT_SAME_DEVICE);
    return FALSE;
  }
  // Across file systems: copy beside the target, rename over it, then drop the source, so
  // that the target is either the old file or the complete new one.
  std::string temp;
  for (int attempt = 0;; ++attempt) {
    temp = dst + ".w32c" + std::to_string(getpid()) + "_" +
           std::to_string(g_temp_counter.fetch_add(1));
    if (CopyData(src, src_st, temp, true)) break;
    if (GetLastError() != ERROR_FILE_EXISTS || attempt > 100) return FALSE;
  }
  if (dwFlags & MOVEFILE_WRITE_THROUGH) {
    int fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  if (!(replace ? rename(temp.c_str(), dst.c_str()) == 0 : RenameNoReplace(temp, dst))) {
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno, dst));
    unlink(temp.c_str());
    return FALSE;
  }
  unlink(src.c_str());  // as on Windows, a source that cannot go stays, and the move succeeds
  return TRUE;
}

BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  return MoveFileExA(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  std::string src, dst;
  struct stat src_st, dst_st;
  if (!ToPosix(lpExistingFileName, &src) || !ToPosix(lpNewFileName, &dst)) return FALSE;
  if (stat(src.c_str(), &src_st) != 0) {
    SetErrorFromErrno(src);
    return FALSE;
  }
  if (S_ISDIR(src_st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  ShareHold reading(KeyOf(src_st), FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!reading.held()) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  bool dst_exists = stat(dst.c_str(), &dst_st) == 0;
  unsigned long long freed = 0;
  if (dst_exists) {
    if (bFailIfExists) {
      SetLastError(ERROR_FILE_EXISTS);
      return FALSE;
    }
    if (KeyOf(dst_st) == KeyOf(src_st)) {  // copying a file onto itself would empty it
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
    if (S_ISDIR(dst_st.st_mode) || IsReadOnly(dst_st)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    freed = static_cast<unsigned long long>(dst_st.st_size);
  }
  std::unique_ptr<ShareHold> writing;
  if (dst_exists) {
    writing = std::make_unique<ShareHold>(KeyOf(dst_st), FILE_SHARE_WRITE, 0);
    if (!writing->held()) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  if (!FitsDrive(dst, static_cast<unsigned long long>(src_st.st_size), freed)) return FALSE;
  return CopyData(src, src_st, dst, bFailIfExists != FALSE) ? TRUE : FALSE;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  std::string posix;
  if (!ToPosix(lpPathName, &posix)) return FALSE;
  if (mkdir(posix.c_str(), 0777) != 0) {
    SetErrorFromErrno(posix);
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) {
  std::string posix;
  struct stat st;
  if (!ToPosix(lpPathName, &posix) || !StatOf(posix, &st)) return FALSE;
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (rmdir(posix.c_str()) != 0) {
    SetLastError(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno, posix));
    return FALSE;
  }
  return TRUE;
}

UINT GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                      LPSTR lpTempFileName) {
  if (!lpPathName || !lpTempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (strlen(lpPathName) > MAX_PATH - 14) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  std::string dir;
  if (!ToPosix(lpPathName, &dir)) return 0;
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }
  std::string base = lpPathName;
  if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
  base.append(lpPrefixString ? lpPrefixString : "", 0,
              lpPrefixString ? strnlen(lpPrefixString, 3) : 0);
  auto name_for = [&](unsigned number) {
    char hex[8];
    snprintf(hex, sizeof hex, "%X", number & 0xFFFFu);
    return base + hex + ".TMP";
  };
  if (uUnique) {
    std::string name = name_for(uUnique);
    memcpy(lpTempFileName, name.c_str(), name.size() + 1);
    return uUnique;
  }
  // Start from the clock, as Windows does, spread by a counter so that calls within one
  // tick do not all probe the same names.
  unsigned number = (GetTickCount() + g_temp_counter.fetch_add(1) * 7919u) & 0xFFFFu;
  for (unsigned tries = 0; tries < 0xFFFFu; ++tries, number = (number + 1) & 0xFFFFu) {
    if (number == 0) number = 1;
    std::string name = name_for(number);
    std::string posix;
    if (!ToPosix(name.c_str(), &posix)) return 0;
    int fd = open(posix.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      SetErrorFromErrno(posix);
      return 0;
    }
    close(fd);
    memcpy(lpTempFileName, name.c_str(), name.size() + 1);
    return number;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}
