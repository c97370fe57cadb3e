// The stand-in's drive table and path conversion (not a Win32 header).
//
// Drive letters name directories: by default C: is "/", and no other drive exists.  A
// removable drive keeps its volume label in the file ".win32compat-label" inside its
// directory (first line: the label; an optional second line: the serial number in hex), so
// that a test swaps "disks" by changing the directory's contents and that file.  A
// removable drive whose directory is missing has no disk in it (ERROR_NOT_READY).  Its
// capacity can be limited, so that writing a disk fills it (ERROR_DISK_FULL).
//
// The environment variable WIN32COMPAT_DRIVES adds drives when the table is first used:
// "A=/path/to/dir:removable;D=/data", entries separated by ';'.
//
// Conversion of a Windows path to a POSIX one (Win32CompatToPosixPath):
//   "X:\a\b"   the directory of drive X, then a/b   ("." and ".." never climb above it)
//   "X:a"      relative to the current directory when it is on X, else to X's root
//   "\a\b"     "/a/b": a rooted path without a drive is a POSIX absolute path
//   "a\b"      relative to the current directory
// with "/" accepted for "\".  The reverse (Win32CompatToWindowsPath) makes the path
// absolute, picks the drive whose directory is the longest leading part of it, and writes
// "X:\rest"; a path outside every drive stays "\a\b".
#pragma once
#include <win32compat/types.h>

#define WIN32COMPAT_LABEL_FILE ".win32compat-label"

// Maps (or re-maps) a drive.  directory must be absolute.  For a removable drive a
// non-NULL label is written to the label file (the directory must exist then); a NULL
// label keeps what the directory holds.  FALSE with ERROR_INVALID_PARAMETER for a bad
// letter or a relative directory.
W32C_API BOOL Win32CompatMapDrive(char letter, const char* directory, BOOL removable,
                                  const char* label);
// FALSE with ERROR_INVALID_DRIVE when the drive was not mapped.
W32C_API BOOL Win32CompatUnmapDrive(char letter);
// Limits a removable drive to capacity bytes of file data (0: no limit, the default).
// GetDiskFreeSpaceExA reports the capacity less the sizes of the files on the drive, and a
// write that would grow the files past it fails with ERROR_DISK_FULL and writes nothing.
W32C_API BOOL Win32CompatSetDriveCapacity(char letter, ULONGLONG capacity);

// Both return the length written without the terminator, or, when size is too small, the
// size needed including it (nothing written); 0 with the last error on failure.
W32C_API DWORD Win32CompatToPosixPath(const char* windows_path, char* out, DWORD size);
W32C_API DWORD Win32CompatToWindowsPath(const char* posix_path, char* out, DWORD size);
