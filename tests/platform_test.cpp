// The platform module's temporary files: invisible until committed, gone
// when abandoned, and a commit leaves exactly the target behind; and files
// seen in place, which must read as the file whatever became of the pages.
// That a commit keeps the target's mode is checked in replace_file_test.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>

#include "platform/Platform.h"
#include "test_util.h"

using testutil::Bytes;

static std::string Listing(const std::string& directory) {
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names += entry.path().filename().string() + " ";
  return names;
}

// Abandoned, the temporary leaves nothing; committed, exactly the target.
// None is made in a missing directory, and a lock on a missing file makes
// none either. Rewriting the head of an image already written, as the
// digest is stored last, must neither move nor cut the end the image goes
// on from; written around the cache, an aligned run of whole blocks, an
// unaligned one and a short end all land where they were sent.
TEST(PlatformTest, TemporaryLeavesNothingOrOnCommitExactlyTheImageInOrder) {
  testutil::TempDir dir;
  const std::string m = dir.File("m");
  testutil::WriteFile(m, "old");
  EXPECT_FALSE(platform::CTempFile::CreateBeside(dir.File("none/m")));
  { const platform::CFileLock lock(dir.File("missing")); }
  const Bytes big(3 << 20, 0x5A);
  auto file = platform::CTempFile::CreateBeside(m);
  ASSERT_TRUE(file && file->Write(big.data(), big.size()));
  file = platform::CTempFile::CreateBeside(m);  // the first abandoned
  EXPECT_EQ("old", testutil::Str(testutil::ReadFile(m)));
  ASSERT_TRUE(file);
  const auto* p = reinterpret_cast<const unsigned char*>("abcdefXYgh");
  ASSERT_TRUE(file->Write(p, 6) && file->WriteAt(1, p + 6, 2) && file->Write(p + 8, 2));
  ASSERT_TRUE(file->WriteAt(7, p + 6, 1));
  // Page-aligned memory, as the image writer's ring gives it.
  const size_t kBlock = 4096, kSize = 3 * kBlock + 100;
  Bytes expected(kSize), memory(kSize + kBlock);
  for (size_t i = 0; i < kSize; ++i) expected[i] = static_cast<unsigned char>(i * 7 + i / 4096);
  unsigned char* pBlocks =
      memory.data() + (kBlock - reinterpret_cast<uintptr_t>(memory.data()) % kBlock) % kBlock;
  std::memcpy(pBlocks, expected.data(), kSize);
  ASSERT_TRUE(file->WriteThrough(kBlock, pBlocks + kBlock, 2 * kBlock + 100) &&
              file->WriteThrough(100, pBlocks + 100, kBlock - 100) &&
              file->WriteAt(0, expected.data(), 100) && file->Commit(m));
  file.reset();
  EXPECT_EQ(expected, testutil::ReadFile(m));
  EXPECT_EQ("m ", Listing(dir.path()));
}

// Windows builds put large images together in memory and map nothing.
#ifndef _WIN32
// A large file reads as the file, also once its pages were given back,
// and cut short under its view it ends the run with the words and status
// given. Nothing else is mapped, and a FIFO nobody writes to must not hold
// the reader up. (That the pages given back leave the process is seen in
// MocfinfoE2e.EveryModeReadsAThreeHundredMiBMocfInLittleMemory.)
TEST(PlatformTest, MapFileShowsARegularFileWhateverBecameOfItsPagesAndNothingElse) {
  testutil::TempDir dir;
  Bytes bytes((32 << 20) + 5);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 31 + i / 409);
  testutil::WriteFile(dir.File("m"), bytes);
  const std::unique_ptr<platform::CFileView> view = platform::MapFile(dir.File("m"), "", 2);
  if (!platform::IsDurable()) {
    EXPECT_FALSE(view);
    GTEST_SKIP() << "the portable build does not map files";
  }
  ASSERT_TRUE(view && view->Size() == bytes.size());
  for (int forgotten = 0; forgotten < 2; ++forgotten, view->Forget())
    EXPECT_EQ(0, std::memcmp(bytes.data(), view->Data(), bytes.size())) << forgotten;
  testutil::WriteFile(dir.File("empty"), "");
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  for (const char* name : {"empty", ".", "none"})
    EXPECT_FALSE(platform::MapFile(dir.File(name), "", 2)) << name;
  EXPECT_EXIT(
      {
        alarm(10);
        std::exit(platform::MapFile(dir.File("fifo"), "", 2) ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
  // Touching a page the file no longer has would otherwise end the process
  // by a signal, with no word of why.
  EXPECT_EXIT(
      {
        const auto cut = platform::MapFile(dir.File("m"), "m: cut short while read\n", 7);
        if (!cut || truncate(dir.File("m").c_str(), 0) != 0) std::exit(1);
        const volatile unsigned char* p = cut->Data();
        std::exit(p[cut->Size() - 1]);
      },
      testing::ExitedWithCode(7), "^m: cut short while read\n$");
}
#endif
