// Trees written through the interfaces read back the same: streams of every size around the
// mini-stream cutoff and of several megabytes, deep and wide trees, class ids, state bits,
// deletions, renames, growth and shrinking across commits.
#include "helpers.h"

using namespace cfbtest;

namespace {

const CLSID kClassA = {0x56616700, 0xC154, 0x11CE, {0x85, 0x53, 0x00, 0xAA, 0x00, 0xA1, 0xF9, 0x5B}};
const CLSID kClassB = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};

IStorage* Create(const std::string& file) {
  IStorage* root = nullptr;
  EXPECT_EQ(StgCreateDocfile(W(file).c_str(), kCreate, 0, &root), S_OK);
  return root;
}

IStorage* Open(const std::string& file, DWORD mode = kRW) {
  IStorage* root = nullptr;
  EXPECT_EQ(StgOpenStorage(W(file).c_str(), nullptr, mode, nullptr, 0, &root), S_OK);
  return root;
}

TEST(RoundTrip, StreamSizesAroundTheMiniStreamCutoff) {
  TempDir dir;
  const std::vector<size_t> sizes = {0, 1, 63, 64, 65, 511, 512, 4095, 4096, 4097, 100000, 3 << 20};
  std::string file = dir.File("sizes.cfb");
  IStorage* root = Create(file);
  ASSERT_TRUE(root);
  for (size_t i = 0; i < sizes.size(); ++i)
    WriteStream(root, W("s" + std::to_string(sizes[i])), Pattern(sizes[i], uint32_t(i)));
  EXPECT_EQ(root->Release(), 0u);

  root = Open(file, kRO);
  ASSERT_TRUE(root);
  for (size_t i = 0; i < sizes.size(); ++i) {
    auto got = ReadStream(root, W("s" + std::to_string(sizes[i])));
    EXPECT_EQ(got, Pattern(sizes[i], uint32_t(i))) << sizes[i];
  }
  // Stat reports the size too.
  IStream* s = nullptr;
  ASSERT_EQ(root->OpenStream(u"s4097", nullptr, kRO, 0, &s), S_OK);
  STATSTG st;
  ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 4097u);
  EXPECT_EQ(st.type, DWORD(STGTY_STREAM));
  EXPECT_EQ(st.pwcsName, nullptr);
  s->Release();
  root->Release();
}

