#include "Usage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_util.h"

namespace {

class ValidateArgsTest : public testing::Test {
 protected:
  ValidateArgsTest() {
    testutil::WriteFile(dir_.File("in.txt"), "x");
    testutil::WriteFile(dir_.File("old.mocf"), "x");
    opts_.InFile = dir_.File("in.txt");
    opts_.MocfFile = dir_.File("old.mocf");
    opts_.Type = UserFile;
  }
  // The message printed; empty exactly when the options pass.
  std::string Check() {
    testing::internal::CaptureStdout();
    const bool ok = ValidateArgs(&opts_);
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, out.empty()) << out;
    return out;
  }
  testutil::TempDir dir_;
  options_t opts_;
};

TEST_F(ValidateArgsTest, InputAndMocfNamesInRuleOrder) {
  EXPECT_EQ("", Check());
  opts_.InFile = "no/such file.txt";
  EXPECT_EQ("Can't find the input file (no/such file.txt)!\n", Check());
  opts_.InFile = dir_.path();  // a directory is not an input file
  EXPECT_EQ("Can't find the input file (" + dir_.path() + ")!\n", Check());
  opts_.InFile.clear();
  opts_.MocfFile.clear();
  EXPECT_EQ("No input file specified!\n", Check());
  opts_.InFile = dir_.File("in.txt");
  EXPECT_EQ("No MOCF output file specified!\n", Check());
  opts_ = options_t();  // nothing at all: the first rule speaks, not the type check
  EXPECT_EQ("No input file specified!\n", Check());
}

TEST_F(ValidateArgsTest, TypeSpecificRules) {
  opts_.Type = Binary;
  EXPECT_EQ("No Tag specified!\n", Check());
  opts_.TagSpecified = true;  // Tag 0 counts
  EXPECT_EQ("", Check());

  opts_.Type = SwKeys;
  opts_.InFile.clear();
  EXPECT_EQ(
      "System Update Files must have a part number specified with the Software Keys!\n",
      Check());
  opts_.PartNum = std::string(20, 'P');
  EXPECT_EQ("", Check());
  opts_.InFile = "missing.txt";  // not checked for SwKeys
  EXPECT_EQ("", Check());
  opts_.PartNum += "P";
  EXPECT_EQ("Part number is limited in Firmware to 20 characters!\n", Check());
}

TEST_F(ValidateArgsTest, CompatProdOnlyStartsANewMocf) {
  opts_.Type = CompatProd;
  EXPECT_EQ(
      "Compatible Products input file can only be specified along with the -d "
      "option (or input MOCF can't exist).\n",
      Check());
  opts_.DeleteContents = true;
  EXPECT_EQ("", Check());
  opts_.DeleteContents = false;
  opts_.MocfFile = dir_.File("new.mocf");
  EXPECT_EQ("", Check());
}

TEST_F(ValidateArgsTest, MissingTypeIsRefusedLast) {
  opts_.Type = NoFileType;
  EXPECT_EQ("No file type specified!\n", Check());
  opts_.MocfFile.clear();
  EXPECT_EQ("No MOCF output file specified!\n", Check());
}

TEST(PrintUsageTest, ShowsProgramFileName) {
  testing::internal::CaptureStdout();
  PrintUsage("C:\\tools\\mocftool.exe");
  std::fflush(stdout);
  EXPECT_EQ(
      "mocftool.exe:  $ProjectRevision: Last Checkpoint: 1.6 $\n"
      "\n"
      "Usage:  mocftool.exe -m MocfFile -f InFile -t type [-d]\n"
      "\t-m: MOCF filename\n"
      "\t-f: Filename that has Record/object data to add\n"
      "\t-t: File type:  user|CompatProd|object|CustomDefaults\n"
      "\t    Note:  CompatProd cannot be used when appending to an existing MOCF\n"
      "\t-d: Delete the contents of the MOCF before appending the Input File\n",
      testing::internal::GetCapturedStdout());
}

}  // namespace
