// A commit that fails at any of its file operations (each write, the fsync, the rename)
// leaves the previous file complete and readable, and no scratch file behind.
#include "helpers.h"
#include "io.h"

using namespace cfbtest;

namespace {

TEST(Safety, FailureAtEveryStepOfACommitKeepsTheOldFile) {
  TempDir dir;
  std::string file = dir.File("safe.cfb");
  IStorage* root = nullptr;
  ASSERT_EQ(StgCreateDocfile(W(file).c_str(), kCreate, 0, &root), S_OK);
  WriteStream(root, u"keep", Pattern(3 << 20, 1));  // several buffered writes
  WriteStream(root, u"small", Pattern(10, 2));
  ASSERT_EQ(root->Release(), 0u);
  const std::string before = DumpFile(file);

  // Count the operations of one commit, then fail each of them in turn.
  int operations = 0;
  for (int n = 1;; ++n) {
    ASSERT_LT(n, 1000);
    ASSERT_EQ(StgOpenStorage(W(file).c_str(), nullptr, kRW, nullptr, 0, &root), S_OK);
    WriteStream(root, u"small", Pattern(5000, 3));
    ASSERT_EQ(root->DestroyElement(u"keep"), S_OK);
    cfb::testing::FailNthOperation(n);
    HRESULT hr = root->Commit(STGC_DEFAULT);
    cfb::testing::FailNthOperation(0);
    if (SUCCEEDED(hr)) {
      operations = n - 1;
      root->Release();
      break;
    }
    EXPECT_EQ(hr, STG_E_WRITEFAULT) << n;
    // What a crash at this point would leave: the old file, whole.
    std::string scratch;
    for (auto& e : fs::directory_iterator(dir.path()))
      if (e.path().filename() != "safe.cfb") scratch += e.path().string() + " ";
    EXPECT_EQ(scratch, "") << n;
    {
      IStorage* other = nullptr;  // still locked by us
      EXPECT_EQ(StgOpenStorage(W(file).c_str(), nullptr, kRO, nullptr, 0, &other), STG_E_SHAREVIOLATION);
    }
    // Releasing the root retries the commit, which now succeeds; re-create the old file
    // for the next round instead, by failing that one too.
    cfb::testing::FailNthOperation(1);
    EXPECT_EQ(root->Release(), 0u);
    cfb::testing::FailNthOperation(0);
    EXPECT_EQ(DumpFile(file), before) << n;
  }
  EXPECT_GE(operations, 3);  // writes, fsync, rename
  std::string after = DumpFile(file);
  EXPECT_EQ(after.find("keep"), std::string::npos);
  EXPECT_NE(after.find("small T 5000"), std::string::npos);
}

TEST(Safety, FailedCreateLeavesNoFile) {
  TempDir dir;
  std::string file = dir.File("new.cfb");
  for (int n = 1; n <= 3; ++n) {
    IStorage* root = nullptr;
    cfb::testing::FailNthOperation(n);
    HRESULT hr = StgCreateDocfile(W(file).c_str(), kCreate, 0, &root);
    cfb::testing::FailNthOperation(0);
    EXPECT_EQ(hr, STG_E_WRITEFAULT) << n;
    EXPECT_EQ(root, nullptr);
    EXPECT_TRUE(fs::is_empty(dir.path())) << n;
  }
}

}  // namespace
