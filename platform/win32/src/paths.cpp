// Windows paths <-> POSIX paths, the current directory and the full-path functions.
#include "paths.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include <win32compat/drives.h>

namespace w32c {
namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Appends the parts of text to parts, resolving "." and ".." on the text; ".." at the top
// stays at the top, as at a drive's root.
void AddParts(const std::string& text, std::vector<std::string>* parts) {
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsSep(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsSep(text[i])) ++i;
    if (i == start) break;
    std::string part = text.substr(start, i - start);
    if (part == ".") continue;
    if (part == "..") {
      if (!parts->empty()) parts->pop_back();
      continue;
    }
    parts->push_back(std::move(part));
  }
}

std::string Join(const std::vector<std::string>& parts, char sep) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += sep;
    out += parts[i];
  }
  return out;
}

std::string CurrentPosixDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

std::string WinPath::Text() const {
  std::string out;
  if (drive) {
    out += drive;
    out += ':';
  }
  out += '\\';
  out += rest;
  return out;
}

WinPath ToWindows(const std::string& posix) {
  std::vector<std::string> parts;
  if (posix.empty() || posix[0] != '/') AddParts(CurrentPosixDirectory(), &parts);
  AddParts(posix, &parts);
  std::string absolute = "/" + Join(parts, '/');
  WinPath out;
  Drive d = DriveOfPosix(absolute);
  if (d.letter) {
    out.drive = d.letter;
    std::vector<std::string> inside;
    std::string tail = absolute.substr(d.directory == "/" ? 1 : d.directory.size());
    AddParts(tail, &inside);
    out.rest = Join(inside, '\\');
  } else {
    out.rest = Join(parts, '\\');
  }
  return out;
}

bool ParseWindowsPath(const char* path, WinPath* out) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::string s(path);
  if (s.size() >= 4 && IsSep(s[0]) && IsSep(s[1]) && s[2] == '?' && IsSep(s[3])) s.erase(0, 4);
  if (s.size() >= 2 && IsSep(s[0]) && IsSep(s[1])) {  // \\server\share: no network here
    SetLastError(ERROR_BAD_NETPATH);
    return false;
  }
  std::vector<std::string> parts;
  WinPath result;
  std::string tail;
  if (s.size() >= 2 && s[1] == ':') {
    if (!IsLetter(s[0])) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    result.drive = Upper(s[0]);
    tail = s.substr(2);
    if (tail.empty() || !IsSep(tail[0])) {
      // "X:name": relative to the current directory when it is on that drive.
      WinPath cwd = ToWindows(CurrentPosixDirectory());
      if (cwd.drive == result.drive) AddParts(cwd.rest, &parts);
    }
  } else if (IsSep(s[0])) {
    tail = s;  // a POSIX absolute path
  } else {
    WinPath cwd = ToWindows(CurrentPosixDirectory());
    result.drive = cwd.drive;
    AddParts(cwd.rest, &parts);
    tail = s;
  }
  if (tail.find(':') != std::string::npos) {  // streams and device names are not paths here
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  AddParts(tail, &parts);
  result.rest = Join(parts, '\\');
  if (!result.drive) result = ToWindows("/" + Join(parts, '/'));
  *out = std::move(result);
  return true;
}

bool ToPosix(const WinPath& path, std::string* out) {
  std::string rest = path.rest;
  for (char& c : rest)
    if (c == '\\') c = '/';
  if (!path.drive) {
    *out = "/" + rest;
    return true;
  }
  Drive d = GetDrive(path.drive);
  if (!d.mapped) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  struct stat st;
  if (d.removable && (stat(d.directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  if (d.directory == "/")
    *out = "/" + rest;
  else
    *out = rest.empty() ? d.directory : d.directory + "/" + rest;
  return true;
}

bool ToPosix(const char* path, std::string* out) {
  WinPath w;
  return ParseWindowsPath(path, &w) && ToPosix(w, out);
}

DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
  if (text.size() >= size || !buffer) return static_cast<DWORD>(text.size() + 1);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

DWORD ErrorFromErrno(int error, const std::string& posix_path) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: {
      if (posix_path.empty()) return ERROR_FILE_NOT_FOUND;
      size_t slash = posix_path.find_last_of('/');
      std::string parent = slash == std::string::npos ? "." : posix_path.substr(0, slash);
      if (parent.empty()) parent = "/";
      struct stat st;
      return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                   : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY: return ERROR_BUSY;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EIO: return ERROR_GEN_FAILURE;
    default: return ERROR_GEN_FAILURE;
  }
}

void SetErrorFromErrno(const std::string& posix_path) {
  SetLastError(ErrorFromErrno(errno, posix_path));
}

}  // namespace w32c

using namespace w32c;

DWORD Win32CompatToPosixPath(const char* windows_path, char* out, DWORD size) {
  std::string posix;
  if (!ToPosix(windows_path, &posix)) return 0;
  return CopyOut(posix, out, size);
}

DWORD Win32CompatToWindowsPath(const char* posix_path, char* out, DWORD size) {
  if (!posix_path || !*posix_path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return CopyOut(ToWindows(posix_path).Text(), out, size);
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  return CopyOut(ToWindows(CurrentPosixDirectory()).Text(), lpBuffer, nBufferLength);
}

BOOL SetCurrentDirectoryA(LPCSTR lpPathName) {
  std::string posix;
  if (!ToPosix(lpPathName, &posix)) return FALSE;
  if (chdir(posix.c_str()) != 0) {
    SetLastError(errno == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrno(errno, posix));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                       LPSTR* lpFilePart) {
  WinPath w;
  if (!ParseWindowsPath(lpFileName, &w)) return 0;
  std::string text = w.Text();
  size_t len = strlen(lpFileName);
  bool trailing = len > 0 && IsSep(lpFileName[len - 1]) && !w.rest.empty();
  if (trailing) text += '\\';
  DWORD n = CopyOut(text, lpBuffer, nBufferLength);
  if (lpFilePart && n < nBufferLength) {
    size_t last = text.find_last_of('\\');
    *lpFilePart = (trailing || w.rest.empty()) ? nullptr : lpBuffer + last + 1;
  }
  return n;
}

DWORD GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
  if (!lpszLongPath) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string posix;
  if (!ToPosix(lpszLongPath, &posix)) return 0;
  struct stat st;
  if (stat(posix.c_str(), &st) != 0) {
    SetErrorFromErrno(posix);
    return 0;
  }
  return CopyOut(lpszLongPath, lpszShortPath, cchBuffer);
}

DWORD GetLongPathNameA(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer) {
  return GetShortPathNameA(lpszShortPath, lpszLongPath, cchBuffer);
}

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  const char* tmp = getenv("TMPDIR");
  std::string text = ToWindows(tmp && *tmp ? tmp : "/tmp").Text();
  if (text.back() != '\\') text += '\\';
  return CopyOut(text, lpBuffer, nBufferLength);
}
