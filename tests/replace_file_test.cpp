// A replacement written in steps changes the target only when committed,
// and once a step has failed no later step can bring a partial image in.
#include "ReplaceFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_util.h"

TEST(ReplaceFileTest, TargetChangesOnlyAtCommitAndNotAfterAFailedStep) {
  testutil::TempDir dir;
  const std::string m = dir.File("m");
  testutil::WriteFile(m, "old");
  std::filesystem::permissions(m, std::filesystem::perms(0640));
  const auto* kBytes = reinterpret_cast<const unsigned char*>("new image");
  ASSERT_TRUE(CFileReplacement(m).Write(kBytes, 9));  // abandoned
  CFileReplacement replacement(m);
  ASSERT_TRUE(replacement.Write(kBytes, 9) && replacement.WriteAt(0, kBytes + 4, 1));
  EXPECT_EQ("old", testutil::Str(testutil::ReadFile(m)));
  ASSERT_TRUE(replacement.Commit());
  EXPECT_EQ("iew image", testutil::Str(testutil::ReadFile(m)));
#ifndef _WIN32  // Windows keeps no such bits
  EXPECT_EQ(std::filesystem::perms(0640),
            std::filesystem::status(m).permissions() & std::filesystem::perms::mask);
#endif
  EXPECT_FALSE(replacement.Commit());  // a second time there is nothing to commit
  // A step no file can take (none reaches that far) fails every later one.
  CFileReplacement failing(m);
  EXPECT_FALSE(failing.WriteAt(~uint64_t{0} - 4, kBytes, 1));
  EXPECT_FALSE(failing.Write(kBytes, 9) || failing.WriteAt(0, kBytes, 1) || failing.Commit());
  EXPECT_EQ("iew image", testutil::Str(testutil::ReadFile(m)));
  // Only m: no temporary file is left.
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}
