// The registry.
//
// On POSIX each root key is one file in the Windows .reg text format ("Windows Registry
// Editor Version 5.00", UTF-16LE with a byte-order mark and CRLF line endings, as regedit
// exports; UTF-8 files are read too): HKEY_CURRENT_USER.reg, HKEY_LOCAL_MACHINE.reg,
// HKEY_CLASSES_ROOT.reg and HKEY_USERS.reg in $WIN32COMPAT_REGISTRY (default
// $XDG_CONFIG_HOME/win32compat/registry, or ~/.config/win32compat/registry).  A missing
// file is an empty root key.  Every change re-reads the file under a lock on a lock file
// beside it, applies the change and writes the file back atomically (temporary file,
// fsync, rename), so that processes sharing the directory never lose each other's
// updates and a crash leaves the old or the new file, never a mix.  A damaged file fails
// every call on its root with ERROR_REGISTRY_CORRUPT and a message on standard error
// naming the file and line; it is never overwritten.  HKEY_CLASSES_ROOT is a root of its
// own here, not a view of the Software\Classes keys.
//
// Key and value names compare case-insensitively and keep their case; subkeys enumerate
// in case-insensitive name order, values in the order they were created.  Text is UTF-8
// (the ANSI code page); string data is kept as UTF-16, as Windows keeps it, and converted
// by the A calls.  Functions return Win32 error codes and leave the last error alone.
#pragma once
#include <win32compat/types.h>

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// Access rights are accepted and not enforced: the files are the user's own.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_RESERVED 0x00000000
#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

W32C_API LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                            PHKEY phkResult);
W32C_API LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                              DWORD dwOptions, REGSAM samDesired,
                              LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                              LPDWORD lpdwDisposition);
W32C_API LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                               LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
W32C_API LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                             const BYTE* lpData, DWORD cbData);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise).
W32C_API LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
W32C_API LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// lpftLastWriteTime, when given, receives zero: the files keep no times.
W32C_API LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                            LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                            PFILETIME lpftLastWriteTime);
W32C_API LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                            LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                            LPBYTE lpData, LPDWORD lpcbData);
W32C_API LONG RegCloseKey(HKEY hKey);
// Every change is on disk when its call returns; flushing only checks the handle.
W32C_API LONG RegFlushKey(HKEY hKey);
