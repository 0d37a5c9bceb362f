// The Win32 file system's bounded whole-file read against files other programs hold open.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "appearance/system/temp_folder.h"
#include "platform/files.h"

namespace tolvane {
namespace {

TEST(FilesWin32Test, ReadLimitedTellsEmptyLargeLockedAndMissingFilesApart) {
  TempFolder temp;
  const std::wstring small = temp.Write(L"small.bin", "hello");
  const std::wstring empty = temp.Write(L"empty.bin", "");
  FileSystem& files = SystemFileSystem();
  std::string bytes;
  EXPECT_EQ(files.ReadLimited(small, 5, bytes), FileSystem::ReadResult::Ok);
  EXPECT_EQ(bytes, "hello");
  EXPECT_EQ(files.ReadLimited(small, 4, bytes), FileSystem::ReadResult::BadSize);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(files.ReadLimited(empty, 100, bytes), FileSystem::ReadResult::BadSize);
  EXPECT_EQ(files.ReadLimited(temp.Name(L"missing.bin"), 100, bytes), FileSystem::ReadResult::CannotOpen);

  // Another program writing the file does not keep it from being read; one that shares nothing does.
  HANDLE writer = CreateFileW(small.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.ReadLimited(small, 100, bytes), FileSystem::ReadResult::Ok);
  CloseHandle(writer);
  HANDLE exclusive = CreateFileW(small.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.ReadLimited(small, 100, bytes), FileSystem::ReadResult::CannotOpen);
  CloseHandle(exclusive);
}

}  // namespace
}  // namespace tolvane
