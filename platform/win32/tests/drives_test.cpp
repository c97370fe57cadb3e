// The drive table: removable drives with labels, swapping disks, capacity, volume calls.
#include <stdlib.h>

#include "k32_fixture.h"

namespace {

struct Volume {
  bool ok;
  DWORD error;
  std::string label, fs;
  DWORD serial;
};

Volume Info(const char* root) {
  Volume v{};
  char label[64], fs[64];
  DWORD max_component = 0, flags = 0;
  v.ok = GetVolumeInformationA(root, label, sizeof label, &v.serial, &max_component, &flags, fs,
                               sizeof fs) != FALSE;
  v.error = v.ok ? 0 : GetLastError();
  if (v.ok) {
    v.label = label;
    v.fs = fs;
    EXPECT_EQ(max_component, 255u);
  }
  return v;
}

class Drives : public testing::Test {
 protected:
  void SetUp() override {
    slot_ = dir_.P("slot");
    std::filesystem::create_directory(slot_);
    ASSERT_TRUE(Win32CompatMapDrive('A', slot_.c_str(), TRUE, "PKBACK# 001"));
  }
  void TearDown() override { Win32CompatUnmapDrive('A'); }
  ScratchDir dir_;
  std::string slot_;
};

TEST_F(Drives, TypesAndLogicalDrives) {
  struct Case {
    const char* root;
    UINT type;
  } cases[] = {
      {"A:\\", DRIVE_REMOVABLE}, {"a:", DRIVE_REMOVABLE},   {"C:\\", DRIVE_FIXED},
      {nullptr, DRIVE_FIXED},    {"\\", DRIVE_FIXED},       {"Q:\\", DRIVE_NO_ROOT_DIR},
      {"C:\\tmp\\", DRIVE_NO_ROOT_DIR}, {"", DRIVE_NO_ROOT_DIR},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetDriveTypeA(c.root), c.type) << (c.root ? c.root : "NULL");
  DWORD drives = GetLogicalDrives();
  EXPECT_TRUE(drives & 1u);         // A:
  EXPECT_TRUE(drives & (1u << 2));  // C:
  EXPECT_FALSE(drives & (1u << 16));
}

TEST_F(Drives, LabelsAndSwappingDisks) {
  Volume first = Info("A:\\");
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.label, "PKBACK# 001");
  EXPECT_EQ(first.fs, "FAT");
  dir_.Write("slot/part1.zip", "volume one");

