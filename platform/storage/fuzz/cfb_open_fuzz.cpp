// Opens arbitrary bytes as a compound file, enumerates every storage and reads every stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <storage/objbase.h>

#include "internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IStorage* root = nullptr;
  if (FAILED(cfb::OpenStorageOnMemory(std::vector<uint8_t>(data, data + size), &root))) return 0;
  std::vector<IStorage*> todo{root};
  std::vector<uint8_t> buf(1 << 16);
  while (!todo.empty()) {
    IStorage* stg = todo.back();
    todo.pop_back();
    IEnumSTATSTG* e = nullptr;
    if (SUCCEEDED(stg->EnumElements(0, nullptr, 0, &e))) {
      STATSTG st;
      while (e->Next(1, &st, nullptr) == S_OK) {
        if (st.type == STGTY_STREAM) {
          IStream* s = nullptr;
          if (SUCCEEDED(stg->OpenStream(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s))) {
            ULONG got = 0;
            while (SUCCEEDED(s->Read(buf.data(), ULONG(buf.size()), &got)) && got > 0) {
            }
            s->Release();
          }
        } else {
          IStorage* sub = nullptr;
          if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                         nullptr, 0, &sub)))
            todo.push_back(sub);
        }
        CoTaskMemFree(st.pwcsName);
      }
      e->Release();
    }
    stg->Release();
  }
  return 0;
}
