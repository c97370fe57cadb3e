// Resources of a module: the compiled .res embedded in our modules, or the resource
// section of a PE file opened with LOAD_LIBRARY_AS_DATAFILE.
#pragma once
#include <win32compat/types.h>

#define RT_CURSOR MAKEINTRESOURCEA(1)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_MENU MAKEINTRESOURCEA(4)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_FONTDIR MAKEINTRESOURCEA(7)
#define RT_FONT MAKEINTRESOURCEA(8)
#define RT_ACCELERATOR MAKEINTRESOURCEA(9)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEA(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEA(12)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define RT_VERSION MAKEINTRESOURCEA(16)

// hModule nullptr means the program itself.  Names and types are integer identifiers
// (MAKEINTRESOURCEA) or strings ("#123" is the integer 123), compared case-insensitively.
W32C_API HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
W32C_API HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage);
W32C_API HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
W32C_API LPVOID LockResource(HGLOBAL hResData);
W32C_API DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
W32C_API BOOL FreeResource(HGLOBAL hResData);
// Strings are converted from the resource's UTF-16 to the ANSI code page (UTF-8 here).
W32C_API int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
W32C_API int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
