// A replacement written in steps changes the target only when committed,
// and once a step has failed no later step can bring a partial image in.
#include "ReplaceFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "test_util.h"

namespace {

const auto* kBytes = reinterpret_cast<const unsigned char*>("new image");

std::string Text(const std::string& path) {
  const testutil::Bytes bytes = testutil::ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(ReplaceFileTest, TargetChangesOnlyAtCommitAndKeepsItsMode) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("m"), "old");
  std::filesystem::permissions(dir.File("m"), std::filesystem::perms(0640));
  {
    CFileReplacement abandoned(dir.File("m"));
    ASSERT_TRUE(abandoned.Write(kBytes, 9));
  }
  CFileReplacement replacement(dir.File("m"));
  ASSERT_TRUE(replacement.Write(kBytes, 9) && replacement.WriteAt(0, kBytes + 4, 1));
  EXPECT_EQ("old", Text(dir.File("m")));
  ASSERT_TRUE(replacement.Commit());
  EXPECT_EQ("iew image", Text(dir.File("m")));
#ifndef _WIN32  // Windows keeps no such bits
  EXPECT_EQ(std::filesystem::perms(0640),
            std::filesystem::status(dir.File("m")).permissions() & std::filesystem::perms::mask);
#endif
  EXPECT_FALSE(replacement.Commit());  // a second time there is nothing to commit
}

TEST(ReplaceFileTest, AFailedStepFailsEveryLaterOne) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.File("m"), "old");
  testutil::WriteFile(dir.File("short"), "ab");
  CFileReplacement replacement(dir.File("m"));
  // No file reaches that far.
  EXPECT_FALSE(replacement.WriteAt(~uint64_t{0} - 4, kBytes, 1));
  EXPECT_FALSE(replacement.Write(kBytes, 9) || replacement.WriteAt(0, kBytes, 1) ||
               replacement.Commit());
  EXPECT_EQ("old", Text(dir.File("m")));
  // m and short: no temporary file is left.
  EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}

}  // namespace
