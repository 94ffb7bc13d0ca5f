#include "FileHelper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "test_util.h"

namespace {

using testutil::Bytes;

class FileHelperTest : public testing::Test {
 protected:
  testutil::TempDir dir_;
  Bytes stale_ = Bytes(5, 0xEE);  // what a caller's vector held before
};

TEST_F(FileHelperTest, UnopenablePathsReadAsNothing) {
  for (const std::string& path : {dir_.File("missing"), dir_.path(), std::string()}) {
    EXPECT_FALSE(CFileHelper::DoesFileExist(path.c_str())) << path;
    EXPECT_EQ(-1, CFileHelper::GetFileLength(path.c_str())) << path;
    Bytes data = stale_;
    EXPECT_FALSE(CFileHelper::ReadFileData(path.c_str(), &data)) << path;
    EXPECT_TRUE(data.empty()) << path;
  }
}

TEST_F(FileHelperTest, EmptyFile) {
  const std::string path = dir_.File("empty");
  testutil::WriteFile(path, "");
  EXPECT_TRUE(CFileHelper::DoesFileExist(path.c_str()));
  EXPECT_EQ(0, CFileHelper::GetFileLength(path.c_str()));
  Bytes data = stale_;
  EXPECT_TRUE(CFileHelper::ReadFileData(path.c_str(), &data));
  EXPECT_TRUE(data.empty());
}

TEST_F(FileHelperTest, ReadsEveryByteUntranslated) {
  // Larger than any stream buffer, so a short read would show.
  Bytes content = testutil::FromHex("00 0d 0a 0a 0d 1a ff 00");
  for (uint32_t i = 0; content.size() < 3 * 1024 * 1024 + 3; ++i) {
    content.push_back(static_cast<unsigned char>(i * 2654435761u >> 24));
  }
  const std::string path = dir_.File("data");
  testutil::WriteFile(path, content);
  EXPECT_EQ(static_cast<int32_t>(content.size()), CFileHelper::GetFileLength(path.c_str()));
  Bytes data(content.size() + 100, 0xEE);
  ASSERT_TRUE(CFileHelper::ReadFileData(path.c_str(), &data));
  EXPECT_TRUE(data == content);
}

TEST_F(FileHelperTest, LengthsFrom2GiBAreRefused) {
  const std::string path = dir_.File("sparse");
  testutil::WriteFile(path, "");
  std::filesystem::resize_file(path, (uintmax_t{1} << 31) - 1);
  EXPECT_EQ(INT32_MAX, CFileHelper::GetFileLength(path.c_str()));
  std::filesystem::resize_file(path, uintmax_t{1} << 31);
  EXPECT_TRUE(CFileHelper::DoesFileExist(path.c_str()));
  EXPECT_EQ(-1, CFileHelper::GetFileLength(path.c_str()));
  Bytes data = stale_;
  EXPECT_FALSE(CFileHelper::ReadFileData(path.c_str(), &data));
  EXPECT_TRUE(data.empty());
}

}  // namespace
