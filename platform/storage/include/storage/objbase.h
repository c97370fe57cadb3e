// The structured-storage entry points of libcfb, with their Win32 names and signatures.
// On the windows build the system's ole32 provides them.
#pragma once
#include <storage/objidl.h>

// Opens a compound file.  grfMode: STGM_READ or STGM_READWRITE with a sharing mode;
// STGM_SHARE_EXCLUSIVE (or DENY_READ) refuses every other open of the same file until the
// root is released, STGM_SHARE_DENY_WRITE lets other readers in.  Direct mode only: changes
// reach the file on Commit and when the root's last reference is released, each time as a
// complete new file that replaces the old one, so that a failure never leaves a damaged file.
W32C_API HRESULT StgOpenStorage(const WCHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                SNB snbExclude, DWORD reserved, IStorage** ppstgOpen);
// Creates a compound file (STGM_CREATE replaces an existing one; without it an existing
// file gives STG_E_FILEALREADYEXISTS).
W32C_API HRESULT StgCreateDocfile(const WCHAR* pwcsName, DWORD grfMode, DWORD reserved,
                                  IStorage** ppstgOpen);
// S_OK when the file starts with the compound file signature, S_FALSE when it does not.
W32C_API HRESULT StgIsStorageFile(const WCHAR* pwcsName);

// Task memory: the names in STATSTG records are allocated with CoTaskMemAlloc.
W32C_API void* CoTaskMemAlloc(SIZE_T cb);
W32C_API void CoTaskMemFree(void* pv);
