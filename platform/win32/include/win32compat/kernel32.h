// Kernel services of the stand-in: files, directories, drives and volumes, times, global
// and virtual memory, thread-local storage and critical sections, code pages, strings,
// system information and system messages.
//
// Behaviour that differs from Windows, by design:
// - Paths.  A path given to an *A function is a Windows path: "X:\dir\name" uses the drive
//   table of <win32compat/drives.h> (default: C: is "/"), "\dir\name" without a drive is a
//   POSIX absolute path, anything else is relative to the current directory.  "/" counts as
//   "\" everywhere.  "." and ".." are resolved on the text, never above a drive's root.
//   Paths coming out (GetCurrentDirectoryA, GetTempPathA, GetFullPathNameA) use the drive
//   whose directory holds the path (the longest match).  Names are case-sensitive on disk;
//   FindFirstFileA matches case-insensitively.  There are no short (8.3) names.
// - Attributes.  Read-only is "no write permission for the owner" (also for root, who the
//   kernel would let write); hidden is a name beginning with a dot; hidden, system and
//   archive are kept in the Samba extended attribute "user.DOSATTRIB" when the file system
//   takes it.  Without it the archive bit reads as set for files and changes to it are
//   dropped, and asking for hidden or system fails with ERROR_CALL_NOT_IMPLEMENTED.
// - Times.  Creation time is the birth time where the file system records it, else the
//   modification time; SetFileTime accepts and ignores a creation time.  Local times use
//   the current time-zone bias, as FileTimeToLocalFileTime does on Windows.
// - Code pages.  The ANSI and OEM code pages are UTF-8, bytes as they are: CharToOemA and
//   OemToCharA copy, CharUpperA/CharLowerA fold only ASCII letters, lstrcmpiA and
//   CompareStringA compare with ASCII case folding and otherwise by byte.
// - Version.  GetVersionExA reports Windows NT 5.1 build 2600 (Windows XP), Service Pack 3.
#pragma once
#include <stdarg.h>
#include <win32compat/types.h>

// ---- Files -----------------------------------------------------------------------------
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define DELETE 0x00010000u
#define SYNCHRONIZE 0x00100000u
#define FILE_READ_DATA 0x0001u
#define FILE_WRITE_DATA 0x0002u
#define FILE_APPEND_DATA 0x0004u
#define FILE_READ_EA 0x0008u
#define FILE_WRITE_EA 0x0010u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_DEVICE 0x00000040u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_ATTRIBUTE_OFFLINE 0x00001000u
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x00002000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// Accepted: WRITE_THROUGH, DELETE_ON_CLOSE and the access hints.  Overlapped I/O, unbuffered
// I/O and directory handles (BACKUP_SEMANTICS) fail with ERROR_CALL_NOT_IMPLEMENTED.
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_NO_BUFFERING 0x20000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

// Sharing between handles of this process is enforced as on Windows: an open fails with
// ERROR_SHARING_VIOLATION when its access is not shared by an open handle, or when its
// share mode leaves out an open handle's access.  DeleteFileA and MoveFileExA need
// FILE_SHARE_DELETE from every open handle.  Other processes are not seen.
W32C_API HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                            DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                            HANDLE hTemplateFile);
W32C_API BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                       LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
W32C_API BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                        LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
W32C_API DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                              DWORD dwMoveMethod);
W32C_API BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove,
                               PLARGE_INTEGER lpNewFilePointer, DWORD dwMoveMethod);
W32C_API DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
W32C_API BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);
W32C_API BOOL SetEndOfFile(HANDLE hFile);
W32C_API BOOL FlushFileBuffers(HANDLE hFile);
W32C_API DWORD GetFileType(HANDLE hFile);
W32C_API BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                          LPFILETIME lpLastWriteTime);
W32C_API BOOL SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime,
                          const FILETIME* lpLastAccessTime, const FILETIME* lpLastWriteTime);
// Closes any handle of the kernel table: files, searches are FindClose's, threads.
W32C_API BOOL CloseHandle(HANDLE hObject);

W32C_API BOOL DeleteFileA(LPCSTR lpFileName);
W32C_API BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
// Across file systems with MOVEFILE_COPY_ALLOWED the file is copied beside the target and
// renamed over it, and the source removed only once the copy is complete.
W32C_API BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);
W32C_API BOOL CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists);
W32C_API DWORD GetFileAttributesA(LPCSTR lpFileName);
W32C_API BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);

// ---- Searches, directories, temporary names ------------------------------------------
typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];  // always empty: there are no short names
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

