// The entry points and interface rules callers rely on: open modes and sharing, reference
// counts, element access, names, seeking and the statuses of failures.
#include <sys/stat.h>

#include <fstream>

#include "helpers.h"

using namespace cfbtest;

namespace {

class Api : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.File("api.cfb");
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfile(W(file_).c_str(), kCreate, 0, &root), S_OK);
    WriteStream(root, u"stream", Pattern(100, 1));
    IStorage* sub = nullptr;
    ASSERT_EQ(root->CreateStorage(u"sub", kCreate, 0, 0, &sub), S_OK);
    WriteStream(sub, u"inner", Pattern(10, 2));
    sub->Release();
    ASSERT_EQ(root->Release(), 0u);
  }
  IStorage* Open(DWORD mode) {
    IStorage* root = nullptr;
    EXPECT_EQ(StgOpenStorage(W(file_).c_str(), nullptr, mode, nullptr, 0, &root), S_OK);
    return root;
  }
  TempDir dir_;
  std::string file_;
};

TEST_F(Api, ShareExclusiveRefusesASecondOpenUntilTheRootIsReleased) {
  struct Case {
    DWORD first, second;
    HRESULT expected;
  };
  const Case cases[] = {
      {kRW, kRW, STG_E_SHAREVIOLATION},
      {kRW, kRO, STG_E_SHAREVIOLATION},
      {kRO, kRW, STG_E_SHAREVIOLATION},
      {kRO, kRO, STG_E_SHAREVIOLATION},
      {STGM_READ | STGM_SHARE_DENY_WRITE, STGM_READ | STGM_SHARE_DENY_WRITE, S_OK},
      {STGM_READ | STGM_SHARE_DENY_WRITE, kRW, STG_E_SHAREVIOLATION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.first << " then " << c.second);
    IStorage* a = Open(c.first);
    ASSERT_TRUE(a);
    IStorage* b = nullptr;
    EXPECT_EQ(StgOpenStorage(W(file_).c_str(), nullptr, c.second, nullptr, 0, &b), c.expected);
    if (b) b->Release();
    // Replacing the file while it is open is refused as well.
    IStorage* created = nullptr;
    EXPECT_EQ(StgCreateDocfile(W(file_).c_str(), kCreate, 0, &created), STG_E_SHAREVIOLATION);
    EXPECT_EQ(a->Release(), 0u);
    b = Open(c.second);  // free again
    if (b) b->Release();
  }
}

TEST_F(Api, ReleaseReportsTheRemainingReferences) {
  IStorage* root = Open(kRW);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->AddRef(), 2u);
  EXPECT_EQ(root->AddRef(), 3u);
  IStorage* same = nullptr;
  ASSERT_EQ(root->QueryInterface(IID_IStorage, reinterpret_cast<void**>(&same)), S_OK);
  EXPECT_EQ(same, root);
  void* nothing = nullptr;
  EXPECT_EQ(root->QueryInterface(IID_IStream, &nothing), E_NOINTERFACE);
  EXPECT_EQ(nothing, nullptr);
  // The way the filter closes its storages: Release until it reports 0.
  ULONG left;
  int calls = 0;
  do {
    left = root->Release();
    ++calls;
  } while (left != 0);
  EXPECT_EQ(calls, 4);
  IStorage* again = Open(kRW);  // closed: the file is free
  ASSERT_TRUE(again);
  again->Release();
}

