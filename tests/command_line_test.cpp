#include "CommandLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

struct Parsed {
  bool ok;
  std::string out;
  options_t opts;
};

Parsed Parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"mocftool"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  const int argc = static_cast<int>(argv.size());
  argv.push_back("POISON");  // sits at argv[argc], which must never be read
  Parsed p;
  testing::internal::CaptureStdout();
  p.ok = ParseCommandLine(argc, argv.data(), &p.opts);
  std::fflush(stdout);
  p.out = testing::internal::GetCapturedStdout();
  return p;
}

class CommandLineTest : public testing::Test {
 protected:
  CommandLineTest() : in_(dir_.File("in.bin")) { testutil::WriteFile(in_, "x"); }
  // A command line that validates, with extra arguments after it.
  Parsed ParseValid(std::vector<std::string> extra) {
    std::vector<std::string> args{"-f", in_, "-m", dir_.File("new.mocf"), "-t", "user"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Parse(args);
  }
  testutil::TempDir dir_;
  std::string in_;
};

TEST(StrTableTest, WholeWordsMatchWithoutRegardToCase) {
  const StrId_t table[] = {{"alpha", 7}, {"Beta", 8}, {"", -1}};
  EXPECT_EQ(7, StrToNum("ALPHA", table));
  EXPECT_EQ(8, StrToNum("beta", table));
  EXPECT_EQ(-1, StrToNum("alph", table));
  EXPECT_EQ(-1, StrToNum("alphas", table));
  EXPECT_EQ(-1, StrToNum("", table));
  EXPECT_EQ(-1, StrToNum("7", table));
  EXPECT_FALSE(StrInCmp("a[", "A{"));  // only letters fold
}

TEST(StrTableTest, AppNameIsTextAfterLastDelimiter) {
  EXPECT_STREQ("mocftool.exe", GetAppName("C:\\tools\\mocftool.exe"));
  EXPECT_STREQ("x", GetAppName("a/b:x"));
  EXPECT_STREQ("name", GetAppName("name"));
  EXPECT_STREQ("", GetAppName("dir/"));
  EXPECT_STREQ("", GetAppName(""));
}

TEST_F(CommandLineTest, TypeWordsBelongToTheirOption) {
  for (const char* opt : {"-t", "-T"}) EXPECT_EQ(UserFile, Parse({opt, "user"}).opts.Type);
  EXPECT_EQ(UserFile, Parse({"-t", "USER"}).opts.Type);
  EXPECT_EQ(CustomDefaults, Parse({"-t", "customdefaults"}).opts.Type);
  EXPECT_EQ(Binary, Parse({"--type", "binary"}).opts.Type);
  EXPECT_EQ(MenuSettings, Parse({"--TYPE", "menusettings"}).opts.Type);
  EXPECT_EQ("Unrecognized file type (binary)\n", Parse({"-t", "binary"}).out);
  EXPECT_EQ("Unrecognized file type (user)\n", Parse({"--type", "user"}).out);
  EXPECT_EQ("Unrecognized file type ()\n", Parse({"-t", ""}).out);
  EXPECT_EQ("Unrecognized file type (5)\n", Parse({"--type", "5"}).out);
  // Whichever type option comes last decides.
  EXPECT_EQ(SwKeys, Parse({"-t", "user", "--type", "SwKeys"}).opts.Type);
  EXPECT_EQ(Object, Parse({"--type", "SwKeys", "-t", "object"}).opts.Type);
}

TEST_F(CommandLineTest, WalkConsumesValuesAndKeepsLastOne) {
  Parsed p = Parse({"-d", "-m", "a.mocf", "-m", "b.mocf", "--PartNum", ""});
  EXPECT_TRUE(p.opts.DeleteContents);
  EXPECT_EQ("b.mocf", p.opts.MocfFile);
  EXPECT_EQ("", p.opts.PartNum);
  EXPECT_EQ("-f", Parse({"-m", "-f"}).opts.MocfFile);
  EXPECT_EQ("--bogus", Parse({"-F", "--bogus"}).opts.InFile);
  EXPECT_TRUE(ParseValid({}).ok);
  EXPECT_EQ("No input file specified!\n", Parse({}).out);  // verdict of validation
  EXPECT_TRUE(ParseValid({"--PartNum", "-x"}).ok);
}

TEST_F(CommandLineTest, StrayArgumentsAreRefusedSilently) {
  for (const char* bad : {"--bogus", "-x", "-mfoo", "file", "--", "-", "", "--t"}) {
    Parsed p = ParseValid({bad});
    EXPECT_FALSE(p.ok) << bad;
    EXPECT_EQ("", p.out) << bad;
  }
  Parsed p = ParseValid({"-x", "-m", "later.mocf"});  // nothing after a refusal is read
  EXPECT_NE("later.mocf", p.opts.MocfFile);
}

TEST_F(CommandLineTest, ValueOptionAsLastArgumentIsRefused) {
  for (const char* opt : {"-m", "-f", "-t", "--type", "--tag", "--PartNum"}) {
    Parsed p = ParseValid({opt});
    EXPECT_FALSE(p.ok) << opt;
    EXPECT_EQ("", p.out) << opt;
    EXPECT_NE("POISON", p.opts.MocfFile + p.opts.InFile + p.opts.PartNum);
  }
  EXPECT_TRUE(ParseValid({"-d"}).ok);
}

TEST_F(CommandLineTest, TagFollowsGlibcScanning) {
  struct { const char* text; uint32_t tag; } cases[] = {
      {"0x1F", 31}, {"31", 31}, {"12abc", 12}, {" \t7", 7}, {"+5", 5},
      {"0x", 0}, {"0xg", 0}, {"0x1Fz", 31}, {"0X1F", 0}, {"0", 0},
      // glibc reads 64 bits (saturating), negates modulo 2^64, keeps 32 bits.
      {"-1", 0xFFFFFFFFu}, {"4294967296", 0}, {"4294967297", 1},
      {"0x1ffffffff", 0xFFFFFFFFu}, {"0x100000000", 0},
      {"18446744073709551616", 0xFFFFFFFFu}, {"-18446744073709551615", 1},
      {"-4294967297", 0xFFFFFFFFu}, {"99999999999999999999999", 0xFFFFFFFFu}};
  for (const auto& c : cases) {
    options_t o;
    bool consumed = false;
    ASSERT_TRUE(ParseHiddenOption(OptTag, c.text, &o, &consumed)) << c.text;
    EXPECT_TRUE(o.TagSpecified && consumed) << c.text;
    EXPECT_EQ(c.tag, o.Tag) << c.text;
  }
  for (const char* bad : {"abc", "", "-", "+", "- 5", "x1"}) {
    Parsed p = Parse({"--tag", bad});
    EXPECT_EQ("Error in Tag value (" + std::string(bad) + ")\n", p.out);
    EXPECT_FALSE(p.opts.TagSpecified);
  }
}

}  // namespace