TEST(RoundTrip, NestedStoragesClassIdsAndStateBits) {
  TempDir dir;
  std::string file = dir.File("tree.cfb");
  IStorage* root = Create(file);
  ASSERT_TRUE(root);
  ASSERT_EQ(root->SetClass(kClassA), S_OK);
  IStorage* a = nullptr;
  ASSERT_EQ(root->CreateStorage(u"Data Object Store 000001", kCreate, 0, 0, &a), S_OK);
  ASSERT_EQ(a->SetClass(kClassB), S_OK);
  ASSERT_EQ(a->SetStateBits(0xF0F0, 0xFFFF), S_OK);
  ASSERT_EQ(a->SetStateBits(0x000F, 0x00FF), S_OK);
  WriteStream(a, u"\005SummaryInformation", Pattern(300, 1));
  IStorage* b = nullptr;
  ASSERT_EQ(a->CreateStorage(u"Resolution 0000", kCreate, 0, 0, &b), S_OK);
  WriteStream(b, u"Subimage 0000 Data", Pattern(70000, 2));
  EXPECT_EQ(b->Release(), 0u);
  EXPECT_EQ(a->Release(), 0u);
  WriteStream(root, u"\001CompObj", Pattern(100, 3));
  EXPECT_EQ(root->Release(), 0u);

  EXPECT_EQ(DumpFile(file),
            "Data Object Store 000001 S 0 12345678-9ABC-DEF0-0102-030405060708 0\n"
            "Data Object Store 000001/Resolution 0000 S 0 00000000-0000-0000-0000-000000000000 0\n"
            "Data Object Store 000001/Resolution 0000/Subimage 0000 Data T 70000 "
            "00000000-0000-0000-0000-000000000000 " + [] {
              char b[20];
              std::snprintf(b, sizeof b, "%016llx", (unsigned long long)Fnv(Pattern(70000, 2)));
              return std::string(b);
            }() + "\n"
            "Data Object Store 000001/\\x05SummaryInformation T 300 00000000-0000-0000-0000-000000000000 " + [] {
              char b[20];
              std::snprintf(b, sizeof b, "%016llx", (unsigned long long)Fnv(Pattern(300, 1)));
              return std::string(b);
            }() + "\n"
            "\\x01CompObj T 100 00000000-0000-0000-0000-000000000000 " + [] {
              char b[20];
              std::snprintf(b, sizeof b, "%016llx", (unsigned long long)Fnv(Pattern(100, 3)));
              return std::string(b);
            }() + "\n");

  root = Open(file, kRO);
  ASSERT_TRUE(root);
  STATSTG st;
  ASSERT_EQ(root->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_TRUE(IsEqualCLSID(st.clsid, kClassA));
  ASSERT_EQ(root->OpenStorage(u"Data Object Store 000001", nullptr, kRO, nullptr, 0, &a), S_OK);
  ASSERT_EQ(a->Stat(&st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(std::u16string(st.pwcsName), u"Data Object Store 000001");
  EXPECT_EQ(st.grfStateBits, 0xF00Fu);
  EXPECT_NE(st.ctime.dwHighDateTime, 0u);  // storages carry their times
  CoTaskMemFree(st.pwcsName);
  a->Release();
  root->Release();
}

TEST(RoundTrip, ManyEntriesStayFindableAndSorted) {
  TempDir dir;
  std::string file = dir.File("many.cfb");
  IStorage* root = Create(file);
  ASSERT_TRUE(root);
  const int n = 1500;
  // Inserted in a scrambled order; names of different lengths and cases.
  for (int k = 0; k < n; ++k) {
    int i = (k * 7919) % n;
    WriteStream(root, W((i % 2 ? "Item" : "item") + std::to_string(i)), Pattern(i % 200, uint32_t(i)));
  }
  EXPECT_EQ(root->Release(), 0u);

  root = Open(file, kRO);
  ASSERT_TRUE(root);
  // Lookup is case-insensitive, as the directory's ordering is.
  EXPECT_EQ(ReadStream(root, u"ITEM1499"), Pattern(1499 % 200, 1499));
  for (int i = 0; i < n; i += 37) EXPECT_EQ(ReadStream(root, W("item" + std::to_string(i))), Pattern(i % 200, uint32_t(i)));
  // Enumeration: shorter names first, then by upper case.
  IEnumSTATSTG* e = nullptr;
  ASSERT_EQ(root->EnumElements(0, nullptr, 0, &e), S_OK);
  std::vector<std::u16string> names;
  STATSTG batch[64];
  ULONG got = 0;
  HRESULT hr;
  do {
    hr = e->Next(64, batch, &got);
    for (ULONG i = 0; i < got; ++i) {
      names.emplace_back(batch[i].pwcsName);
      CoTaskMemFree(batch[i].pwcsName);
    }
  } while (hr == S_OK);
  EXPECT_EQ(hr, S_FALSE);
  ASSERT_EQ(names.size(), size_t(n));
  for (size_t i = 1; i < names.size(); ++i) {
    ASSERT_LE(names[i - 1].size(), names[i].size());
    if (names[i - 1].size() == names[i].size()) {
      std::u16string a = names[i - 1], b = names[i];
      for (auto& c : a) c = char16_t(toupper(c));
      for (auto& c : b) c = char16_t(toupper(c));
      ASSERT_LT(a, b);
    }
  }
  e->Release();
  root->Release();
}

TEST(RoundTrip, DeleteRenameGrowShrinkAcrossCommits) {
  TempDir dir;
  std::string file = dir.File("edit.cfb");
  IStorage* root = Create(file);
  ASSERT_TRUE(root);
  WriteStream(root, u"grow", Pattern(100, 1));
  WriteStream(root, u"shrink", Pattern(50000, 2));
  WriteStream(root, u"gone", Pattern(10, 3));
  WriteStream(root, u"old name", Pattern(5000, 4));
  IStorage* sub = nullptr;
  ASSERT_EQ(root->CreateStorage(u"sub", kCreate, 0, 0, &sub), S_OK);
  WriteStream(sub, u"inner", Pattern(10, 5));
  sub->Release();
  ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);

  // Grow a mini stream past the cutoff by appending, shrink a large one into the mini stream.
  IStream* s = nullptr;
  ASSERT_EQ(root->OpenStream(u"grow", nullptr, kRW, 0, &s), S_OK);
  LARGE_INTEGER zero{};
  ASSERT_EQ(s->Seek(zero, STREAM_SEEK_END, nullptr), S_OK);
  auto more = Pattern(9000, 6);
  ASSERT_EQ(s->Write(more.data(), ULONG(more.size()), nullptr), S_OK);
  s->Release();
  ASSERT_EQ(root->OpenStream(u"shrink", nullptr, kRW, 0, &s), S_OK);
  ULARGE_INTEGER size;
  size.QuadPart = 1000;
  ASSERT_EQ(s->SetSize(size), S_OK);
  s->Release();
  ASSERT_EQ(root->DestroyElement(u"gone"), S_OK);
  ASSERT_EQ(root->DestroyElement(u"sub"), S_OK);
  ASSERT_EQ(root->RenameElement(u"old name", u"new name"), S_OK);
  ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);

  // A second round on the committed file.
  ASSERT_EQ(root->OpenStream(u"new name", nullptr, kRW, 0, &s), S_OK);
  size.QuadPart = 6000;
  ASSERT_EQ(s->SetSize(size), S_OK);  // grows with zeros
  s->Release();
  EXPECT_EQ(root->Release(), 0u);

  root = Open(file, kRO);
  ASSERT_TRUE(root);
  auto grown = Pattern(100, 1);
  grown.insert(grown.end(), more.begin(), more.end());
  EXPECT_EQ(ReadStream(root, u"grow"), grown);
  auto shrunk = Pattern(50000, 2);
  shrunk.resize(1000);
  EXPECT_EQ(ReadStream(root, u"shrink"), shrunk);
  auto renamed = Pattern(5000, 4);
  renamed.resize(6000, 0);
  EXPECT_EQ(ReadStream(root, u"new name"), renamed);
  IStream* none = nullptr;
  EXPECT_EQ(root->OpenStream(u"gone", nullptr, kRO, 0, &none), STG_E_FILENOTFOUND);
  EXPECT_EQ(root->OpenStream(u"old name", nullptr, kRO, 0, &none), STG_E_FILENOTFOUND);
  IStorage* nosub = nullptr;
  EXPECT_EQ(root->OpenStorage(u"sub", nullptr, kRO, nullptr, 0, &nosub), STG_E_FILENOTFOUND);
  root->Release();
}

TEST(RoundTrip, CopyToAndMoveElementTo) {
  TempDir dir;
  std::string a_file = dir.File("a.cfb"), b_file = dir.File("b.cfb");
  IStorage* a = Create(a_file);
  ASSERT_TRUE(a);
  ASSERT_EQ(a->SetClass(kClassB), S_OK);
  IStorage* sub = nullptr;
  ASSERT_EQ(a->CreateStorage(u"sub", kCreate, 0, 0, &sub), S_OK);
  WriteStream(sub, u"x", Pattern(5000, 9));
  sub->Release();
  WriteStream(a, u"y", Pattern(7, 8));
  IStorage* b = Create(b_file);
  ASSERT_TRUE(b);
  ASSERT_EQ(a->CopyTo(0, nullptr, nullptr, b), S_OK);
  ASSERT_EQ(a->MoveElementTo(u"y", b, u"z", STGMOVE_MOVE), S_OK);
  std::string a_dump = Dump(a);
  a->Release();
  b->Release();
  EXPECT_EQ(a_dump.find("y T"), std::string::npos);  // moved away
  std::string b_dump = DumpFile(b_file);
  EXPECT_NE(b_dump.find("sub/x T 5000"), std::string::npos) << b_dump;
  EXPECT_NE(b_dump.find("y T 7"), std::string::npos) << b_dump;
  EXPECT_NE(b_dump.find("z T 7"), std::string::npos) << b_dump;
}

}  // namespace
