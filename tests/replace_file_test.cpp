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

TEST(ReplaceFileTest, TargetChangesOnlyAtCommitAndNotAfterAFailedStep) {
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
  // A step no file can take (none reaches that far) fails every later one.
  CFileReplacement failing(dir.File("m"));
  EXPECT_FALSE(failing.WriteAt(~uint64_t{0} - 4, kBytes, 1));
  EXPECT_FALSE(failing.Write(kBytes, 9) || failing.WriteAt(0, kBytes, 1) || failing.Commit());
  EXPECT_EQ("iew image", Text(dir.File("m")));
  // Only m: no temporary file is left.
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}

}  // namespace
