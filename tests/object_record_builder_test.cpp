#include "inputs/ObjectRecordBuilder.h"

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
  const std::string heads = " bytes: its first 8, read as a record's header, give tag 0x";
  // Without a message the file is taken as it is; with one, the reason
  // says what it holds.
  const std::string cases[][3] = {
      {"", header, " is 0 bytes, too short for a record's 8-byte header"},
      {"78563412 000000", header, " is 7 bytes, too short for a record's 8-byte header"},
      {"78563412 00000000", ""}, {"ffffffff 05000000 0102030405", ""},
      {"ffffffff 05000000 0102030405 000000", invalid,
       " is 16" + heads + "FFFFFFFF and length 5, yet 8 bytes follow them: 3 bytes after the "
       "value"},
      {"78563412 04000000 010203", invalid,
       " is 11" + heads + "12345678 and length 4, yet only 3 bytes follow them"},
      {"78563412 02000000 010203", invalid,
       " is 11" + heads + "12345678 and length 2, yet 3 bytes follow them: 1 byte after the "
       "value"}};
  for (const auto& c : cases) {
    ClearErrorStr();
    const std::string in = PutHex(c[0]);
    EXPECT_EQ(c[1].empty() ? Ok(c[0]) : "failed / " + c[1], Build(Object, in)) << c[0];
    EXPECT_EQ(c[1].empty() ? "" : in + c[2], GetReasons().substr(0, GetReasons().find('\n')));
  }
}

// Binary files take any bytes; an input too large to read, or a type not
// known, is refused.
TEST(ObjectRecordBuilderTest, BinaryTakesAnyBytesUnreadableOrUnknownIsRefused) {
  EXPECT_EQ(Ok("00000000 00000000"), Build(Binary, PutHex(""), "", 0));
  EXPECT_EQ(Ok("ffffffff 05000000 0d0a00ff1a"), Build(Binary, PutHex("0d0a00ff1a"), "", ~0u));
  // One byte more than a signed length of 32 bits holds.
  const std::string sparse = testutil::Put("sparse", "");
  std::filesystem::resize_file(sparse, std::uintmax_t{1} << 31);
  EXPECT_EQ("failed / Can't read Object File\n", Build(Object, sparse));
  EXPECT_EQ("failed / Can't read Binary File\n", Build(Binary, sparse));
  EXPECT_EQ("failed / Can't read User File\n", Build(UserFile, sparse));
  for (int32_t type : {7, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ("failed / Unknown file type\n", Build(static_cast<FileType_t>(type), sparse));
  }
}

// The head and the tail a large input is written from make the record the
// builder makes whole: E2eTest.LargeAppendsComeOutTheSameEitherWay compares
// the two at every padding, and Mocfbuild's random lists at every name.
