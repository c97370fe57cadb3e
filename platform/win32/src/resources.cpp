// FindResource / LoadResource / LoadString over a module's resources.  The resource
// list is parsed from the module's image on every call: images are small (tens of
// entries), and nothing parsed can outlive a module that is freed.  An HRSRC is the
// address of the entry's description inside the image, as on Windows, and is checked
// against the module's list before use; an HGLOBAL from LoadResource is the data's
// address.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "module_internal.h"
#include "res_format.h"
#include "res_format_utf.h"

namespace w32c {
namespace {

// The parsed resource list of a module; false (with the last error set) when the module
// is not live, has no resources or its image is malformed.
bool Entries(HMODULE module, std::vector<ResEntry>* out) {
  ModuleResources mr;
  if (!GetModuleResources(module, &mr)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  std::string error;
  bool ok = false;
  switch (mr.kind) {
    case ResourceImage::kNone: break;
    case ResourceImage::kRes: ok = ParseResImage(mr.data, mr.size, out, &error); break;
    case ResourceImage::kPe: ok = ParsePeResources(mr.data, mr.size, out, &error); break;
  }
  if (!ok) {
    SetLastError(mr.kind == ResourceImage::kNone ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_BAD_FORMAT);
    return false;
  }
  return true;
}

// An identifier argument: MAKEINTRESOURCEA(n), "#n", or a name.
ResId ToId(LPCSTR s) {
  ResId id;
  if (IS_INTRESOURCE(s)) {
    id.id = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(s));
    return id;
  }
  if (s[0] == '#' && s[1] != 0) {
    char* end = nullptr;
    unsigned long v = strtoul(s + 1, &end, 10);
    if (*end == 0 && v <= 0xFFFF) {
      id.id = static_cast<uint16_t>(v);
      return id;
    }
  }
  id.is_int = false;
  id.name = Utf8ToUtf16(s, strlen(s));
  return id;
}

bool Matches(const ResId& a, const ResId& b) {
  if (a.is_int != b.is_int) return false;
  return a.is_int ? a.id == b.id : EqualNoCase(a.name, b.name);
}

constexpr WORD kUserDefault = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
constexpr WORD kSystemDefault = MAKELANGID(LANG_NEUTRAL, 0x02);
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);

// The order in which languages are tried: the language asked for, its primary language
// (neutral, then default sublanguage), the neutral and default languages (the user's
// language is US English here), any sublanguage of the primary language, then the
// lowest language present.
const ResEntry* ChooseLanguage(const std::vector<const ResEntry*>& found, WORD language) {
  if (found.empty()) return nullptr;
  WORD primary = PRIMARYLANGID(language);
  std::vector<WORD> order = {language};
  if (primary != LANG_NEUTRAL) {
    order.push_back(MAKELANGID(primary, SUBLANG_NEUTRAL));
    order.push_back(MAKELANGID(primary, SUBLANG_DEFAULT));
  }
  order.insert(order.end(), {static_cast<WORD>(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
                             kUserDefault, kSystemDefault, kEnglishUs});
  for (WORD want : order)
    for (const ResEntry* e : found)
      if (e->language == want) return e;
  const ResEntry* best = nullptr;
  for (const ResEntry* e : found)
    if (primary != LANG_NEUTRAL && PRIMARYLANGID(e->language) == primary &&
        (!best || e->language < best->language))
      best = e;
  if (best) return best;
  for (const ResEntry* e : found)
    if (!best || e->language < best->language) best = e;
  return best;
}

const ResEntry* Find(const std::vector<ResEntry>& entries, LPCSTR type, LPCSTR name, WORD language) {
  ResId t = ToId(type), n = ToId(name);
  std::vector<const ResEntry*> found;
  bool type_seen = false;
  for (const ResEntry& e : entries) {
    if (!Matches(e.type, t)) continue;
    type_seen = true;
    if (Matches(e.name, n)) found.push_back(&e);
  }
  const ResEntry* e = ChooseLanguage(found, language);
  if (!e) SetLastError(type_seen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return e;
}

const ResEntry* ByHandle(const std::vector<ResEntry>& entries, HRSRC info) {
  auto* key = reinterpret_cast<const uint8_t*>(info);
  for (const ResEntry& e : entries)
    if (e.key == key) return &e;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// String `id` of the module's string table: its UTF-16 units inside the image.  A
// block holds 16 strings, each a count followed by that many units.
bool FindString(HINSTANCE module, UINT id, const uint8_t** units, size_t* length) {
  if (id > 0xFFFF) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return false;
  }
  std::vector<ResEntry> entries;
  if (!Entries(module, &entries)) return false;
  const ResEntry* block = Find(entries, RT_STRING, MAKEINTRESOURCEA((id >> 4) + 1),
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  if (!block) return false;
  const uint8_t* p = block->data;
  size_t left = block->size;
  for (UINT i = 0; i <= (id & 15); ++i) {
    if (left < 2) break;
    size_t n = ReadLe16(p);
    if ((left - 2) / 2 < n) break;  // a count that runs past the block
    if (i == (id & 15)) {
      if (n == 0) break;
      *units = p + 2;
      *length = n;
      return true;
    }
    p += 2 + 2 * n;
    left -= 2 + 2 * n;
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return false;
}

}  // namespace
}  // namespace w32c

using namespace w32c;

HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage) {
  if (!lpType || !lpName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<ResEntry> entries;
  if (!Entries(hModule, &entries)) return nullptr;
  const ResEntry* e = Find(entries, lpType, lpName, wLanguage);
  return e ? reinterpret_cast<HRSRC>(const_cast<uint8_t*>(e->key)) : nullptr;
}

HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
  return FindResourceExA(hModule, lpType, lpName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo) {
  std::vector<ResEntry> entries;
  if (!hResInfo || !Entries(hModule, &entries)) return nullptr;
  const ResEntry* e = ByHandle(entries, hResInfo);
  return e ? const_cast<uint8_t*>(e->data) : nullptr;
}

LPVOID LockResource(HGLOBAL hResData) { return hResData; }

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  std::vector<ResEntry> entries;
  if (!hResInfo || !Entries(hModule, &entries)) return 0;
  const ResEntry* e = ByHandle(entries, hResInfo);
  return e ? e->size : 0;
}

// Resources stay mapped as long as their module; freeing is a no-op, as on Win32.
BOOL FreeResource(HGLOBAL) { return FALSE; }

int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const uint8_t* units = nullptr;
  size_t length = 0;
  if (!FindString(hInstance, uID, &units, &length)) {
    if (cchBufferMax > 0) lpBuffer[0] = 0;
    return 0;
  }
  if (cchBufferMax == 0) {
    // A read-only pointer to the string inside the resource, which is not NUL-ended.
    const void* p = units;
    memcpy(lpBuffer, &p, sizeof p);
    return static_cast<int>(length);
  }
  size_t n = std::min(length, static_cast<size_t>(cchBufferMax) - 1);
  for (size_t i = 0; i < n; ++i) lpBuffer[i] = ReadLe16(units + 2 * i);
  lpBuffer[n] = 0;
  return static_cast<int>(n);
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const uint8_t* units = nullptr;
  size_t length = 0;
  if (!FindString(hInstance, uID, &units, &length)) {
    lpBuffer[0] = 0;
    return 0;
  }
  std::u16string wide(length, u'\0');
  for (size_t i = 0; i < length; ++i) wide[i] = ReadLe16(units + 2 * i);
  std::string text = Utf16ToUtf8(wide);
  // Truncated on a character boundary: a cut never leaves half a UTF-8 sequence.
  size_t n = Utf8PrefixLength(text.data(), text.size(), static_cast<size_t>(cchBufferMax) - 1);
  memcpy(lpBuffer, text.data(), n);
  lpBuffer[n] = 0;
  return static_cast<int>(n);
}
