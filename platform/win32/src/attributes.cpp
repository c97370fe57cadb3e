// File attributes: read-only from the permissions, hidden from the name, hidden, system
// and archive kept in the Samba extended attribute user.DOSATTRIB when there is one.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/xattr.h>

#include "paths.h"

namespace w32c {
namespace {

const char kDosAttrib[] = "user.DOSATTRIB";
constexpr DWORD kStored = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

bool NameIsHidden(const std::string& posix_path) {
  size_t slash = posix_path.find_last_of('/');
  std::string name = slash == std::string::npos ? posix_path : posix_path.substr(slash + 1);
  return name.size() > 1 && name[0] == '.' && name != "..";
}

// Samba writes the attributes either as text ("0x20") or, newer versions, as a binary
// record whose first 16-bit word is the version; versions 1 to 5 have the attribute word
// at offset 4.  False when there is no usable value.
bool ReadDosAttributes(const std::string& posix_path, DWORD* attributes) {
  unsigned char value[256];
  ssize_t n = getxattr(posix_path.c_str(), kDosAttrib, value, sizeof value - 1);
  if (n <= 0) return false;
  value[n] = 0;
  if (n >= 3 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    char* end = nullptr;
    unsigned long v = strtoul(reinterpret_cast<char*>(value) + 2, &end, 16);
    if (end == reinterpret_cast<char*>(value) + 2) return false;
    *attributes = static_cast<DWORD>(v) & kStored;
    return true;
  }
  if (n >= 8) {
    unsigned version = value[0] | (value[1] << 8);
    if (version >= 1 && version <= 5) {
      *attributes = static_cast<DWORD>(value[4] | (value[5] << 8) | (value[6] << 16) |
                                       (static_cast<DWORD>(value[7]) << 24)) & kStored;
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

DWORD AttributesOf(const std::string& posix_path, const struct stat& st) {
  DWORD a = 0;
  bool directory = S_ISDIR(st.st_mode);
  if (directory) a |= FILE_ATTRIBUTE_DIRECTORY;
  if (IsReadOnly(st)) a |= FILE_ATTRIBUTE_READONLY;
  if (NameIsHidden(posix_path)) a |= FILE_ATTRIBUTE_HIDDEN;
  DWORD stored;
  if (ReadDosAttributes(posix_path, &stored)) {
    a |= stored & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  } else if (!directory) {
    a |= FILE_ATTRIBUTE_ARCHIVE;
  }
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

bool StoreDosAttributes(const std::string& posix_path, DWORD attributes) {
  char text[16];
  int n = snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(attributes & kStored));
  return setxattr(posix_path.c_str(), kDosAttrib, text, static_cast<size_t>(n) + 1, 0) == 0;
}

}  // namespace w32c

using namespace w32c;

DWORD GetFileAttributesA(LPCSTR lpFileName) {
  std::string posix;
  if (!ToPosix(lpFileName, &posix)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(posix.c_str(), &st) != 0) {
    SetErrorFromErrno(posix);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(posix, st);
}

BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  // Attributes Windows lets a caller set; DIRECTORY and the hints are ignored as there.
  constexpr DWORD kIgnored = FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY |
                             FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (dwFileAttributes & ~(kStored | kIgnored)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  std::string posix;
  if (!ToPosix(lpFileName, &posix)) return FALSE;
  struct stat st;
  if (stat(posix.c_str(), &st) != 0) {
    SetErrorFromErrno(posix);
    return FALSE;
  }
  bool name_hidden = NameIsHidden(posix);
  bool want_hidden = (dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
  bool want_system = (dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
  mode_t mode = st.st_mode & 07777;
  mode_t wanted = (dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                      ? mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)
                      : (IsReadOnly(st) ? mode | S_IWUSR : mode);
  // A file must be writable while its extended attribute changes (unless one is root):
  // a read-only file is opened for the change and given its final permissions after.
  bool opened = IsReadOnly(st) && chmod(posix.c_str(), mode | S_IWUSR) == 0;
  if (!StoreDosAttributes(posix, dwFileAttributes)) {
    bool unsupported = errno == ENOTSUP || errno == EOPNOTSUPP;
    DWORD error = unsupported ? ERROR_CALL_NOT_IMPLEMENTED : ErrorFromErrno(errno, posix);
    // Without the attribute only what the name and permissions express can be set.
    if (!unsupported || (want_hidden && !name_hidden) || want_system) {
      if (opened) chmod(posix.c_str(), mode);
      SetLastError(error);
      return FALSE;
    }
  }
  if ((opened || wanted != mode) && chmod(posix.c_str(), wanted) != 0) {
    SetErrorFromErrno(posix);
    return FALSE;
  }
  return TRUE;
}