// Patterns match as on Windows: case-insensitive; "*.*" matches every name, dotted or not;
// "?" matches one character, or none at a dot or the end of the name; "name.*" also
// matches "name"; "*." matches names without a dot.  Entries come in case-insensitive name
// order, with "." and ".." first in directories other than a drive's root.
W32C_API HANDLE FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
W32C_API BOOL FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
W32C_API BOOL FindClose(HANDLE hFindFile);

W32C_API BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
W32C_API BOOL RemoveDirectoryA(LPCSTR lpPathName);
W32C_API DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);
W32C_API BOOL SetCurrentDirectoryA(LPCSTR lpPathName);
// TMPDIR, else /tmp, as a Windows path ending in "\".
W32C_API DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
// "<path>\<first 3 of prefix><hex of the low 16 bits>.TMP"; with uUnique 0 a new number is
// chosen and the empty file created (exclusively, so names are unique between threads and
// processes).
W32C_API UINT GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                               LPSTR lpTempFileName);
// The path unchanged (there are no short names), once it is known to exist.
W32C_API DWORD GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer);
W32C_API DWORD GetLongPathNameA(LPCSTR lpszShortPath, LPSTR lpszLongPath, DWORD cchBuffer);
W32C_API DWORD GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                                LPSTR* lpFilePart);

// ---- Drives and volumes (see <win32compat/drives.h> for the drive table) -------------
#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

#define FILE_CASE_SENSITIVE_SEARCH 0x00000001u
#define FILE_CASE_PRESERVED_NAMES 0x00000002u
#define FILE_UNICODE_ON_DISK 0x00000004u

// Roots are "X:\" (or "X:"); NULL is the root of the current directory's drive.
W32C_API UINT GetDriveTypeA(LPCSTR lpRootPathName);
W32C_API DWORD GetLogicalDrives(void);
// Fixed drives: empty label, "NTFS", the serial number from the file system's id.
// Removable drives: the label kept with the drive's directory, "FAT"; ERROR_NOT_READY when
// the directory is missing (no disk in the drive).
W32C_API BOOL GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer,
                                    DWORD nVolumeNameSize, LPDWORD lpVolumeSerialNumber,
                                    LPDWORD lpMaximumComponentLength,
                                    LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer,
                                    DWORD nFileSystemNameSize);
// Removable drives only (ERROR_ACCESS_DENIED elsewhere); at most 11 characters.
W32C_API BOOL SetVolumeLabelA(LPCSTR lpRootPathName, LPCSTR lpVolumeName);
W32C_API BOOL GetDiskFreeSpaceExA(LPCSTR lpDirectoryName,
                                  PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                  PULARGE_INTEGER lpTotalNumberOfBytes,
                                  PULARGE_INTEGER lpTotalNumberOfFreeBytes);
W32C_API BOOL GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                                LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                                LPDWORD lpTotalNumberOfClusters);

// ---- Times -----------------------------------------------------------------------------
W32C_API BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
W32C_API BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
// DOS date-times cover 1980-01-01 to 2107-12-31 in two-second steps (odd seconds round down).
W32C_API BOOL FileTimeToDosDateTime(const FILETIME* lpFileTime, LPWORD lpFatDate,
                                    LPWORD lpFatTime);
W32C_API BOOL DosDateTimeToFileTime(WORD wFatDate, WORD wFatTime, LPFILETIME lpFileTime);
W32C_API BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
W32C_API BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
W32C_API LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);
W32C_API void GetLocalTime(LPSYSTEMTIME lpSystemTime);
W32C_API void GetSystemTime(LPSYSTEMTIME lpSystemTime);
W32C_API void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
W32C_API DWORD GetTickCount(void);
W32C_API ULONGLONG GetTickCount64(void);

// ---- Global and local memory -------------------------------------------------------------
// Fixed blocks are their own pointers; movable blocks are handles distinct from every
// pointer, never reused, so a freed or made-up handle is reported (ERROR_INVALID_HANDLE)
// instead of followed.  An unlocked movable block always moves when its size changes.
// Blocks are limited to 2 GiB - 1, as in a 32-bit process.  Local* share the same blocks.
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_NOCOMPACT 0x0010u
#define GMEM_NODISCARD 0x0020u
#define GMEM_ZEROINIT 0x0040u
#define GMEM_MODIFY 0x0080u
#define GMEM_DISCARDABLE 0x0100u
#define GMEM_NOT_BANKED 0x1000u
#define GMEM_SHARE 0x2000u
#define GMEM_DDESHARE 0x2000u
#define GMEM_NOTIFY 0x4000u
#define GMEM_LOWER GMEM_NOT_BANKED
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GMEM_DISCARDED 0x4000u
#define GMEM_INVALID_HANDLE 0x8000u
#define GMEM_LOCKCOUNT 0x00FFu

