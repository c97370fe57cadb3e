// FindFirstFileA / FindNextFileA / FindClose: a snapshot of the matching directory entries,
// matched with the Windows rules for "*", "?" and ".".
#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include <win32compat/drives.h>

#include "handles.h"
#include "paths.h"

namespace w32c {
namespace {

// Pattern elements after the Windows translation of a search pattern.
enum Kind : char {
  kLiteral,
  kStar,     // "*": any characters
  kDosStar,  // "*" before ".": any characters except the name's last dot
  kDosQm,    // "?": one character, or none at a dot or the end of the name
  kDosDot,   // "." before a wildcard or at the end: a dot, or nothing at the end
};

struct Element {
  Kind kind;
  char c;
};

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::vector<Element> Translate(const std::string& pattern) {
  std::vector<Element> out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    char next = i + 1 < pattern.size() ? pattern[i + 1] : 0;
    if (c == '*')
      out.push_back({next == '.' ? kDosStar : kStar, 0});
    else if (c == '?')
      out.push_back({kDosQm, 0});
    else if (c == '.' && (next == 0 || next == '*' || next == '?'))
      out.push_back({kDosDot, 0});
    else
      out.push_back({kLiteral, Fold(c)});
  }
  return out;
}

// Dynamic programming over (pattern suffix, name suffix): linear in their product.
bool Matches(const std::vector<Element>& p, const std::string& name) {
  size_t P = p.size(), N = name.size();
  size_t last_dot = name.find_last_of('.');
  std::vector<char> next(N + 1, 0), cur(N + 1, 0);
  next[N] = 1;  // empty pattern matches the empty rest of a name
  for (size_t pi = P; pi-- > 0;) {
    const Element& e = p[pi];
    for (size_t ni = N + 1; ni-- > 0;) {
      bool more = ni < N;
      bool m = false;
      switch (e.kind) {
        case kLiteral: m = more && Fold(name[ni]) == e.c && next[ni + 1]; break;
        case kStar: m = next[ni] || (more && cur[ni + 1]); break;
        case kDosStar: m = next[ni] || (more && ni != last_dot && cur[ni + 1]); break;
        case kDosQm: m = (more && name[ni] != '.') ? next[ni + 1] : next[ni]; break;
        case kDosDot: m = more ? (name[ni] == '.' && next[ni + 1]) : next[ni]; break;
      }
      cur[ni] = m;
    }
    std::swap(next, cur);
  }
  return next[0];
}

bool NameMatches(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  return Matches(Translate(pattern), name);
}

bool LessNoCase(const std::string& a, const std::string& b) {
  int c = strcasecmp(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

struct FindObject : KernelObject {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

bool Fill(const std::string& path, const std::string& name, WIN32_FIND_DATAA* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return false;
  if (name.size() >= sizeof out->cFileName) return false;
  memset(out, 0, sizeof *out);
  out->dwFileAttributes = AttributesOf(name == "." || name == ".." ? std::string(".") : path, st);
  FileTimesOf(-1, path, st, &out->ftCreationTime, &out->ftLastAccessTime,
              &out->ftLastWriteTime);
  if (!S_ISDIR(st.st_mode)) {
    unsigned long long size = static_cast<unsigned long long>(st.st_size);
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
  }
  memcpy(out->cFileName, name.c_str(), name.size() + 1);
  return true;
}

}  // namespace
}  // namespace w32c

using namespace w32c;

HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (!lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string text(lpFileName);
  if (text.empty() || text.back() == '\\' || text.back() == '/') {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  size_t sep = text.find_last_of("\\/");
  std::string dir, pattern;
  if (sep != std::string::npos) {
    dir = text.substr(0, sep + 1);
    pattern = text.substr(sep + 1);
  } else if (text.size() >= 2 && text[1] == ':') {
    dir = text.substr(0, 2);
    pattern = text.substr(2);
  } else {
    dir = ".";
    pattern = text;
  }
  if (dir.find_first_of("*?") != std::string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  WinPath where;
  std::string posix;
  if (!ParseWindowsPath(dir.c_str(), &where) || !ToPosix(where, &posix)) return INVALID_HANDLE_VALUE;
  DIR* d = opendir(posix.c_str());
  if (!d) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : ErrorFromErrno(errno, posix));
    return INVALID_HANDLE_VALUE;
  }
  // Drive roots have no "." and ".." entries; a removable drive's label file is not shown.
  bool root = where.rest.empty();
  Drive drive = DriveOfPosix(posix);
  bool hide_label = drive.letter && drive.removable && drive.directory == posix;
  std::vector<std::string> names;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (hide_label && name == WIN32COMPAT_LABEL_FILE) continue;
    if (NameMatches(pattern, name)) names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end(), LessNoCase);
  if (!root) {
    for (const char* dots : {"..", "."})
      if (NameMatches(pattern, dots)) names.insert(names.begin(), dots);
  }
  std::string prefix = posix == "/" ? "/" : posix + "/";
  auto search = std::make_shared<FindObject>();
  for (const std::string& name : names) {
    WIN32_FIND_DATAA data;
    std::string full = name == "." ? posix : name == ".." ? prefix + ".." : prefix + name;
    if (Fill(full, name, &data)) search->entries.push_back(data);
  }
  if (search->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = search->entries[0];
  search->next = 1;
  SetLastError(ERROR_SUCCESS);
  return NewHandle(search);
}

BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  auto search = LookupHandleAs<FindObject>(hFindFile);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (search->next >= search->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *lpFindFileData = search->entries[search->next++];
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (!LookupHandleAs<FindObject>(hFindFile) || !RemoveHandle(hFindFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
