#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "ObjectRecordBuilder.h"
#include "test_util.h"

namespace {

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

const char kKnownRecord[] = "efbeadde 01000000 7f";
const char kEmptySettings[] = "Error in Menu Settings File (empty file).\n";
const char kBadSettings[] = "Error in Menu Settings File (bad format).\n";
const char kBadCompat[] = "Error in Compatible Products File (bad format).\n";

// Runs one build and describes it in one line: "ok <record hex>" or
// "failed", then " / " and the text the call appended to the process-wide
// error text. That text may only grow, and the builders print nothing; a
// failing build leaves the caller's record as it was.
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

std::string Ok(const std::string& hex) { return "ok " + ToHex(FromHex(hex)); }
std::string Failed(const std::string& messages) { return "failed / " + messages; }

std::string Menu(const std::string& path) {
  return Build([&](CTlvContainerCreator* out) {
    return CreateMenuSettingsRecord(path.c_str(), out);
  });
}
std::string Custom(const std::string& path) {
  return Build([&](CTlvContainerCreator* out) {
    return CreateCustomDefaultsRecord(path.c_str(), out);
  });
}
std::string Keys(const std::string& path, const char* partNum) {
  return Build([&](CTlvContainerCreator* out) {
    return CreateSwKeysRecord(path.c_str(), partNum, out);
  });
}
std::string Compat(const std::string& path) {
  return Build([&](CTlvContainerCreator* out) {
    return CreateCompatProdRecord(path.c_str(), out);
  });
}

class TextRecordBuildersTest : public testing::Test {
 protected:
  std::string Write(const std::string& text) {
    const std::string path = dir_.File("in" + std::to_string(++count_) + ".txt");
    testutil::WriteFile(path, text);
    return path;
  }
  testutil::TempDir dir_;
  int count_ = 0;
};

TEST_F(TextRecordBuildersTest, SettingsRecords) {
  const std::string abc = Write("// settings\nABC\n");
  EXPECT_EQ(Ok("05000060 05000000 4142432e00"), Menu(abc));
  EXPECT_EQ(Ok("04000060 05000000 4142434000"), Custom(abc));
  // Lines are joined as they stand; only the very last ";" goes.
  const std::string two = Write("A=1;\n\n  B=2;\r\n");
  EXPECT_EQ(Ok("05000060 09000000 413d313b423d322e00"), Menu(two));
  EXPECT_EQ(Ok("04000060 09000000 413d313b423d324000"), Custom(two));
}

TEST_F(TextRecordBuildersTest, SwKeysRecords) {
  const std::string abc = Write("ABC\n");
  EXPECT_EQ(Ok("03000060 10000000 4142433b46494d504e4d313233342e00"), Keys(abc, "1234"));
  EXPECT_EQ(Ok("03000060 0c000000 46494d504e4d313233342e00"), Keys("", "1234"));
  EXPECT_EQ(Ok("03000060 08000000 46494d504e4d2e00"), Keys("", ""));
  // The file's own trailing ";" is not doubled.
  EXPECT_EQ(Ok("03000060 11000000 413d313b423d323b46494d504e4d372e00"),
            Keys(Write("A=1;\nB=2;\n"), "7"));
  EXPECT_EQ(Ok("03000060 0a000000 3b46494d504e4d372e00"), Keys(Write(";\n"), "7"));
}

TEST_F(TextRecordBuildersTest, SettingsFilesWithoutSettings) {
  for (const char* text : {"", "// only a comment\n\n/* and\n a block */\n"}) {
    const std::string path = Write(text);
    const std::string empty = Failed(kEmptySettings);
    EXPECT_EQ(empty + "Error in Menu Settings file\n", Menu(path));
    EXPECT_EQ(empty + "Error in Custom Defaults file\n", Custom(path));
    EXPECT_EQ(empty + "Error in SW Keys file\n", Keys(path, "1"));
  }
  const std::string open = Write("A=1;\n/* never closed\n");
  const std::string bad = Failed(kBadSettings);
  EXPECT_EQ(bad + "Error in Menu Settings file\n", Menu(open));
  EXPECT_EQ(bad + "Error in Custom Defaults file\n", Custom(open));
  EXPECT_EQ(bad + "Error in SW Keys file\n", Keys(open, "1"));
}

TEST_F(TextRecordBuildersTest, UnopenableFilesGiveOnlyTheOpenFailure) {
  for (const std::string& path : {dir_.File("missing"), dir_.path()}) {
    EXPECT_EQ(Failed("Can't open Menu Settings file\n"), Menu(path)) << path;
    EXPECT_EQ(Failed("Can't open Custom Defaults file\n"), Custom(path)) << path;
    EXPECT_EQ(Failed("Can't open SW Keys file\n"), Keys(path, "1")) << path;
    EXPECT_EQ(Failed("Can't open Compatible Products file\n"), Compat(path)) << path;
  }
}

TEST_F(TextRecordBuildersTest, CompatibleProductsRecord) {
  EXPECT_EQ(Ok("02000000 04000000 00000000"), Compat(Write("")));
  EXPECT_EQ(Ok("02000000 04000000 00000000"), Compat(Write("// none yet\n\n")));
  EXPECT_EQ(Ok("02000000 0c000000 02000000 0a000000 14000000"),
            Compat(Write("// products\n0xA\n20\n")));
  // The 32-bit limits themselves, leading zeros and duplicates are kept.
  EXPECT_EQ(Ok("02000000 18000000 05000000 ffffffff ffffffff ffffffff 07000000 07000000"),
            Compat(Write("4294967295\n0xFFFFFFFF\n0x00000000ffffffff\n007\n7\n")));
}

TEST_F(TextRecordBuildersTest, CompatibleProductsBadLines) {
  for (const char* text : {"abc\n", "-1\n", "1 2\n", "0X10\n", "0x\n", "0xG\n", "4294967296\n",
                           "99999999999999999999\n", "0x100000000\n", "1\n/* never closed\n"}) {
    EXPECT_EQ(Failed(kBadCompat) + "Error in Compatible Products file\n",
              Compat(Write(text)))
        << text;
  }
}

}  // namespace
