// Structured storage interfaces: IUnknown, ISequentialStream, IStream, IStorage and
// IEnumSTATSTG as pure virtual classes with the Windows method sets in the Windows vtable
// order, plus the STATSTG record, the STGM_/STGTY_/STGC_ flags and the STG_E_ status codes
// with their Win32 values.  On the windows build the system's <objidl.h> is used instead.
#pragma once
#include <win32compat/types.h>
#include <win32compat/winerror.h>

#define STDMETHODCALLTYPE
#define STDMETHOD(name) virtual HRESULT STDMETHODCALLTYPE name
#define STDMETHOD_(type, name) virtual type STDMETHODCALLTYPE name

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef LPOLESTR* SNB;

// Storage status codes (facility STORAGE).
#ifndef STG_E_INVALIDFUNCTION
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001L)
#define STG_E_FILENOTFOUND ((HRESULT)0x80030002L)
#define STG_E_PATHNOTFOUND ((HRESULT)0x80030003L)
#define STG_E_TOOMANYOPENFILES ((HRESULT)0x80030004L)
#define STG_E_ACCESSDENIED ((HRESULT)0x80030005L)
#define STG_E_INVALIDHANDLE ((HRESULT)0x80030006L)
#define STG_E_INSUFFICIENTMEMORY ((HRESULT)0x80030008L)
#define STG_E_INVALIDPOINTER ((HRESULT)0x80030009L)
#define STG_E_NOMOREFILES ((HRESULT)0x80030012L)
#define STG_E_DISKISWRITEPROTECTED ((HRESULT)0x80030013L)
#define STG_E_SEEKERROR ((HRESULT)0x80030019L)
#define STG_E_WRITEFAULT ((HRESULT)0x8003001DL)
#define STG_E_READFAULT ((HRESULT)0x8003001EL)
#define STG_E_SHAREVIOLATION ((HRESULT)0x80030020L)
#define STG_E_LOCKVIOLATION ((HRESULT)0x80030021L)
#define STG_E_FILEALREADYEXISTS ((HRESULT)0x80030050L)
#define STG_E_INVALIDPARAMETER ((HRESULT)0x80030057L)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070L)
#define STG_E_ABNORMALAPIEXIT ((HRESULT)0x800300FAL)
#define STG_E_INVALIDHEADER ((HRESULT)0x800300FBL)
#define STG_E_INVALIDNAME ((HRESULT)0x800300FCL)
#define STG_E_UNKNOWN ((HRESULT)0x800300FDL)
#define STG_E_UNIMPLEMENTEDFUNCTION ((HRESULT)0x800300FEL)
#define STG_E_INVALIDFLAG ((HRESULT)0x800300FFL)
#define STG_E_INUSE ((HRESULT)0x80030100L)
#define STG_E_NOTCURRENT ((HRESULT)0x80030101L)
#define STG_E_REVERTED ((HRESULT)0x80030102L)
#define STG_E_CANTSAVE ((HRESULT)0x80030103L)
#define STG_E_OLDFORMAT ((HRESULT)0x80030104L)
#define STG_E_OLDDLL ((HRESULT)0x80030105L)
#define STG_E_SHAREREQUIRED ((HRESULT)0x80030106L)
#define STG_E_NOTFILEBASEDSTORAGE ((HRESULT)0x80030107L)
#define STG_E_EXTANTMARSHALLINGS ((HRESULT)0x80030108L)
#define STG_E_DOCFILECORRUPT ((HRESULT)0x80030109L)
#define STG_E_BADBASEADDRESS ((HRESULT)0x80030110L)
#define STG_E_INCOMPLETE ((HRESULT)0x80030201L)
#define STG_E_TERMINATED ((HRESULT)0x80030202L)
#define STG_S_CONVERTED ((HRESULT)0x00030200L)
#endif

// Open modes.
#define STGM_DIRECT 0x00000000L
#define STGM_TRANSACTED 0x00010000L
#define STGM_SIMPLE 0x08000000L
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_SHARE_DENY_NONE 0x00000040L
#define STGM_SHARE_DENY_READ 0x00000030L
#define STGM_SHARE_DENY_WRITE 0x00000020L
#define STGM_SHARE_EXCLUSIVE 0x00000010L
#define STGM_PRIORITY 0x00040000L
#define STGM_DELETEONRELEASE 0x04000000L
#define STGM_NOSCRATCH 0x00100000L
#define STGM_CREATE 0x00001000L
#define STGM_CONVERT 0x00020000L
#define STGM_FAILIFTHERE 0x00000000L
#define STGM_NOSNAPSHOT 0x00200000L
#define STGM_DIRECT_SWMR 0x00400000L

