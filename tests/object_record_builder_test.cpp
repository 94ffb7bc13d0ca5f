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

// The record, error text and reasons a build gives, from a clean start.
static std::string Said(const InParams_t& params) {
  ClearErrorStr();
  CTlvContainerCreator out;
  const bool ok = CreateObjectRecordFromFile(&params, &out);
  return (ok ? "ok " + testutil::ToHex(*out.Get()) : "failed") + " / " + GetErrorStr() +
         GetReasons();
}

// Bytes held in memory build as a file of them does, refusals and their
// reasons included. They are opened at "": a build that looks for a file
// finds none, SW keys included.
TEST(ObjectRecordBuilderTest, BytesInMemoryBuildAsAFileOfThem) {
  using namespace std::string_literals;
  const struct { FileType_t type; std::string bytes; const char* partNum; bool ok; } cases[] = {
      {UserFile, "u\r\n\0\xff"s, "", true}, {Binary, "\x1a\0\n"s, "", true},
      {Binary, "", "", true}, {Object, "\x78\x56\x34\x12\x02\0\0\0\x01\x02"s, "", true},
      {Object, "\x78\x56\x34\x12\x04\0\0\0\x01"s, "", false},
      {MenuSettings, "// c\nA;;\n  BC;; \r\n", "", true}, {MenuSettings, "// c\n\n", "", false},
      {CustomDefaults, "A=1;\r\n/* b\n*/\nB", "", true}, {SwKeys, "K=1;\n", "0400", true},
      {SwKeys, "", "0400", false}, {CompatProd, "0x10\n 42 \n", "", true},
      {CompatProd, "12\n\nx1\n", "", false}};
  for (const auto& c : cases) {
    const std::string path = testutil::Put("in", c.bytes);
    const std::string fromFile = Said({path.c_str(), c.partNum, c.type, 7});
    EXPECT_EQ(fromFile, Said({path.c_str(), c.partNum, c.type, 7, "", &c.bytes})) << c.type;
    EXPECT_EQ(c.ok, fromFile.rfind("ok ", 0) == 0) << fromFile;
  }
}

// The head and the tail a large input is written from make the record the
// builder makes whole: E2eTest.LargeAppendsComeOutTheSameEitherWay compares
// the two at every padding, and Mocfbuild's random lists at every name.
