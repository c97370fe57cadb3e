// Modules: loading, exports by name and by ordinal, module entry calls, threads.
//
// On POSIX a module is a shared object (or the program itself) built with
// ps_win32_module(), or a PE file opened with LOAD_LIBRARY_AS_DATAFILE.  HMODULE values
// are the stand-in's own records, never dlopen handles.  Every module of ours calls
// DllMain (when it exports one) with DLL_PROCESS_ATTACH when it is loaded, and
// DLL_THREAD_ATTACH / DLL_THREAD_DETACH for threads started with CreateThread, unless it
// called DisableThreadLibraryCalls.
#pragma once
#include <win32compat/types.h>

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

typedef BOOL (*PDLLMAIN)(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

W32C_API HMODULE LoadLibraryA(LPCSTR lpLibFileName);
W32C_API HMODULE LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
W32C_API BOOL FreeLibrary(HMODULE hLibModule);
W32C_API HMODULE GetModuleHandleA(LPCSTR lpModuleName);
W32C_API BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule);
W32C_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
W32C_API DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
W32C_API BOOL DisableThreadLibraryCalls(HMODULE hLibModule);

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
W32C_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                             LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                             DWORD dwCreationFlags, LPDWORD lpThreadId);
W32C_API DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
W32C_API BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
W32C_API DWORD GetCurrentThreadId(void);
W32C_API DWORD GetCurrentProcessId(void);
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
