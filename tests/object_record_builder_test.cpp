#include "ObjectRecordBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_util.h"

using testutil::Build, testutil::Ok;

static std::string PutHex(const std::string& hex) {
  const testutil::Bytes bytes = testutil::FromHex(hex);
  return testutil::Put("in", std::string(bytes.begin(), bytes.end()));
}

TEST(ObjectRecordBuilderTest, ObjectFileMustHoldOneUnpaddedRecord) {
  const std::string header = "CreateObjectRecord: failed to read TLV header\n";
  const std::string invalid = "Object File is invalid\n";
  // Without a message the file is taken as it is.
  const std::string cases[][2] = {
      {"", header}, {"78563412 000000", header}, {"78563412 00000000", ""},
      {"ffffffff 05000000 0102030405", ""}, {"ffffffff 05000000 0102030405 000000", invalid},
      {"78563412 04000000 010203", invalid}, {"78563412 02000000 010203", invalid}};
  for (const auto& c : cases) {
    EXPECT_EQ(c[1].empty() ? Ok(c[0]) : "failed / " + c[1], Build(Object, PutHex(c[0]))) << c[0];
  }
}

// Binary files take any bytes; an input too large to read, or a type not
// known, is refused.
TEST(ObjectRecordBuilderTest, BinaryTakesAnyBytesUnreadableOrUnknownIsRefused) {
  EXPECT_EQ(Ok("00000000 00000000"), Build(Binary, PutHex(""), "", 0));
  EXPECT_EQ(Ok("ffffffff 05000000 0d0a00ff1a"), Build(Binary, PutHex("0d0a00ff1a"), "", ~0u));
  const std::string sparse = testutil::Put("sparse", "");
  std::filesystem::resize_file(sparse, std::uintmax_t{1} << 31);
  EXPECT_EQ("failed / Can't read Object File\n", Build(Object, sparse));
  EXPECT_EQ("failed / Can't read Binary File\n", Build(Binary, sparse));
  EXPECT_EQ("failed / Can't read User File\n", Build(UserFile, sparse));
  for (int32_t type : {7, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ("failed / Unknown file type\n", Build(static_cast<FileType_t>(type), sparse));
  }
}

// The head, the file's bytes and the padding make exactly the record the
// builder makes, padded; any other type has no head and says nothing. A
// user file's name is stored as typed, even with a directory part that no
// MOCF accepts.
TEST(ObjectRecordBuilderTest, HeadAndFileBytesMakeTheWholePaddedRecord) {
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(PutHex("")).parent_path());
  EXPECT_EQ(Ok("02000060 18000000 00000000 05000000 2e2f696e00000000 01000000 00000000"),
            Build(UserFile, "./in"));
  for (FileType_t type : {UserFile, Binary}) {
    for (const char* name : {"a", "ab", "abc", "abcd"}) {
      for (size_t size = 0; size < 6; ++size) {
        testutil::WriteFile(name, std::string(size, '\x5A'));
        const InParams_t params = {name, "", type, 0x60000010};
        CTlvContainerCreator whole, head;
        RecordTail_t tail = {99, 99};
        ASSERT_TRUE(CreateObjectRecordFromFile(&params, &whole));
        ASSERT_TRUE(CreateObjectRecordHead(&params, &head, &tail));
        testutil::Bytes joined = *head.Get();
        joined.insert(joined.end(), tail.FileBytes, 0x5A);
        joined.insert(joined.end(), tail.Padding, 0);
        testutil::Bytes padded = *whole.Get();
        padded.resize((padded.size() + 3) / 4 * 4, 0);
        EXPECT_EQ(testutil::ToHex(padded), testutil::ToHex(joined)) << type << name << size;
      }
    }
  }
  // Nor does a missing file have one.
  const std::string before = GetErrorStr();
  for (const InParams_t& params : {InParams_t{"a", "", Object, 0}, {"a", "", CompatProd, 0},
                                   {"a", "", CustomDefaults, 0}, {"a", "", MenuSettings, 0},
                                   {"a", "", SwKeys, 0}, {"none", "", UserFile, 0}}) {
    CTlvContainerCreator head;
    RecordTail_t tail;
    EXPECT_FALSE(CreateObjectRecordHead(&params, &head, &tail)) << params.Type << params.InFile;
  }
  EXPECT_EQ(before, GetErrorStr());
  std::filesystem::current_path(saved);
}
