#include "ObjectRecordBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "test_util.h"

namespace {

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

std::string Hex(const std::string& spaced) { return ToHex(FromHex(spaced)); }

// What a caller's creator holds before the call; a failing builder must
// leave it as it is.
const char kKnownRecord[] = "efbeadde 01000000 7f";

// Runs one build and describes it in one line: "ok <record hex>" or
// "failed", then " / " and the text the call appended to the error text.
// The error text may only grow, and the builders print nothing.
std::string Build(const std::function<bool(CTlvContainerCreator*)>& build) {
  CTlvContainerCreator out;
  const Bytes known = FromHex(kKnownRecord);
  out.Set(&known);
  const std::string before = GetErrorStr();
  testing::internal::CaptureStdout();
  const bool ok = build(&out);
  std::fflush(stdout);
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
  const std::string after = GetErrorStr();
  EXPECT_EQ(before, after.substr(0, before.size()));
  std::string result = ok ? "ok " + ToHex(*out.Get()) : "failed";
  if (!ok && *out.Get() != known) result += " / record changed to " + ToHex(*out.Get());
  if (after.size() > before.size()) result += " / " + after.substr(before.size());
  return result;
}

std::string Ok(const std::string& hex) { return "ok " + Hex(hex); }
std::string Failed(const std::string& messages) { return "failed / " + messages; }

std::string BuildObject(const std::string& path) {
  return Build([&](CTlvContainerCreator* out) { return CreateObjectRecord(path.c_str(), out); });
}
std::string BuildBinary(const std::string& path, unsigned int tag) {
  return Build(
      [&](CTlvContainerCreator* out) { return CreateBinaryRecord(path.c_str(), tag, out); });
}
std::string BuildUser(const std::string& path) {
  return Build([&](CTlvContainerCreator* out) { return CreateUserFileRecord(path.c_str(), out); });
}
std::string BuildDispatch(const InParams_t& params) {
  return Build([&](CTlvContainerCreator* out) { return CreateObjectRecordFromFile(&params, out); });
}

class ObjectRecordBuilderTest : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& hex) {
    testutil::WriteFile(dir_.File(name), FromHex(hex));
    return dir_.File(name);
  }
  std::string WriteText(const std::string& name, const std::string& text) {
    testutil::WriteFile(dir_.File(name), text);
    return dir_.File(name);
  }
  testutil::TempDir dir_;
};

TEST_F(ObjectRecordBuilderTest, ErrorTextOnlyGrowsAndKeepsEveryMessage) {
  const std::string before = GetErrorStr();
  AddErrorStr("one");
  AddErrorStr("");
  AddErrorStr("two\n");
  EXPECT_EQ(before + "onetwo\n", GetErrorStr());

  const std::string missing = dir_.File("missing");
  // Two failing builds in one process leave both messages, in order.
  const std::string both = Build([&](CTlvContainerCreator* out) {
    return CreateBinaryRecord(missing.c_str(), 5, out) ||
           CreateUserFileRecord(missing.c_str(), out);
  });
  EXPECT_EQ(Failed("Can't read Binary File\nCan't read User File\n"), both);
}

TEST_F(ObjectRecordBuilderTest, ObjectFileHeaderAndLength) {
  const char kHeader[] = "CreateObjectRecord: failed to read TLV header\n";
  const char kInvalid[] = "Object File is invalid\n";
  EXPECT_EQ(Failed(kHeader), BuildObject(Write("empty", "")));
  EXPECT_EQ(Failed(kHeader), BuildObject(Write("seven", "78563412 000000")));
  EXPECT_EQ(Ok("78563412 00000000"), BuildObject(Write("eight", "78563412 00000000")));
  EXPECT_EQ(Failed(kInvalid), BuildObject(Write("short", "78563412 04000000 010203")));
  EXPECT_EQ(Failed(kInvalid), BuildObject(Write("long", "78563412 02000000 010203")));
  EXPECT_EQ(Failed(kInvalid), BuildObject(Write("huge", "78563412 ffffffff")));
}

TEST_F(ObjectRecordBuilderTest, ObjectFileIsTakenUnpaddedAndByteForByte) {
  const std::string record = "02000060 05000000 0102030405";
  EXPECT_EQ(Ok(record), BuildObject(Write("unpadded", record)));
  EXPECT_EQ(Failed("Object File is invalid\n"), BuildObject(Write("padded", record + "000000")));
  EXPECT_EQ(Ok("ffffffff 01000000 00"), BuildObject(Write("anytag", "ffffffff 01000000 00")));
}

