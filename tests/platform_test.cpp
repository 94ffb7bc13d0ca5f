// The platform module's temporary files: invisible until committed, gone
// when abandoned, and a commit leaves exactly the target behind.
#include <gtest/gtest.h>

#include <cstring>
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
// last, must neither move nor cut the end the image goes on from. Written
// around the cache, an aligned run of whole blocks, an unaligned one and a
// short end all land where they were sent.
TEST(PlatformTest, WriteAtAndWriteThroughKeepTheImageInOrder) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("m"), "old");
  auto file = platform::CTempFile::CreateBeside(dir.File("m"));
  ASSERT_TRUE(file);
  const auto* p = reinterpret_cast<const unsigned char*>("abcdefXYgh");
  ASSERT_TRUE(file->Write(p, 6) && file->WriteAt(1, p + 6, 2) && file->Write(p + 8, 2));
  ASSERT_TRUE(file->WriteAt(7, p + 6, 1));
  // Page-aligned memory, as the image writer's ring gives it.
  const size_t kBlock = 4096, kSize = 3 * kBlock + 100;
  testutil::Bytes expected(kSize), memory(kSize + kBlock);
  for (size_t i = 0; i < kSize; ++i) expected[i] = static_cast<unsigned char>(i * 7 + i / 4096);
  unsigned char* pBlocks =
      memory.data() + (kBlock - reinterpret_cast<uintptr_t>(memory.data()) % kBlock) % kBlock;
  std::memcpy(pBlocks, expected.data(), kSize);
  ASSERT_TRUE(file->WriteThrough(kBlock, pBlocks + kBlock, 2 * kBlock + 100));
  ASSERT_TRUE(file->WriteThrough(100, pBlocks + 100, kBlock - 100));
  ASSERT_TRUE(file->WriteAt(0, expected.data(), 100));
  ASSERT_TRUE(file->Commit(dir.File("m")));
  EXPECT_EQ(expected, testutil::ReadFile(dir.File("m")));
}

// A view taken before the bytes are written shows each write, in place and
// at the offset it went to; a temporary file that has no name is mapped.
TEST(PlatformTest, ViewOfAReservedTemporaryShowsLaterWrites) {
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not map files";
  testutil::TempDir dir;
  auto file = platform::CTempFile::CreateBeside(dir.File("m"));
  ASSERT_TRUE(file && file->Reserve(9));
  const std::unique_ptr<platform::CFileView> view = file->Map();
  ASSERT_TRUE(view);
  ASSERT_EQ(9u, view->Size());
  const auto* p = reinterpret_cast<const unsigned char*>("abcd");
  ASSERT_TRUE(file->Write(p, 4) && file->WriteAt(4, p + 1, 3) && file->WriteAt(1, p, 1));
  EXPECT_EQ(std::string("aacdbcd\0\0", 9), std::string(view->Data(), view->Data() + view->Size()));
}

TEST(PlatformTest, NoTemporaryInMissingDirectoryAndNoLockOnMissingFile) {
  testutil::TempDir dir;
  EXPECT_FALSE(platform::CTempFile::CreateBeside(dir.File("none/m")));
  { const platform::CFileLock lock(dir.File("m")); }
  EXPECT_EQ("", Listing(dir.path()));
}

}  // namespace