TEST_F(Api, ReadOnlyOpensRefuseEveryChange) {
  IStorage* root = Open(kRO);
  ASSERT_TRUE(root);
  IStream* s = nullptr;
  EXPECT_EQ(root->CreateStream(u"new", kCreate, 0, 0, &s), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->OpenStream(u"stream", nullptr, kRW, 0, &s), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->DestroyElement(u"stream"), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->RenameElement(u"stream", u"x"), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->SetClass(CLSID_NULL), STG_E_ACCESSDENIED);
  ASSERT_EQ(root->OpenStream(u"stream", nullptr, kRO, 0, &s), S_OK);
  ULONG put = 7;
  EXPECT_EQ(s->Write("x", 1, &put), STG_E_ACCESSDENIED);
  EXPECT_EQ(put, 0u);
  ULARGE_INTEGER size;
  size.QuadPart = 1;
  EXPECT_EQ(s->SetSize(size), STG_E_ACCESSDENIED);
  s->Release();
  IStorage* sub = nullptr;
  EXPECT_EQ(root->OpenStorage(u"sub", nullptr, kRW, nullptr, 0, &sub), STG_E_ACCESSDENIED);
  root->Release();
}

TEST_F(Api, OpenFailures) {
  IStorage* root = nullptr;
  EXPECT_EQ(StgOpenStorage(W(dir_.File("missing.cfb")).c_str(), nullptr, kRO, nullptr, 0, &root), STG_E_FILENOTFOUND);
  EXPECT_EQ(StgOpenStorage(W(dir_.File("no/such/dir.cfb")).c_str(), nullptr, kRO, nullptr, 0, &root), STG_E_PATHNOTFOUND);
  std::ofstream(dir_.File("text.txt")) << "this is not a compound file, but it is long enough";
  EXPECT_EQ(StgOpenStorage(W(dir_.File("text.txt")).c_str(), nullptr, kRO, nullptr, 0, &root), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(StgIsStorageFile(W(dir_.File("text.txt")).c_str()), S_FALSE);
  EXPECT_EQ(StgIsStorageFile(W(file_).c_str()), S_OK);
  EXPECT_EQ(StgOpenStorage(W(dir_.path().string()).c_str(), nullptr, kRO, nullptr, 0, &root), STG_E_ACCESSDENIED);
  EXPECT_EQ(StgOpenStorage(nullptr, nullptr, kRO, nullptr, 0, &root), STG_E_INVALIDNAME);
  EXPECT_EQ(StgOpenStorage(W(file_).c_str(), nullptr, kRO, nullptr, 0, nullptr), STG_E_INVALIDPOINTER);
  EXPECT_EQ(StgOpenStorage(W(file_).c_str(), nullptr, STGM_READWRITE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root), STG_E_INVALIDFLAG);
  EXPECT_EQ(root, nullptr);
  // Creating without STGM_CREATE keeps an existing file.
  EXPECT_EQ(StgCreateDocfile(W(file_).c_str(), kRW, 0, &root), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(DumpFile(file_).find("stream T 100"), 0u);
  // A read-only file opens for reading only.
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);
  if (geteuid() != 0) {
    EXPECT_EQ(StgOpenStorage(W(file_).c_str(), nullptr, kRW, nullptr, 0, &root), STG_E_ACCESSDENIED);
  }
  root = Open(kRO);
  if (root) root->Release();
}

TEST_F(Api, WindowsStylePathsAreAccepted) {
  std::string win = "C:" + file_;
  for (auto& c : win)
    if (c == '/') c = '\\';
  IStorage* root = nullptr;
  ASSERT_EQ(StgOpenStorage(W(win).c_str(), nullptr, kRO, nullptr, 0, &root), S_OK);
  root->Release();
}

TEST_F(Api, ElementsOpenOnceAndNameRules) {
  IStorage* root = Open(kRW);
  ASSERT_TRUE(root);
  IStream* s1 = nullptr;
  IStream* s2 = nullptr;
  ASSERT_EQ(root->OpenStream(u"stream", nullptr, kRW, 0, &s1), S_OK);
  EXPECT_EQ(root->OpenStream(u"stream", nullptr, kRW, 0, &s2), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->CreateStream(u"stream", kCreate, 0, 0, &s2), STG_E_ACCESSDENIED);
  s1->Release();
  // Case does not tell names apart.
  ASSERT_EQ(root->OpenStream(u"STREAM", nullptr, kRW, 0, &s1), S_OK);
  s1->Release();
  EXPECT_EQ(root->CreateStream(u"Stream", kRW, 0, 0, &s1), STG_E_FILEALREADYEXISTS);
  EXPECT_EQ(root->OpenStream(u"sub", nullptr, kRO, 0, &s1), STG_E_FILENOTFOUND);  // a storage
  EXPECT_EQ(root->OpenStream(u"stream", nullptr, STGM_READ | STGM_SHARE_DENY_NONE, 0, &s1), STG_E_INVALIDFLAG);
  const std::u16string bad[] = {u"", u"a/b", u"a\\b", u"a:b", u"a!b",
                                u"0123456789012345678901234567890123"};
  for (const auto& name : bad) EXPECT_EQ(root->CreateStream(name.c_str(), kCreate, 0, 0, &s1), STG_E_INVALIDNAME);
  EXPECT_EQ(root->CreateStream(u"0123456789012345678901234567890", kCreate, 0, 0, &s1), S_OK);  // 31
  s1->Release();
  EXPECT_EQ(root->RenameElement(u"stream", u"sub"), STG_E_ACCESSDENIED);
  EXPECT_EQ(root->RenameElement(u"nothing", u"x"), STG_E_FILENOTFOUND);
  EXPECT_EQ(root->DestroyElement(u"nothing"), STG_E_FILENOTFOUND);
  root->Release();
}

TEST_F(Api, ObjectsOfDestroyedElementsAndClosedFilesAreReverted) {
  IStorage* root = Open(kRW);
  ASSERT_TRUE(root);
  IStorage* sub = nullptr;
  ASSERT_EQ(root->OpenStorage(u"sub", nullptr, kRW, nullptr, 0, &sub), S_OK);
  IStream* inner = nullptr;
  ASSERT_EQ(sub->OpenStream(u"inner", nullptr, kRW, 0, &inner), S_OK);
  ASSERT_EQ(root->DestroyElement(u"sub"), S_OK);
  char buf[4];
  ULONG got;
  EXPECT_EQ(inner->Read(buf, 4, &got), STG_E_REVERTED);
  STATSTG st;
  EXPECT_EQ(sub->Stat(&st, STATFLAG_NONAME), STG_E_REVERTED);
  inner->Release();
  sub->Release();

  IStream* s = nullptr;
  ASSERT_EQ(root->OpenStream(u"stream", nullptr, kRW, 0, &s), S_OK);
  EXPECT_EQ(root->Release(), 0u);  // closes the file
  EXPECT_EQ(s->Write("x", 1, nullptr), STG_E_REVERTED);
  EXPECT_EQ(s->Release(), 0u);
  EXPECT_EQ(DumpFile(file_).find("sub"), std::string::npos);
}

TEST_F(Api, SeekReadAndClone) {
  IStorage* root = Open(kRW);
  ASSERT_TRUE(root);
  IStream* s = nullptr;
  ASSERT_EQ(root->OpenStream(u"stream", nullptr, kRW, 0, &s), S_OK);
  auto bytes = Pattern(100, 1);
  struct Case {
    int64_t move;
    DWORD origin;
    HRESULT hr;
    uint64_t pos;
  };
  const Case cases[] = {{10, STREAM_SEEK_SET, S_OK, 10},     {5, STREAM_SEEK_CUR, S_OK, 15},
                        {-1, STREAM_SEEK_END, S_OK, 99},     {-100, STREAM_SEEK_CUR, STG_E_INVALIDFUNCTION, 99},
                        {200, STREAM_SEEK_SET, S_OK, 200},   {0, 7, STG_E_INVALIDFUNCTION, 200}};
  for (const Case& c : cases) {
    LARGE_INTEGER m;
    m.QuadPart = c.move;
    ULARGE_INTEGER pos{};
    EXPECT_EQ(s->Seek(m, c.origin, &pos), c.hr);
    LARGE_INTEGER zero{};
    ASSERT_EQ(s->Seek(zero, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, c.pos);
  }
  // Reading past the end gives nothing; writing past it fills the gap with zeros.
  uint8_t buf[16];
  ULONG got = 9;
  EXPECT_EQ(s->Read(buf, sizeof buf, &got), S_OK);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(s->Write("end", 3, nullptr), S_OK);
  IStream* c = nullptr;
  ASSERT_EQ(s->Clone(&c), S_OK);
  LARGE_INTEGER m;
  m.QuadPart = 98;
  ASSERT_EQ(c->Seek(m, STREAM_SEEK_SET, nullptr), S_OK);
  ASSERT_EQ(c->Read(buf, 4, &got), S_OK);
  ASSERT_EQ(got, 4u);
  EXPECT_EQ(buf[0], bytes[98]);
  EXPECT_EQ(buf[1], bytes[99]);
  EXPECT_EQ(buf[2], 0);
  EXPECT_EQ(buf[3], 0);
  STATSTG st;
  ASSERT_EQ(c->Stat(&st, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(st.cbSize.QuadPart, 203u);
  c->Release();
  // Sizes beyond the format's 32 bits are refused, not wrapped.
  ULARGE_INTEGER huge;
  huge.QuadPart = 1ull << 32;
  EXPECT_EQ(s->SetSize(huge), STG_E_MEDIUMFULL);
  m.QuadPart = int64_t(0xFFFFFFFFull);
  ASSERT_EQ(s->Seek(m, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(s->Write("x", 1, nullptr), STG_E_MEDIUMFULL);
  s->Release();
  root->Release();
}

TEST_F(Api, EnumeratorSkipResetCloneAndStat) {
  IStorage* root = Open(kRO);
  ASSERT_TRUE(root);
  IEnumSTATSTG* e = nullptr;
  ASSERT_EQ(root->EnumElements(0, nullptr, 0, &e), S_OK);
  STATSTG st[4];
  ULONG got = 0;
  EXPECT_EQ(e->Next(4, st, &got), S_FALSE);
  ASSERT_EQ(got, 2u);
  EXPECT_EQ(std::u16string(st[0].pwcsName), u"sub");  // shorter name first
  EXPECT_EQ(st[0].type, DWORD(STGTY_STORAGE));
  EXPECT_EQ(std::u16string(st[1].pwcsName), u"stream");
  EXPECT_EQ(st[1].cbSize.QuadPart, 100u);
  for (ULONG i = 0; i < got; ++i) CoTaskMemFree(st[i].pwcsName);
  EXPECT_EQ(e->Next(2, st, nullptr), STG_E_INVALIDPOINTER);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(1), S_OK);
  IEnumSTATSTG* c = nullptr;
  ASSERT_EQ(e->Clone(&c), S_OK);
  ASSERT_EQ(c->Next(1, st, nullptr), S_OK);
  EXPECT_EQ(std::u16string(st[0].pwcsName), u"stream");
  CoTaskMemFree(st[0].pwcsName);
  EXPECT_EQ(e->Skip(5), S_FALSE);
  EXPECT_EQ(c->Release(), 0u);
  EXPECT_EQ(e->Release(), 0u);
  // The root's Stat names the file.
  ASSERT_EQ(root->Stat(st, STATFLAG_DEFAULT), S_OK);
  EXPECT_EQ(std::u16string(st[0].pwcsName), W(file_));
  CoTaskMemFree(st[0].pwcsName);
  root->Release();
}

TEST_F(Api, CreateWithoutNameMakesAScratchFile) {
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(nullptr, kCreate | STGM_DELETEONRELEASE, 0, &root), S_OK);
  STATSTG st;
  ASSERT_EQ(root->Stat(&st, STATFLAG_DEFAULT), S_OK);
  std::u16string name(st.pwcsName);
  CoTaskMemFree(st.pwcsName);
  std::string path(name.begin(), name.end());
  EXPECT_TRUE(fs::exists(path));
  WriteStream(root, u"x", Pattern(10, 1));
  root->Release();
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
