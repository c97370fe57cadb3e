// The registry calls.  An HKEY opened here names a root and a path of key names (as
// stored); every call resolves that path in a fresh read of the root's file, so a key
// deleted by someone else gives ERROR_KEY_DELETED.  Predefined root handles need no
// opening and ignore RegCloseKey.
#include <string.h>

#include <memory>
#include <vector>

#include "handles.h"
#include "registry_store.h"
#include "res_format_utf.h"

namespace w32c {
namespace {

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

struct OpenKey : KernelObject {
  int root = 0;
  std::vector<std::u16string> path;
};

struct KeyRef {
  int root = 0;
  std::vector<std::u16string> path;
};

LONG Resolve(HKEY key, KeyRef* out) {
  auto value = reinterpret_cast<uintptr_t>(key);
  if (value >= 0x80000000u && value < 0x80000000u + kRootCount) {
    out->root = static_cast<int>(value - 0x80000000u);
    out->path.clear();
    return ERROR_SUCCESS;
  }
  auto open = LookupHandleAs<OpenKey>(reinterpret_cast<HANDLE>(key));
  if (!open) return ERROR_INVALID_HANDLE;
  out->root = open->root;
  out->path = open->path;
  return ERROR_SUCCESS;
}

// Appends the components of a subkey path ("A\B\C"); a leading backslash is refused
// as on Windows, empty components (a trailing backslash) are skipped.
LONG SplitSubKey(LPCSTR sub, std::vector<std::u16string>* path) {
  if (!sub) return ERROR_SUCCESS;
  if (sub[0] == '\\') return ERROR_BAD_PATHNAME;
  std::u16string all = Utf8ToUtf16(sub, strlen(sub));
  size_t start = 0;
  while (start <= all.size()) {
    size_t slash = all.find(u'\\', start);
    if (slash == std::u16string::npos) slash = all.size();
    if (slash > start) {
      if (slash - start > kMaxKeyName) return ERROR_INVALID_PARAMETER;
      path->push_back(all.substr(start, slash - start));
    }
    start = slash + 1;
  }
  return ERROR_SUCCESS;
}

const RegKey* Walk(const RegKey& root, const std::vector<std::u16string>& path, size_t count) {
  const RegKey* key = &root;
  for (size_t i = 0; i < count && key; ++i) key = key->Find(path[i]);
  return key;
}

// The key a handle names: ERROR_KEY_DELETED when it has gone since it was opened.
LONG KeyOf(const RegKey& root, const KeyRef& ref, const RegKey** key) {
  *key = Walk(root, ref.path, ref.path.size());
  return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

HKEY NewKeyHandle(int root, std::vector<std::u16string> path) {
  auto open = std::make_shared<OpenKey>();
  open->root = root;
  open->path = std::move(path);
  return reinterpret_cast<HKEY>(NewHandle(std::move(open)));
}

std::u16string ValueName(LPCSTR name) {
  return name ? Utf8ToUtf16(name, strlen(name)) : std::u16string();
}

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Data as the A calls see it: strings in the ANSI code page (UTF-8).
std::vector<uint8_t> ToAnsi(const RegValue& v) {
  if (!IsString(v.type)) return v.data;
  std::u16string units(v.data.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(v.data[2 * i] | v.data[2 * i + 1] << 8);
  std::string s = Utf16ToUtf8(units);
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> FromAnsi(DWORD type, const BYTE* data, DWORD size) {
  if (!IsString(type)) return std::vector<uint8_t>(data, data + size);
  std::u16string units = Utf8ToUtf16(reinterpret_cast<const char*>(data), size);
  std::vector<uint8_t> out;
  out.reserve(units.size() * 2);
  for (char16_t c : units) out.insert(out.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
  return out;
}

// Copies a value's type and data out with the size rules of RegQueryValueEx.
LONG CopyData(const RegValue& v, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  if (type) *type = v.type;
  std::vector<uint8_t> bytes = ToAnsi(v);
  if (!size) return ERROR_SUCCESS;
  DWORD room = *size;
  *size = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (room < bytes.size()) return ERROR_MORE_DATA;
  if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

// Copies a name with the rules of the enumerations: the count in is the buffer's size
// in characters, the count out the name's length without the NUL.
LONG CopyName(const std::u16string& name, LPSTR buffer, LPDWORD count) {
  std::string s = Utf16ToUtf8(name);
  if (*count <= s.size()) return ERROR_MORE_DATA;
  memcpy(buffer, s.c_str(), s.size() + 1);
  *count = static_cast<DWORD>(s.size());
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace w32c

using namespace w32c;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  size_t base = ref.path.size();
  if (r == ERROR_SUCCESS) r = SplitSubKey(lpSubKey, &ref.path);
  if (r != ERROR_SUCCESS) return r;
  r = ReadRoot(ref.root, [&](const RegKey& root) -> LONG {
    const RegKey* key = Walk(root, ref.path, base);
    if (!key) return ERROR_KEY_DELETED;
    for (size_t i = base; i < ref.path.size(); ++i) {
      key = key->Find(ref.path[i]);
      if (!key) return ERROR_FILE_NOT_FOUND;
      ref.path[i] = key->name;  // the case the key was created with
    }
    return ERROR_SUCCESS;
  });
  if (r == ERROR_SUCCESS) *phkResult = NewKeyHandle(ref.root, std::move(ref.path));
  return r;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM,
                     LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  size_t base = ref.path.size();
  if (r == ERROR_SUCCESS) r = SplitSubKey(lpSubKey, &ref.path);
  if (r != ERROR_SUCCESS) return r;
  bool any_created = false;
  r = ChangeRoot(ref.root, [&](RegKey& root, bool* changed) -> LONG {
    RegKey* key = const_cast<RegKey*>(Walk(root, ref.path, base));
    if (!key) return ERROR_KEY_DELETED;
    for (size_t i = base; i < ref.path.size(); ++i) {
      bool created = false;
      key = key->FindOrAdd(ref.path[i], &created);
      any_created |= created;
      ref.path[i] = key->name;
    }
    *changed = any_created;
    return ERROR_SUCCESS;
  });
  if (r != ERROR_SUCCESS) return r;
  if (lpdwDisposition) *lpdwDisposition = any_created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = NewKeyHandle(ref.root, std::move(ref.path));
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  if (r != ERROR_SUCCESS) return r;
  std::u16string name = ValueName(lpValueName);
  return ReadRoot(ref.root, [&](const RegKey& root) -> LONG {
    const RegKey* key;
    LONG k = KeyOf(root, ref, &key);
    if (k != ERROR_SUCCESS) return k;
    const RegValue* v = key->FindValue(name);
    if (!v) return ERROR_FILE_NOT_FOUND;
    return CopyData(*v, lpType, lpData, lpcbData);
  });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  if (r != ERROR_SUCCESS) return r;
  std::u16string name = ValueName(lpValueName);
  if (name.size() > kMaxValueName) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> data = FromAnsi(dwType, lpData, cbData);
  return ChangeRoot(ref.root, [&](RegKey& root, bool* changed) -> LONG {
    const RegKey* key;
    LONG k = KeyOf(root, ref, &key);
    if (k != ERROR_SUCCESS) return k;
    *changed = const_cast<RegKey*>(key)->SetValue(name, dwType, std::move(data));
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  size_t base = ref.path.size();
  if (r == ERROR_SUCCESS) r = SplitSubKey(lpSubKey, &ref.path);
  if (r != ERROR_SUCCESS) return r;
  if (ref.path.empty()) return ERROR_ACCESS_DENIED;  // a root key
  return ChangeRoot(ref.root, [&](RegKey& root, bool* changed) -> LONG {
    if (!Walk(root, ref.path, base)) return ERROR_KEY_DELETED;
    auto* parent = const_cast<RegKey*>(Walk(root, ref.path, ref.path.size() - 1));
    const RegKey* key = parent ? parent->Find(ref.path.back()) : nullptr;
    if (!key) return ERROR_FILE_NOT_FOUND;
    if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
    *changed = parent->Remove(ref.path.back());
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  if (r != ERROR_SUCCESS) return r;
  std::u16string name = ValueName(lpValueName);
  return ChangeRoot(ref.root, [&](RegKey& root, bool* changed) -> LONG {
    const RegKey* key;
    LONG k = KeyOf(root, ref, &key);
    if (k != ERROR_SUCCESS) return k;
    *changed = const_cast<RegKey*>(key)->RemoveValue(name);
    return *changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  if (r != ERROR_SUCCESS) return r;
  return ReadRoot(ref.root, [&](const RegKey& root) -> LONG {
    const RegKey* key;
    LONG k = KeyOf(root, ref, &key);
    if (k != ERROR_SUCCESS) return k;
    if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    LONG c = CopyName(key->subkeys[dwIndex]->name, lpName, lpcchName);
    if (c != ERROR_SUCCESS) return c;
    if (lpClass) {
      if (*lpcchClass == 0) return ERROR_MORE_DATA;
      lpClass[0] = 0;
    }
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  if (r != ERROR_SUCCESS) return r;
  return ReadRoot(ref.root, [&](const RegKey& root) -> LONG {
    const RegKey* key;
    LONG k = KeyOf(root, ref, &key);
    if (k != ERROR_SUCCESS) return k;
    if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& v = key->values[dwIndex];
    LONG c = CopyName(v.name, lpValueName, lpcchValueName);
    if (c != ERROR_SUCCESS) return c;
    return CopyData(v, lpType, lpData, lpcbData);
  });
}

LONG RegCloseKey(HKEY hKey) {
  KeyRef ref;
  LONG r = Resolve(hKey, &ref);
  if (r != ERROR_SUCCESS) return r;
  auto value = reinterpret_cast<uintptr_t>(hKey);
  if (value >= 0x80000000u && value < 0x80000000u + kRootCount) return ERROR_SUCCESS;
  return RemoveHandle(reinterpret_cast<HANDLE>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY hKey) {
  KeyRef ref;
  return Resolve(hKey, &ref);
}