  // Take the disk out: the drive stays, but is not ready.
  std::filesystem::rename(slot_, dir_.P("disk1"));
  EXPECT_EQ(GetDriveTypeA("A:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  Volume none = Info("A:\\");
  EXPECT_FALSE(none.ok);
  EXPECT_EQ(none.error, static_cast<DWORD>(ERROR_NOT_READY));
  EXPECT_EQ(CreateFileA("A:\\part1.zip", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));

  // Another disk: its own files, label and serial number.
  std::filesystem::create_directory(dir_.P("disk2"));
  dir_.Write("disk2/" WIN32COMPAT_LABEL_FILE, "PKBACK# 002\n0BADF00D\n");
  dir_.Write("disk2/part2.zip", "volume two");
  std::filesystem::rename(dir_.P("disk2"), slot_);
  Volume second = Info("A:\\");
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(second.label, "PKBACK# 002");
  EXPECT_EQ(second.serial, 0x0BADF00Du);
  EXPECT_EQ(GetFileAttributesA("A:\\part1.zip"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("A:\\part2.zip"), INVALID_FILE_ATTRIBUTES);

  // Relabelling keeps the serial number, as formatting would not.
  EXPECT_TRUE(SetVolumeLabelA("A:\\", "BACKUP"));
  Volume relabelled = Info("A:\\");
  EXPECT_EQ(relabelled.label, "BACKUP");
  EXPECT_EQ(relabelled.serial, 0x0BADF00Du);
  EXPECT_TRUE(SetVolumeLabelA("A:\\", nullptr));
  EXPECT_EQ(Info("A:\\").label, "");

  // The first disk back in.
  std::filesystem::rename(slot_, dir_.P("disk2"));
  std::filesystem::rename(dir_.P("disk1"), slot_);
  Volume back = Info("A:\\");
  EXPECT_EQ(back.label, "PKBACK# 001");
  EXPECT_EQ(back.serial, first.serial);
}

TEST_F(Drives, VolumeCallFailures) {
  struct Case {
    const char* root;
    const char* label;
    DWORD error;
  } cases[] = {
      {"A:\\", "TWELVE CHARS", ERROR_LABEL_TOO_LONG},
      {"A:\\", "A*B", ERROR_INVALID_NAME},
      {"C:\\", "SYSTEM", ERROR_ACCESS_DENIED},  // only removable drives take labels
      {"Q:\\", "X", ERROR_PATH_NOT_FOUND},
      {"A:\\dir\\", "X", ERROR_DIR_NOT_ROOT},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(SetVolumeLabelA(c.root, c.label)) << c.root << " " << c.label;
    EXPECT_EQ(GetLastError(), c.error) << c.root << " " << c.label;
  }
  EXPECT_EQ(Info("A:\\").label, "PKBACK# 001");
  char tiny[4];
  EXPECT_FALSE(GetVolumeInformationA("A:\\", tiny, sizeof tiny, nullptr, nullptr, nullptr,
                                     nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
  Volume c = Info("C:\\");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.label, "");
  EXPECT_EQ(c.fs, "NTFS");

  EXPECT_FALSE(Win32CompatMapDrive('1', "/tmp", FALSE, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Win32CompatMapDrive('B', "relative", FALSE, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Win32CompatUnmapDrive('B'));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DRIVE));
  EXPECT_FALSE(Win32CompatSetDriveCapacity('C', 100));
}

TEST_F(Drives, CapacityFillsTheDisk) {
  ASSERT_TRUE(Win32CompatSetDriveCapacity('A', 1000));
  ULARGE_INTEGER avail, total, free_bytes;
  ASSERT_TRUE(GetDiskFreeSpaceExA("A:\\", &avail, &total, &free_bytes));
  EXPECT_EQ(total.QuadPart, 1000u);
  EXPECT_EQ(avail.QuadPart, 1000u);  // the label file does not count

  HANDLE h = CreateFileA("A:\\part.zip", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string block(600, 'z');
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, block.data(), 600, &n, nullptr));
  ASSERT_TRUE(GetDiskFreeSpaceExA("A:\\", &avail, nullptr, nullptr));
  EXPECT_EQ(avail.QuadPart, 400u);
  EXPECT_FALSE(WriteFile(h, block.data(), 500, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(WriteFile(h, block.data(), 400, &n, nullptr));  // exactly full
  // Overwriting inside the file needs no room.
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  EXPECT_TRUE(WriteFile(h, block.data(), 100, &n, nullptr));
  CloseHandle(h);
  EXPECT_EQ(std::filesystem::file_size(slot_ + "/part.zip"), 1000u);

  dir_.Write("big", std::string(10, 'b'));
  EXPECT_FALSE(CopyFileA(dir_.W("big").c_str(), "A:\\big", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(std::filesystem::exists(slot_ + "/big"));
  EXPECT_FALSE(MoveFileA(dir_.W("big").c_str(), "A:\\big"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_TRUE(DeleteFileA("A:\\part.zip"));
  EXPECT_TRUE(MoveFileA(dir_.W("big").c_str(), "A:\\big"));
  ASSERT_TRUE(Win32CompatSetDriveCapacity('A', 0));

  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &avail, &total, &free_bytes));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(avail.QuadPart, free_bytes.QuadPart);
  EXPECT_FALSE(GetDiskFreeSpaceExA("Q:\\", &avail, &total, &free_bytes));
}

TEST(DriveEnvironment, TableStartsFromTheEnvironment) {
  // A fresh process, so that the table is built after the variable is set.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // No other call before: the first one builds the table.
  std::string spec = "D=" PS_BINARY_DIR ":removable;E=" PS_BINARY_DIR;
  EXPECT_EXIT(
      {
        setenv("WIN32COMPAT_DRIVES", spec.c_str(), 1);
        bool ok = GetDriveTypeA("D:\\") == DRIVE_REMOVABLE && GetDriveTypeA("E:\\") == DRIVE_FIXED &&
                  GetDriveTypeA("C:\\") == DRIVE_FIXED;
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
