// The interface objects over a Document: storages, streams and element enumerators, each
// reference counted; an object whose element was destroyed, or whose file was closed by the
// release of its root, answers STG_E_REVERTED.
#pragma once
#include <storage/objidl.h>

#include <atomic>
#include <memory>

#include "document.h"

namespace cfb {

using DocPtr = std::shared_ptr<Document>;

// Wraps a freshly opened root (Load or InitEmpty done, source adopted).
IStorage* NewRootStorage(DocPtr doc, DWORD mode);
IStorage* NewStorage(DocPtr doc, int node, DWORD mode, bool can_write);
IStream* NewStream(DocPtr doc, int node, DWORD mode, bool can_write, uint64_t pos);
IEnumSTATSTG* NewEnumerator(DocPtr doc, int storage);

// Fills a STATSTG for an element (name allocated with CoTaskMemAlloc unless no_name).
HRESULT FillStat(const Document& doc, int node, DWORD mode, bool no_name, STATSTG* out);
LPOLESTR CopyName(const std::u16string& name);

// Status of an element open request: checks the mode flags and the parent's access.
HRESULT CheckChildMode(DWORD mode, bool parent_can_write);

}  // namespace cfb