#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_NOCOMPACT 0x0010u
#define LMEM_NODISCARD 0x0020u
#define LMEM_ZEROINIT 0x0040u
#define LMEM_MODIFY 0x0080u
#define LMEM_DISCARDABLE 0x0F00u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LMEM_DISCARDED 0x4000u
#define LMEM_INVALID_HANDLE 0x8000u
#define LMEM_LOCKCOUNT 0x00FFu

W32C_API HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
W32C_API HGLOBAL GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
W32C_API LPVOID GlobalLock(HGLOBAL hMem);
W32C_API BOOL GlobalUnlock(HGLOBAL hMem);
W32C_API SIZE_T GlobalSize(HGLOBAL hMem);
W32C_API HGLOBAL GlobalFree(HGLOBAL hMem);
W32C_API HGLOBAL GlobalHandle(LPCVOID pMem);
W32C_API UINT GlobalFlags(HGLOBAL hMem);
W32C_API HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
W32C_API HLOCAL LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags);
W32C_API LPVOID LocalLock(HLOCAL hMem);
W32C_API BOOL LocalUnlock(HLOCAL hMem);
W32C_API SIZE_T LocalSize(HLOCAL hMem);
W32C_API HLOCAL LocalFree(HLOCAL hMem);
W32C_API HLOCAL LocalHandle(LPCVOID pMem);
W32C_API UINT LocalFlags(HLOCAL hMem);

// ---- Virtual memory -------------------------------------------------------------------------
#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_DECOMMIT 0x00004000u
#define MEM_RELEASE 0x00008000u
#define PAGE_NOACCESS 0x01u
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define PAGE_EXECUTE 0x10u
#define PAGE_EXECUTE_READ 0x20u
#define PAGE_EXECUTE_READWRITE 0x40u

// New regions at an address of the system's choosing, or commits inside a region reserved
// here.  Copy-on-write, guard and cache protections fail with ERROR_CALL_NOT_IMPLEMENTED.
W32C_API LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                             DWORD flProtect);
W32C_API BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);
W32C_API BOOL VirtualProtect(LPVOID lpAddress, SIZE_T dwSize, DWORD flNewProtect,
                             PDWORD lpflOldProtect);
W32C_API BOOL FlushInstructionCache(HANDLE hProcess, LPCVOID lpBaseAddress, SIZE_T dwSize);
W32C_API HANDLE GetCurrentProcess(void);

// ---- Threads: local storage, critical sections, interlocked operations --------------------
#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu
#define TLS_MINIMUM_AVAILABLE 64
// 1088 indexes, as on Windows.  A new index reads NULL in every thread.
W32C_API DWORD TlsAlloc(void);
W32C_API BOOL TlsFree(DWORD dwTlsIndex);
W32C_API LPVOID TlsGetValue(DWORD dwTlsIndex);
W32C_API BOOL TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue);

// The caller embeds this record.  Its fields have the Windows names; their contents are the
// stand-in's own (LockSemaphore holds the lock, made on first use, so a zeroed record
// works too).  Locks are recursive, as on Windows.
typedef struct _RTL_CRITICAL_SECTION {
  PVOID DebugInfo;
  LONG LockCount;
  LONG RecursionCount;
  HANDLE OwningThread;
  HANDLE LockSemaphore;
  ULONG_PTR SpinCount;
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION, RTL_CRITICAL_SECTION;

W32C_API void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
W32C_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                    DWORD dwSpinCount);
W32C_API void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
W32C_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
W32C_API void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
W32C_API void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
W32C_API void Sleep(DWORD dwMilliseconds);

