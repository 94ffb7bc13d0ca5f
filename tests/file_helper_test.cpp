#include "inputs/FileHelper.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_util.h"

TEST(FileHelper, ExistenceLengthAndContent) {
  // NUL, CR and LF bytes, then enough more that a short or reordered read would show.
  std::string bytes("\0\r\n\n\r\x1a\xff", 7);
  for (uint32_t i = 0; bytes.size() < (3u << 20) + 3; ++i) bytes += char(i * 2654435761u >> 24);
  const std::string empty = testutil::Put("empty", ""), data = testutil::Put("data", bytes);
  const std::string big = testutil::Put("big", ""), dir = std::filesystem::path(big).parent_path().string();
  std::filesystem::resize_file(big, (uintmax_t{1} << 31) - 1);  // sparse
  EXPECT_EQ(INT32_MAX, CFileHelper::GetFileLength(big.c_str()));
  std::filesystem::resize_file(big, uintmax_t{1} << 31);
  const struct { std::string path; bool exists; int32_t length; std::string content; } cases[] = {
      {big + ".missing", false, -1, ""}, {dir, false, -1, ""}, {empty, true, 0, ""},
      {data, true, int32_t(bytes.size()), bytes}, {big, true, -1, ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.exists, CFileHelper::DoesFileExist(c.path.c_str())) << c.path;
    EXPECT_EQ(c.length, CFileHelper::GetFileLength(c.path.c_str())) << c.path;
    testutil::Bytes got(100, 0xEE);  // what the caller's vector held before
    EXPECT_EQ(c.length >= 0, CFileHelper::ReadFileData(c.path.c_str(), &got)) << c.path;
    EXPECT_TRUE(c.content == std::string(got.begin(), got.end())) << c.path;
  }
}