// Element kinds in STATSTG::type.
#define STGTY_STORAGE 1
#define STGTY_STREAM 2
#define STGTY_LOCKBYTES 3
#define STGTY_PROPERTY 4

#define STGC_DEFAULT 0
#define STGC_OVERWRITE 1
#define STGC_ONLYIFCURRENT 2
#define STGC_DANGEROUSLYCOMMITMERELYTODISKCACHE 4
#define STGC_CONSOLIDATE 8

#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1
#define STATFLAG_NOOPEN 2

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2

// Region lock kinds (glibc's <fcntl.h> has its own LOCK_WRITE; compound file streams do
// not lock regions, so the names are only given when they are free).
#if defined(__cplusplus) && !defined(LOCK_WRITE)
enum tagLOCKTYPE { LOCK_WRITE = 1, LOCK_EXCLUSIVE = 2, LOCK_ONLYONCE = 4 };
#endif

#define STGMOVE_MOVE 0
#define STGMOVE_COPY 1

typedef struct tagSTATSTG {
  LPOLESTR pwcsName;  // allocated with CoTaskMemAlloc; the caller frees it with CoTaskMemFree
  DWORD type;         // STGTY_*
  ULARGE_INTEGER cbSize;
  FILETIME mtime;
  FILETIME ctime;
  FILETIME atime;
  DWORD grfMode;
  DWORD grfLocksSupported;
  CLSID clsid;
  DWORD grfStateBits;
  DWORD reserved;
} STATSTG;

#ifdef __cplusplus
extern "C" {
#endif
#define CFB_DATA_API __attribute__((visibility("default")))
extern CFB_DATA_API const IID IID_IUnknown;
extern CFB_DATA_API const IID IID_ISequentialStream;
extern CFB_DATA_API const IID IID_IStream;
extern CFB_DATA_API const IID IID_IStorage;
extern CFB_DATA_API const IID IID_IEnumSTATSTG;
extern CFB_DATA_API const CLSID CLSID_NULL;
#ifdef __cplusplus
}

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }

struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
  STDMETHOD_(ULONG, AddRef)() = 0;
  // Returns the number of references left; the object is gone when it returns 0.
  STDMETHOD_(ULONG, Release)() = 0;

 protected:
  ~IUnknown() = default;
};

struct ISequentialStream : IUnknown {
  STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  STDMETHOD(Write)(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  STDMETHOD(Seek)(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
  STDMETHOD(SetSize)(ULARGE_INTEGER libNewSize) = 0;
  STDMETHOD(CopyTo)(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                    ULARGE_INTEGER* pcbWritten) = 0;
  STDMETHOD(Commit)(DWORD grfCommitFlags) = 0;
  STDMETHOD(Revert)() = 0;
  STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
  STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
  STDMETHOD(Clone)(IStream** ppstm) = 0;

 protected:
  ~IStream() = default;
};

struct IEnumSTATSTG : IUnknown {
  STDMETHOD(Next)(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) = 0;
  STDMETHOD(Skip)(ULONG celt) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumSTATSTG** ppenum) = 0;

 protected:
  ~IEnumSTATSTG() = default;
};

struct IStorage : IUnknown {
  STDMETHOD(CreateStream)(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                          DWORD reserved2, IStream** ppstm) = 0;
  STDMETHOD(OpenStream)(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode,
                        DWORD reserved2, IStream** ppstm) = 0;
  STDMETHOD(CreateStorage)(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                           DWORD reserved2, IStorage** ppstg) = 0;
  STDMETHOD(OpenStorage)(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                         SNB snbExclude, DWORD reserved, IStorage** ppstg) = 0;
  STDMETHOD(CopyTo)(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude,
                    IStorage* pstgDest) = 0;
  STDMETHOD(MoveElementTo)(const OLECHAR* pwcsName, IStorage* pstgDest,
                           const OLECHAR* pwcsNewName, DWORD grfFlags) = 0;
  STDMETHOD(Commit)(DWORD grfCommitFlags) = 0;
  STDMETHOD(Revert)() = 0;
  STDMETHOD(EnumElements)(DWORD reserved1, void* reserved2, DWORD reserved3,
                          IEnumSTATSTG** ppenum) = 0;
  STDMETHOD(DestroyElement)(const OLECHAR* pwcsName) = 0;
  STDMETHOD(RenameElement)(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) = 0;
  STDMETHOD(SetElementTimes)(const OLECHAR* pwcsName, const FILETIME* pctime,
                             const FILETIME* patime, const FILETIME* pmtime) = 0;
  STDMETHOD(SetClass)(REFCLSID clsid) = 0;
  STDMETHOD(SetStateBits)(DWORD grfStateBits, DWORD grfMask) = 0;
  STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) = 0;

 protected:
  ~IStorage() = default;
};
#endif  // __cplusplus