static inline LONG InterlockedIncrement(LONG volatile* addend) {
  return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedDecrement(LONG volatile* addend) {
  return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedExchangeAdd(LONG volatile* addend, LONG value) {
  return __atomic_fetch_add(addend, value, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange,
                                              LONG comparand) {
  __atomic_compare_exchange_n(destination, &comparand, exchange, 0, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comparand;
}

// ---- System information ------------------------------------------------------------------
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;
typedef struct _OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;
typedef OSVERSIONINFOA OSVERSIONINFO;
// dwOSVersionInfoSize must be sizeof(OSVERSIONINFOA) or sizeof(OSVERSIONINFOEXA).
W32C_API BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
#define GetVersionEx GetVersionExA
// 0x0A280105: build 2600, NT (high bit clear), version 5.1.
W32C_API DWORD GetVersion(void);

#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_ARM64 12
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF
typedef struct _SYSTEM_INFO {
  union {
    DWORD dwOemId;
    struct {
      WORD wProcessorArchitecture;
      WORD wReserved;
    };
  };
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;
W32C_API void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);

// Names are looked up exactly, then ignoring ASCII case, as Windows names are.
W32C_API DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
W32C_API BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue);
#define MAX_COMPUTERNAME_LENGTH 15
// The host name up to its first dot, in capitals, at most 15 characters.
W32C_API BOOL GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);

// ---- Code pages and strings -------------------------------------------------------------
#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001u
#define MB_COMPOSITE 0x00000002u
#define MB_USEGLYPHCHARS 0x00000004u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_COMPOSITECHECK 0x00000200u
#define WC_DISCARDNS 0x00000010u
#define WC_SEPCHARS 0x00000020u
#define WC_DEFAULTCHAR 0x00000040u
#define WC_ERR_INVALID_CHARS 0x00000080u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

W32C_API UINT GetACP(void);    // 65001
W32C_API UINT GetOEMCP(void);  // 65001
// CP_ACP, CP_OEMCP, CP_THREAD_ACP and CP_UTF8 are all UTF-8 <-> UTF-16.  Malformed UTF-8
// becomes U+FFFD per bad byte, lone surrogates become U+FFFD, unless the *_ERR_INVALID_CHARS
// flag asks for ERROR_NO_UNICODE_TRANSLATION instead.  Other code pages:
// ERROR_INVALID_PARAMETER.
W32C_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                 int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
W32C_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                 int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                 LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

W32C_API BOOL CharToOemA(LPCSTR pSrc, LPSTR pDst);
W32C_API BOOL OemToCharA(LPCSTR pSrc, LPSTR pDst);
W32C_API BOOL CharToOemBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength);
W32C_API BOOL OemToCharBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength);
// A pointer whose high bits are zero is one character in the low byte, returned converted.
W32C_API LPSTR CharUpperA(LPSTR lpsz);
W32C_API LPSTR CharLowerA(LPSTR lpsz);
W32C_API DWORD CharUpperBuffA(LPSTR lpsz, DWORD cchLength);
W32C_API DWORD CharLowerBuffA(LPSTR lpsz, DWORD cchLength);
// Steps over whole UTF-8 sequences.
W32C_API LPSTR CharNextA(LPCSTR lpsz);
W32C_API LPSTR CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent);

// lstrcmpA: letters compare ignoring case first, then lower case before upper case, as the
// Windows word sort does for ASCII; other bytes by value.  Results are -1, 0, 1.
W32C_API int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
W32C_API int lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);
W32C_API int lstrlenA(LPCSTR lpString);
W32C_API LPSTR lstrcpyA(LPSTR lpString1, LPCSTR lpString2);
W32C_API LPSTR lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
W32C_API LPSTR lstrcatA(LPSTR lpString1, LPCSTR lpString2);

#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_INVARIANT 0x007F
#define NORM_IGNORECASE 0x00000001u
#define SORT_STRINGSORT 0x00001000u
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3
// NORM_IGNORECASE and SORT_STRINGSORT; other flags fail with ERROR_CALL_NOT_IMPLEMENTED.
W32C_API int CompareStringA(LCID Locale, DWORD dwCmpFlags, LPCSTR lpString1, int cchCount1,
                            LPCSTR lpString2, int cchCount2);

// %[-][0][#][width][.precision][h|l|I64](c|C|d|i|u|x|X|s|S) and %%.  "l" is LONG (32 bits)
// as on Windows.  Output stops at 1024 bytes including the terminator.
W32C_API int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
W32C_API int wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist);

// ---- System messages ------------------------------------------------------------------------
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu
// FORMAT_MESSAGE_FROM_SYSTEM: the English text of a Win32 error (or of an HRESULT wrapping
// one), ending in "\r\n".  Language 0 or any English one.  Inserts "%1".."%99" are taken as
// strings from the arguments; FROM_STRING and FROM_HMODULE fail with
// ERROR_CALL_NOT_IMPLEMENTED.  With ALLOCATE_BUFFER, lpBuffer receives a LocalAlloc block.
W32C_API DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                              DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                              va_list* Arguments);
