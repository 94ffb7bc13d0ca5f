// The platform module's temporary files: invisible until committed, gone
// when abandoned, and a commit leaves exactly the target behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "Platform.h"
#include "test_util.h"

namespace {

std::string Listing(const std::string& directory) {
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names += entry.path().filename().string() + " ";
  return names;
}

TEST(PlatformTest, AbandonedTemporaryLeavesNothing) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("m"), "old");
  {
    auto file = platform::CTempFile::CreateBeside(dir.File("m"));
    ASSERT_TRUE(file);
    const unsigned char bytes[] = {'n', 'e', 'w'};
    EXPECT_TRUE(file->Write(bytes, sizeof bytes));
  }
  EXPECT_EQ("m ", Listing(dir.path()));
  EXPECT_EQ(testutil::Bytes({'o', 'l', 'd'}), testutil::ReadFile(dir.File("m")));
}

TEST(PlatformTest, CommitReplacesTargetWithItsBytesAndMode) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("m"), "old");
  std::filesystem::permissions(dir.File("m"), std::filesystem::perms(0604));
  auto file = platform::CTempFile::CreateBeside(dir.File("m"));
  ASSERT_TRUE(file);
  const testutil::Bytes bytes(3 << 20, 0x5A);
  ASSERT_TRUE(file->Write(bytes.data(), bytes.size()));
  ASSERT_TRUE(file->CopyModeFrom(dir.File("m")));
  ASSERT_TRUE(file->Commit(dir.File("m")));
  file.reset();
  EXPECT_EQ("m ", Listing(dir.path()));
  EXPECT_EQ(bytes, testutil::ReadFile(dir.File("m")));
  EXPECT_EQ(std::filesystem::perms(0604),
            std::filesystem::status(dir.File("m")).permissions() & std::filesystem::perms::mask);
}

// Rewriting the head of an image already written, as the digest is stored
// last, must neither move nor cut the end the image goes on from; a part of
// another file is copied from its offset, and one too short is refused.
TEST(PlatformTest, WriteAtAndCopyFromKeepTheImageInOrder) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("m"), "old");
  testutil::WriteFile(dir.File("src"), "0123456789");
  auto file = platform::CTempFile::CreateBeside(dir.File("m"));
  ASSERT_TRUE(file);
  const auto* p = reinterpret_cast<const unsigned char*>("abcdefXYgh");
  ASSERT_TRUE(file->Write(p, 6) && file->WriteAt(1, p + 6, 2) && file->Write(p + 8, 2));
  ASSERT_TRUE(file->WriteAt(7, p + 6, 1) && file->CopyFrom(dir.File("src"), 3, 4));
  EXPECT_FALSE(platform::CTempFile::CreateBeside(dir.File("m"))->CopyFrom(dir.File("src"), 7, 4));
  ASSERT_TRUE(file->Commit(dir.File("m")));
  const testutil::Bytes image = testutil::ReadFile(dir.File("m"));
  EXPECT_EQ("aXYdefgX3456", std::string(image.begin(), image.end()));
}

// A view taken before the bytes are written shows each write, in place and
// at the offset it went to; a temporary file that has no name is mapped.
TEST(PlatformTest, ViewOfAReservedTemporaryShowsLaterWrites) {
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not map files";
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("src"), "0123456789");
  auto file = platform::CTempFile::CreateBeside(dir.File("m"));
  ASSERT_TRUE(file && file->Reserve(9));
  const std::unique_ptr<platform::CFileView> view = file->Map();
  ASSERT_TRUE(view);
  ASSERT_EQ(9u, view->Size());
  const auto* p = reinterpret_cast<const unsigned char*>("abcd");
  ASSERT_TRUE(file->Write(p, 4) && file->CopyFrom(dir.File("src"), 5, 5) && file->WriteAt(1, p, 1));
  EXPECT_EQ("aacd56789", std::string(view->Data(), view->Data() + view->Size()));
}

TEST(PlatformTest, NoTemporaryInMissingDirectoryAndNoLockOnMissingFile) {
  testutil::TempDir dir;
  EXPECT_FALSE(platform::CTempFile::CreateBeside(dir.File("none/m")));
  { const platform::CFileLock lock(dir.File("m")); }
  EXPECT_EQ("", Listing(dir.path()));
}

}  // namespace
