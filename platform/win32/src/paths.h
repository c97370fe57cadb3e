// Path conversion, the drive table and the helpers the file functions share.
#pragma once
#include <windows.h>
#include <sys/stat.h>

#include <string>

namespace w32c {

// A Windows path made absolute and normalised: "X:\a\b" (drive >= 'A') or, outside every
// drive, "\a\b" (drive 0).  rest never starts with "\" and has no "." or ".." parts.
struct WinPath {
  char drive = 0;
  std::string rest;
  std::string Text() const;  // "X:\rest" or "\rest"
};

// Makes a Windows path absolute against the current directory.  False with the last error
// set (ERROR_INVALID_NAME, ERROR_BAD_NETPATH) when the text cannot be a local path.
bool ParseWindowsPath(const char* path, WinPath* out);

// The POSIX path of a Windows path entering the stand-in.  False with the last error set:
// ERROR_PATH_NOT_FOUND for an unmapped drive, ERROR_NOT_READY for a removable drive
// without its directory, and the parse errors above.
bool ToPosix(const char* path, std::string* out);
bool ToPosix(const WinPath& path, std::string* out);

// The Windows form of a POSIX path (made absolute against the current directory).
WinPath ToWindows(const std::string& posix);

struct Drive {
  char letter = 0;
  bool mapped = false;
  bool removable = false;
  std::string directory;  // absolute, no trailing "/" except for "/"
  unsigned long long capacity = 0;
};
// The drive table's entry for a letter ('A'..'Z', any case); mapped false when absent.
Drive GetDrive(char letter);
// The drive whose directory holds a POSIX path, or a Drive with letter 0.
Drive DriveOfPosix(const std::string& posix);

// The volume label and serial number kept in a removable drive's directory.
struct VolumeLabel {
  std::string label;
  DWORD serial = 0;
};
VolumeLabel ReadVolumeLabel(const Drive& drive);
bool WriteVolumeLabel(const Drive& drive, const std::string& label);
// Bytes of file data under a directory (for drives with a capacity).
unsigned long long UsedBytes(const std::string& directory);

// The Win32 error for an errno value; for ENOENT it tells a missing file from a missing
// directory on the way to it.
DWORD ErrorFromErrno(int error, const std::string& posix_path = std::string());
// SetLastError(ErrorFromErrno(errno, path)).
void SetErrorFromErrno(const std::string& posix_path = std::string());

// Attributes of a file from its status and name (see kernel32.h for the rules).
DWORD AttributesOf(const std::string& posix_path, const struct stat& st);
bool IsReadOnly(const struct stat& st);
// Stores hidden/system/archive in user.DOSATTRIB; false when the file system refuses.
bool StoreDosAttributes(const std::string& posix_path, DWORD attributes);

// FILETIME from a POSIX time and back.
FILETIME FileTimeFromTimespec(const struct timespec& ts);
struct timespec TimespecFromFileTime(const FILETIME& ft);
// Creation, access and write times of a file.
// fd >= 0 asks about an open file, else about posix_path.
void FileTimesOf(int fd, const std::string& posix_path, const struct stat& st,
                 FILETIME* creation, FILETIME* access, FILETIME* write);

// Copies a NUL-terminated result into a caller's buffer with the usual Win32 convention:
// the length without terminator when it fits, else the size needed with it.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size);

// Sharing between the handles of this process, keyed by device and inode.
struct ShareKey {
  dev_t dev;
  ino_t ino;
  bool operator==(const ShareKey& o) const { return dev == o.dev && ino == o.ino; }
};
// Registers an opening; false (nothing registered) when it conflicts with an open handle.
bool ShareAcquire(const ShareKey& key, DWORD access, DWORD share);
void ShareRelease(const ShareKey& key, DWORD access, DWORD share);
// True when every open handle of the file allows deleting or renaming it.
bool ShareAllowsDelete(const ShareKey& key);
// True when the file has open handles.
bool ShareIsOpen(const ShareKey& key);

}  // namespace w32c