TEST_F(ObjectRecordBuilderTest, BinaryRecordTakesAnyTagAndAnyBytes) {
  EXPECT_EQ(Ok("44332211 00000000"), BuildBinary(Write("empty", ""), 0x11223344));
  const std::string data = Write("data", "0d0a00ff1a");
  EXPECT_EQ(Ok("00000000 05000000 0d0a00ff1a"), BuildBinary(data, 0));
  EXPECT_EQ(Ok("ffffffff 05000000 0d0a00ff1a"), BuildBinary(data, 0xFFFFFFFF));
}

TEST_F(ObjectRecordBuilderTest, UserFileStoresTheNameExactlyAsTyped) {
  Write("a.txt", "010203");
  Write("e", "");
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  const std::string bare = BuildUser("a.txt");
  const std::string dotted = BuildUser("./a.txt");
  const std::string empty = BuildUser("e");
  std::filesystem::current_path(saved);
  EXPECT_EQ(Ok("02000060 1c000000 | 00000000 06000000 612e747874000000"
               "| 01000000 03000000 01020300"),
            bare);
  EXPECT_EQ(Ok("02000060 1c000000 | 00000000 08000000 2e2f612e74787400"
               "| 01000000 03000000 01020300"),
            dotted);
  EXPECT_EQ(Ok("02000060 14000000 | 00000000 02000000 65000000 | 01000000 00000000"), empty);

  const std::string full = dir_.File("a.txt");
  const std::string got = BuildUser(full);
  EXPECT_EQ("ok 02000060", got.substr(0, 11));
  EXPECT_NE(std::string::npos, got.find(ToHex(Bytes(full.begin(), full.end())) + "00")) << got;
}

TEST_F(ObjectRecordBuilderTest, UnreadableInputsGiveEachBuildersMessage) {
  const std::string sparse = dir_.File("sparse");
  testutil::WriteFile(sparse, "");
  std::filesystem::resize_file(sparse, std::uintmax_t{1} << 31);
  for (const std::string& path : {dir_.File("missing"), dir_.path(), sparse}) {
    EXPECT_EQ(Failed("Can't read Object File\n"), BuildObject(path)) << path;
    EXPECT_EQ(Failed("Can't read Binary File\n"), BuildBinary(path, 7)) << path;
    EXPECT_EQ(Failed("Can't read User File\n"), BuildUser(path)) << path;
  }
}

TEST_F(ObjectRecordBuilderTest, DispatchReachesTheBuilderOfEachType) {
  const std::string bin = Write("bin", "0102030405");
  const std::string object = Write("object", "0000aa55 00000000");
  const std::string settings = WriteText("settings", "ABC\n");
  const std::string compat = WriteText("compat", "7\n");
  struct Case { FileType_t type; std::string file; const char* tag; } cases[] = {
      {UserFile, bin, "02000060"},  {CompatProd, compat, "02000000"},
      {Object, object, "0000aa55"}, {CustomDefaults, settings, "04000060"},
      {Binary, bin, "abcdef12"},    {SwKeys, settings, "03000060"},
      {MenuSettings, settings, "05000060"},
  };
  for (const Case& c : cases) {
    InParams_t params{c.file.c_str(), "99", c.type, 0x12EFCDAB};
    const std::string got = BuildDispatch(params);
    EXPECT_EQ("ok " + std::string(c.tag), got.substr(0, 11)) << c.type << ": " << got;
  }
  // The extra arguments reach the builders that take them.
  InParams_t binary{bin.c_str(), "", Binary, 0x12EFCDAB};
  EXPECT_EQ(Ok("abcdef12 05000000 0102030405"), BuildDispatch(binary));
  InParams_t keys{"", "99", SwKeys, 0};
  EXPECT_EQ(Ok("03000060 0a000000 46494d504e4d39392e00"), BuildDispatch(keys));
  const std::string missing = dir_.File("missing");
  InParams_t failing{missing.c_str(), "", UserFile, 0};
  EXPECT_EQ(Failed("Can't read User File\n"), BuildDispatch(failing));
}

TEST_F(ObjectRecordBuilderTest, DispatchRefusesTypesOutsideTheTable) {
  const std::string bin = Write("bin", "01");
  for (int32_t type : {7, -1, INT32_MIN, INT32_MAX}) {
    InParams_t params{bin.c_str(), "1", static_cast<FileType_t>(type), 0};
    EXPECT_EQ(Failed("Unknown file type\n"), BuildDispatch(params)) << type;
  }
}

}  // namespace
