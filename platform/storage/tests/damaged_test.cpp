// Damaged files: each gives a storage status, never a crash, a hang or an allocation beyond
// the file's size.  The cases patch one field of a good file.
#include <fstream>

#include "format.h"
#include "helpers.h"
#include "internal.h"

using namespace cfbtest;
using cfb::Get32;
using cfb::Put16;
using cfb::Put32;

namespace {

std::vector<uint8_t> GoodFile() {
  TempDir dir;
  std::string file = dir.File("good.cfb");
  IStorage* root = nullptr;
  EXPECT_EQ(StgCreateDocfile(W(file).c_str(), kCreate, 0, &root), S_OK);
  WriteStream(root, u"big", Pattern(10000, 1));
  WriteStream(root, u"small", Pattern(100, 2));
  IStorage* sub = nullptr;
  EXPECT_EQ(root->CreateStorage(u"sub", kCreate, 0, 0, &sub), S_OK);
  WriteStream(sub, u"inner", Pattern(5000, 3));
  WriteStream(sub, u"tiny", Pattern(10, 4));
  sub->Release();
  root->Release();
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Byte offset of the directory entry with this name (the writer keeps the directory
// contiguous from sector 0).
size_t Entry(const std::vector<uint8_t>& f, const std::u16string& name) {
  for (size_t off = 512; off + 128 <= f.size(); off += 128) {
    std::u16string n;
    for (size_t i = 0; i < 32 && f[off + 2 * i]; ++i) n.push_back(char16_t(f[off + 2 * i]));
    if (n == name && f[off + cfb::kDirType] != 0) return off;
  }
  ADD_FAILURE() << "no entry";
  return 512;
}
size_t Index(size_t entry_off) { return (entry_off - 512) / 128; }
uint32_t FatSector(const std::vector<uint8_t>& f) { return Get32(f.data() + cfb::kHdrDifat); }
uint8_t* FatEntry(std::vector<uint8_t>& f, uint32_t s) { return f.data() + 512 + 512 * FatSector(f) + 4 * s; }

// Opens, enumerates everything and reads every stream; returns the first failure.
HRESULT OpenAndWalk(std::vector<uint8_t> bytes) {
  IStorage* root = nullptr;
  HRESULT hr = cfb::OpenStorageOnMemory(std::move(bytes), &root);
  if (FAILED(hr)) return hr;
  std::vector<IStorage*> todo{root};
  while (!todo.empty()) {
    IStorage* stg = todo.back();
    todo.pop_back();
    IEnumSTATSTG* e = nullptr;
    if (SUCCEEDED(stg->EnumElements(0, nullptr, 0, &e))) {
      STATSTG st;
      while (e->Next(1, &st, nullptr) == S_OK) {
        if (st.type == STGTY_STREAM) {
          IStream* s = nullptr;
          if (SUCCEEDED(stg->OpenStream(st.pwcsName, nullptr, kRO, 0, &s))) {
            ReadAll(s);
            s->Release();
          }
        } else {
          IStorage* sub = nullptr;
          if (SUCCEEDED(stg->OpenStorage(st.pwcsName, nullptr, kRO, nullptr, 0, &sub))) todo.push_back(sub);
        }
        CoTaskMemFree(st.pwcsName);
      }
      e->Release();
    }
    stg->Release();
  }
  return S_OK;
}

struct Damage {
  const char* what;
  void (*patch)(std::vector<uint8_t>&);
  HRESULT expected;
};

const Damage kDamage[] = {
    {"not a compound file", [](std::vector<uint8_t>& f) { f[0] = 'P'; }, STG_E_FILEALREADYEXISTS},
    {"byte order mark", [](std::vector<uint8_t>& f) { Put16(f.data() + cfb::kHdrByteOrder, 0xFEFF); }, STG_E_INVALIDHEADER},
    {"sector shift", [](std::vector<uint8_t>& f) { Put16(f.data() + cfb::kHdrSectorShift, 10); }, STG_E_INVALIDHEADER},
    {"version 3 with 4096-byte sectors", [](std::vector<uint8_t>& f) { Put16(f.data() + cfb::kHdrSectorShift, 12); }, STG_E_INVALIDHEADER},
    {"mini cutoff", [](std::vector<uint8_t>& f) { Put32(f.data() + cfb::kHdrMiniCutoff, 512); }, STG_E_INVALIDHEADER},
    {"huge FAT sector count", [](std::vector<uint8_t>& f) { Put32(f.data() + cfb::kHdrNumFatSectors, 0xFFFFFFF0u); }, STG_E_DOCFILECORRUPT},
    {"FAT count needing DIFAT that is not there", [](std::vector<uint8_t>& f) { Put32(f.data() + cfb::kHdrNumFatSectors, 20); }, STG_E_DOCFILECORRUPT},
    {"DIFAT entry out of range", [](std::vector<uint8_t>& f) { Put32(f.data() + cfb::kHdrDifat, 0x7FFFFFFF); }, STG_E_DOCFILECORRUPT},
    {"directory start out of range", [](std::vector<uint8_t>& f) { Put32(f.data() + cfb::kHdrFirstDirSector, 100000); }, STG_E_DOCFILECORRUPT},
    {"directory chain loops", [](std::vector<uint8_t>& f) { Put32(FatEntry(f, 0), 0); }, STG_E_DOCFILECORRUPT},
    {"stream chain loops back", [](std::vector<uint8_t>& f) {
       uint32_t start = Get32(f.data() + Entry(f, u"big") + cfb::kDirStartSector);
       Put32(FatEntry(f, start + 5), start);
     }, STG_E_DOCFILECORRUPT},
    {"stream chain ends early", [](std::vector<uint8_t>& f) {
       uint32_t start = Get32(f.data() + Entry(f, u"big") + cfb::kDirStartSector);
       Put32(FatEntry(f, start + 5), cfb::kEndOfChain);
     }, STG_E_DOCFILECORRUPT},
    {"two streams share sectors", [](std::vector<uint8_t>& f) {
       uint32_t start = Get32(f.data() + Entry(f, u"big") + cfb::kDirStartSector);
       Put32(f.data() + Entry(f, u"inner") + cfb::kDirStartSector, start);
     }, STG_E_DOCFILECORRUPT},
    {"FAT entry out of range", [](std::vector<uint8_t>& f) {
       uint32_t start = Get32(f.data() + Entry(f, u"big") + cfb::kDirStartSector);
       Put32(FatEntry(f, start), 0x00FFFFFF);
     }, STG_E_DOCFILECORRUPT},
    {"stream start out of range", [](std::vector<uint8_t>& f) { Put32(f.data() + Entry(f, u"big") + cfb::kDirStartSector, 0xFFFFFFF0u); }, STG_E_DOCFILECORRUPT},
    {"mini stream start out of range", [](std::vector<uint8_t>& f) { Put32(f.data() + Entry(f, u"small") + cfb::kDirStartSector, 100000); }, STG_E_DOCFILECORRUPT},
    {"huge stream size", [](std::vector<uint8_t>& f) { Put32(f.data() + Entry(f, u"big") + cfb::kDirStreamSize, 0xFFFFFFF0u); }, STG_E_DOCFILECORRUPT},
    {"huge mini stream", [](std::vector<uint8_t>& f) { Put32(f.data() + 512 + cfb::kDirStreamSize, 0x7FFFFFC0u); }, STG_E_DOCFILECORRUPT},
    {"mini size beyond the mini stream", [](std::vector<uint8_t>& f) { Put32(f.data() + Entry(f, u"small") + cfb::kDirStreamSize, 4000); }, STG_E_DOCFILECORRUPT},
    {"sibling points at itself", [](std::vector<uint8_t>& f) {
       size_t e = Entry(f, u"small");
       Put32(f.data() + e + cfb::kDirLeft, uint32_t(Index(e)));
     }, STG_E_DOCFILECORRUPT},
    {"child points back at the root", [](std::vector<uint8_t>& f) { Put32(f.data() + Entry(f, u"sub") + cfb::kDirChild, 0); }, STG_E_DOCFILECORRUPT},
    {"child points at its own storage", [](std::vector<uint8_t>& f) {
       size_t e = Entry(f, u"sub");
       Put32(f.data() + e + cfb::kDirChild, uint32_t(Index(e)));
     }, STG_E_DOCFILECORRUPT},
    {"link past the directory", [](std::vector<uint8_t>& f) { Put32(f.data() + Entry(f, u"small") + cfb::kDirRight, 5000); }, STG_E_DOCFILECORRUPT},
    {"odd name length", [](std::vector<uint8_t>& f) { Put16(f.data() + Entry(f, u"small") + cfb::kDirNameLength, 11); }, STG_E_DOCFILECORRUPT},
    {"name length past the field", [](std::vector<uint8_t>& f) { Put16(f.data() + Entry(f, u"small") + cfb::kDirNameLength, 66); }, STG_E_DOCFILECORRUPT},
    {"unknown entry kind", [](std::vector<uint8_t>& f) { f[Entry(f, u"small") + cfb::kDirType] = 7; }, STG_E_DOCFILECORRUPT},
    {"root entry missing", [](std::vector<uint8_t>& f) { f[512 + cfb::kDirType] = cfb::kTypeStorage; }, STG_E_DOCFILECORRUPT},
    {"twin names", [](std::vector<uint8_t>& f) {
       size_t a = Entry(f, u"big");
       Put16(f.data() + a + 4, 0);  // "big" -> "bi"
       size_t b = Entry(f, u"sub");
       f[b] = 'b';
       f[b + 2] = 'i';
       Put16(f.data() + b + 4, 0);
       Put16(f.data() + a + cfb::kDirNameLength, 6);
       Put16(f.data() + b + cfb::kDirNameLength, 6);
     }, STG_E_DOCFILECORRUPT},
};

TEST(Damaged, EachDamageGivesItsStatus) {
  const std::vector<uint8_t> good = GoodFile();
  ASSERT_EQ(OpenAndWalk(good), S_OK);
  for (const Damage& d : kDamage) {
    std::vector<uint8_t> f = good;
    d.patch(f);
    EXPECT_EQ(OpenAndWalk(f), d.expected) << d.what;
  }
}

TEST(Damaged, TruncatedFilesFail) {
  const std::vector<uint8_t> good = GoodFile();
  // Any cut that loses a whole sector loses something the tree needs (the FAT is last).
  for (size_t len : {size_t(0), size_t(7), size_t(8), size_t(100), size_t(511), size_t(512), size_t(1024),
                     good.size() / 2, good.size() - 512}) {
    std::vector<uint8_t> f(good.begin(), good.begin() + long(len));
    HRESULT hr = OpenAndWalk(f);
    EXPECT_TRUE(FAILED(hr)) << len;
    EXPECT_EQ(HRESULT(hr & 0xFFFF0000), HRESULT(0x80030000)) << len;  // a storage status
  }
  // Through the file entry point too.
  TempDir dir;
  std::string file = dir.File("cut.cfb");
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(good.data()), 3000);
  IStorage* root = nullptr;
  EXPECT_EQ(StgOpenStorage(W(file).c_str(), nullptr, kRO, nullptr, 0, &root), STG_E_DOCFILECORRUPT);
  EXPECT_EQ(root, nullptr);
}

TEST(Damaged, EveryByteFlipStaysSafe) {
  // Flipping each byte of the header and directory must never crash; the outcome may be a
  // status or a (different) tree.
  const std::vector<uint8_t> good = GoodFile();
  for (size_t i = 0; i < 512 + 6 * 128; ++i) {
    std::vector<uint8_t> f = good;
    f[i] ^= 0xFF;
    HRESULT hr = OpenAndWalk(f);
    if (FAILED(hr)) {
      EXPECT_EQ(HRESULT(hr & 0xFFFF0000), HRESULT(0x80030000)) << i;
    }
  }
}

}  // namespace
