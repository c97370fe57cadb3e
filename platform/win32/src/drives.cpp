// The drive table, volume labels of removable drives, drive types and free space.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include <win32compat/drives.h>

#include "paths.h"

namespace w32c {
namespace {

struct Entry {
  Drive drive;
  std::string real;  // the directory with links resolved, when it existed at mapping time
};

struct Table {
  std::mutex lock;
  Entry drives[26];
};

int IndexOf(char letter) {
  if (letter >= 'a' && letter <= 'z') return letter - 'a';
  if (letter >= 'A' && letter <= 'Z') return letter - 'A';
  return -1;
}

std::string Normalise(const std::string& dir) {
  std::string out;
  for (char c : dir) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

void Set(Entry* e, char letter, const std::string& directory, bool removable) {
  e->drive.letter = static_cast<char>('A' + IndexOf(letter));
  e->drive.mapped = true;
  e->drive.removable = removable;
  e->drive.directory = Normalise(directory);
  e->drive.capacity = 0;
  char resolved[PATH_MAX];
  e->real = realpath(e->drive.directory.c_str(), resolved) ? resolved : e->drive.directory;
}

// "A=/dir:removable;D=/data"
void ReadEnvironment(Table* t) {
  const char* env = getenv("WIN32COMPAT_DRIVES");
  if (!env) return;
  std::stringstream list(env);
  std::string item;
  while (std::getline(list, item, ';')) {
    if (item.size() < 3 || item[1] != '=' || IndexOf(item[0]) < 0 || item[2] != '/') continue;
    std::string dir = item.substr(2);
    bool removable = false;
    const std::string suffix = ":removable";
    if (dir.size() > suffix.size() && dir.compare(dir.size() - suffix.size(), suffix.size(),
                                                  suffix) == 0) {
      removable = true;
      dir.resize(dir.size() - suffix.size());
    }
    Set(&t->drives[IndexOf(item[0])], item[0], dir, removable);
  }
}

Table& TheTable() {
  static Table* table = [] {
    auto* t = new Table;
    Set(&t->drives[2], 'C', "/", false);
    ReadEnvironment(t);
    return t;
  }();
  return *table;
}

bool Within(const std::string& path, const std::string& dir) {
  if (dir == "/") return true;
  return path.compare(0, dir.size(), dir) == 0 &&
         (path.size() == dir.size() || path[dir.size()] == '/');
}

std::string LabelPath(const Drive& d) { return d.directory + "/" WIN32COMPAT_LABEL_FILE; }

DWORD Fnv1a(const std::string& text, DWORD h = 2166136261u) {
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

// Parses a root "X:\", "X:" or "\" (the current directory's drive); 0 when it is not one.
char RootLetter(LPCSTR root) {
  if (!root) return ToWindows(".").drive;
  std::string s(root);
  if (s == "\\" || s == "/") return ToWindows(".").drive;
  if (s.size() >= 2 && s[1] == ':' && IndexOf(s[0]) >= 0 &&
      (s.size() == 2 || (s.size() == 3 && (s[2] == '\\' || s[2] == '/'))))
    return static_cast<char>('A' + IndexOf(s[0]));
  return 0;
}

bool DirectoryExists(const std::string& dir) {
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The drive of a root argument, or false with the last error set.
bool DriveOfRoot(LPCSTR root, Drive* out) {
  char letter = RootLetter(root);
  if (!letter) {
    WinPath w;
    SetLastError(root && ParseWindowsPath(root, &w) ? ERROR_DIR_NOT_ROOT : ERROR_INVALID_NAME);
    return false;
  }
  *out = GetDrive(letter);
  if (!out->mapped) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (!DirectoryExists(out->directory)) {
    SetLastError(out->removable ? ERROR_NOT_READY : ERROR_PATH_NOT_FOUND);
    return false;
  }
  return true;
}

bool ValidLabel(const std::string& label) {
  for (unsigned char c : label)
    if (c < 0x20 || strchr("*?/\\|.,;:+=[]<>\"", c)) return false;
  return true;
}

}  // namespace

Drive GetDrive(char letter) {
  int i = IndexOf(letter);
  if (i < 0) return Drive{};
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.drives[i].drive;
}

Drive DriveOfPosix(const std::string& posix) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  const Entry* best = nullptr;
  size_t best_len = 0;
  bool best_real = false;
  for (const Entry& e : t.drives) {
    if (!e.drive.mapped) continue;
    for (bool real : {false, true}) {
      const std::string& dir = real ? e.real : e.drive.directory;
      size_t len = dir == "/" ? 0 : dir.size();
      if (Within(posix, dir) && (!best || len > best_len)) {
        best = &e;
        best_len = len;
        best_real = real;
      }
    }
  }
  if (!best) return Drive{};
  Drive d = best->drive;
  if (best_real) d.directory = best->real;  // the prefix that matched, for the caller to cut
  return d;
}

VolumeLabel ReadVolumeLabel(const Drive& drive) {
  VolumeLabel v;
  std::ifstream in(LabelPath(drive));
  std::string serial;
  if (in) {
    std::getline(in, v.label);
    std::getline(in, serial);
  }
  while (!v.label.empty() && (v.label.back() == '\r' || v.label.back() == '\n'))
    v.label.pop_back();
  if (v.label.size() > 32) v.label.resize(32);
  char* end = nullptr;
  unsigned long value = serial.empty() ? 0 : strtoul(serial.c_str(), &end, 16);
  if (!serial.empty() && end != serial.c_str()) {
    v.serial = static_cast<DWORD>(value);
  } else {
    struct stat st;
    std::string seed = v.label;
    if (stat(drive.directory.c_str(), &st) == 0) seed += std::to_string(st.st_ino);
    v.serial = Fnv1a(seed);
  }
  return v;
}

bool WriteVolumeLabel(const Drive& drive, const std::string& label) {
  DWORD serial = ReadVolumeLabel(drive).serial;
  std::string path = LabelPath(drive);
  std::string temp = path + ".new";
  FILE* f = fopen(temp.c_str(), "w");
  if (!f) {
    SetErrorFromErrno(temp);
    return false;
  }
  bool ok = fprintf(f, "%s\n%08X\n", label.c_str(), static_cast<unsigned>(serial)) > 0;
  ok = (fclose(f) == 0) && ok;
  if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
    SetErrorFromErrno(path);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

unsigned long long UsedBytes(const std::string& directory) {
  namespace fs = std::filesystem;
  unsigned long long total = 0;
  std::error_code ec;
  fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied,
                                      ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code ec2;
    if (it->is_regular_file(ec2) && it->path().filename() != WIN32COMPAT_LABEL_FILE) {
      auto size = it->file_size(ec2);
      if (!ec2) total += size;
    }
  }
  return total;
}

}  // namespace w32c

using namespace w32c;

BOOL Win32CompatMapDrive(char letter, const char* directory, BOOL removable, const char* label) {
  if (IndexOf(letter) < 0 || !directory || directory[0] != '/') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Drive d;
  {
    Table& t = TheTable();
    std::lock_guard<std::mutex> guard(t.lock);
    Set(&t.drives[IndexOf(letter)], letter, directory, removable != FALSE);
    d = t.drives[IndexOf(letter)].drive;
  }
  if (removable && label) {
    if (!DirectoryExists(d.directory)) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    if (!WriteVolumeLabel(d, label)) return FALSE;
  }
  return TRUE;
}

BOOL Win32CompatUnmapDrive(char letter) {
  int i = IndexOf(letter);
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  if (i < 0 || !t.drives[i].drive.mapped) {
    SetLastError(ERROR_INVALID_DRIVE);
    return FALSE;
  }
  t.drives[i] = Entry{};
  return TRUE;
}

BOOL Win32CompatSetDriveCapacity(char letter, ULONGLONG capacity) {
  int i = IndexOf(letter);
  Table& t = TheTable();
  std::lock_guard<std::mutex> guard(t.lock);
  if (i < 0 || !t.drives[i].drive.mapped || !t.drives[i].drive.removable) {
    SetLastError(ERROR_INVALID_DRIVE);
    return FALSE;
  }
  t.drives[i].drive.capacity = capacity;
  return TRUE;
}

UINT GetDriveTypeA(LPCSTR lpRootPathName) {
  char letter = RootLetter(lpRootPathName);
  if (!letter) return DRIVE_NO_ROOT_DIR;
  Drive d = GetDrive(letter);
  if (!d.mapped) return DRIVE_NO_ROOT_DIR;
  if (d.removable) return DRIVE_REMOVABLE;
  return DirectoryExists(d.directory) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

DWORD GetLogicalDrives(void) {
  DWORD mask = 0;
  for (int i = 0; i < 26; ++i)
    if (GetDrive(static_cast<char>('A' + i)).mapped) mask |= 1u << i;
  return mask;
}

BOOL GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer,
                           DWORD nVolumeNameSize, LPDWORD lpVolumeSerialNumber,
                           LPDWORD lpMaximumComponentLength, LPDWORD lpFileSystemFlags,
                           LPSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize) {
  Drive d;
  if (!DriveOfRoot(lpRootPathName, &d)) return FALSE;
  VolumeLabel v;
  std::string fs_name;
  if (d.removable) {
    v = ReadVolumeLabel(d);
    fs_name = "FAT";
  } else {
    struct statvfs sv;
    if (statvfs(d.directory.c_str(), &sv) != 0) {
      SetErrorFromErrno(d.directory);
      return FALSE;
    }
    unsigned long long id = sv.f_fsid;
    v.serial = static_cast<DWORD>(id ^ (id >> 32));
    fs_name = "NTFS";
  }
  if ((lpVolumeNameBuffer && v.label.size() >= nVolumeNameSize) ||
      (lpFileSystemNameBuffer && fs_name.size() >= nFileSystemNameSize)) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (lpVolumeNameBuffer) CopyOut(v.label, lpVolumeNameBuffer, nVolumeNameSize);
  if (lpFileSystemNameBuffer) CopyOut(fs_name, lpFileSystemNameBuffer, nFileSystemNameSize);
  if (lpVolumeSerialNumber) *lpVolumeSerialNumber = v.serial;
  if (lpMaximumComponentLength) *lpMaximumComponentLength = 255;
  if (lpFileSystemFlags)
    *lpFileSystemFlags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES |
                         FILE_UNICODE_ON_DISK;
  return TRUE;
}

BOOL SetVolumeLabelA(LPCSTR lpRootPathName, LPCSTR lpVolumeName) {
  Drive d;
  if (!DriveOfRoot(lpRootPathName, &d)) return FALSE;
  if (!d.removable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::string label = lpVolumeName ? lpVolumeName : "";
  if (label.size() > 11) {
    SetLastError(ERROR_LABEL_TOO_LONG);
    return FALSE;
  }
  if (!ValidLabel(label)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  return WriteVolumeLabel(d, label) ? TRUE : FALSE;
}

BOOL GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                         PULARGE_INTEGER lpTotalNumberOfBytes,
                         PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
  std::string posix;
  if (!ToPosix(lpDirectoryName ? lpDirectoryName : ".", &posix)) return FALSE;
  struct statvfs sv;
  if (statvfs(posix.c_str(), &sv) != 0) {
    SetErrorFromErrno(posix);
    return FALSE;
  }
  unsigned long long unit = sv.f_frsize ? sv.f_frsize : sv.f_bsize;
  unsigned long long available = sv.f_bavail * unit;
  unsigned long long total = sv.f_blocks * unit;
  unsigned long long free_bytes = sv.f_bfree * unit;
  Drive d = DriveOfPosix(posix);
  if (d.letter && d.capacity) {
    unsigned long long used = UsedBytes(d.directory);
    total = d.capacity;
    free_bytes = available = used >= d.capacity ? 0 : d.capacity - used;
  }
  if (lpFreeBytesAvailableToCaller) lpFreeBytesAvailableToCaller->QuadPart = available;
  if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = total;
  if (lpTotalNumberOfFreeBytes) lpTotalNumberOfFreeBytes->QuadPart = free_bytes;
  return TRUE;
}

BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                       LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                       LPDWORD lpTotalNumberOfClusters) {
  ULARGE_INTEGER available, total, free_bytes;
  if (!GetDiskFreeSpaceExA(lpRootPathName, &available, &total, &free_bytes)) return FALSE;
  // 4096-byte clusters of 512-byte sectors; counts saturate as on large Windows volumes.
  auto clusters = [](ULONGLONG bytes) {
    ULONGLONG n = bytes / 4096;
    return static_cast<DWORD>(n > 0xFFFFFFFFull ? 0xFFFFFFFFull : n);
  };
  if (lpSectorsPerCluster) *lpSectorsPerCluster = 8;
  if (lpBytesPerSector) *lpBytesPerSector = 512;
  if (lpNumberOfFreeClusters) *lpNumberOfFreeClusters = clusters(available.QuadPart);
  if (lpTotalNumberOfClusters) *lpTotalNumberOfClusters = clusters(total.QuadPart);
  return TRUE;
}
