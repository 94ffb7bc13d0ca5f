#include "args/Usage.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

using testutil::Printed;

TEST(ValidateArgs, FirstBrokenRuleIsReported) {
  const std::string in = testutil::Put("in.txt", "x"), old = testutil::Put("old.mocf", "x");
  const std::string none = in + ".none", p20(20, 'P');
  // Options {MocfFile, InFile, PartNum, Type, Tag, TagSpecified, DeleteContents}, message.
  const std::pair<options_t, std::string> cases[] = {
      {{old, none, "", UserFile}, "Can't find the input file (" + none + ")!\n"},
      {{"", "", "", UserFile}, "No input file specified!\n"},
      {{"", in, "", Binary}, "No MOCF output file specified!\n"},
      {{old, in, "", Binary}, "No Tag specified!\n"}, {{old, in, "", Binary, 0, true}, ""},
      {{old, "", "", SwKeys}, "System Update Files must have a part number specified with the "
                              "Software Keys!\n"},
      {{old, "", p20, SwKeys}, ""},
      {{old, "", p20 + "P", SwKeys}, "Part number is limited in Firmware to 20 characters!\n"},
      {{old, in, "", CompatProd}, "Compatible Products input file can only be specified along "
                                  "with the -d option (or input MOCF can't exist).\n"},
      {{old, in, "", CompatProd, 0, false, true}, ""}, {{none, in, "", CompatProd}, ""},
      {{old, in, "", NoFileType}, "No file type specified!\n"},
      {{"", in, "", NoFileType}, "No MOCF output file specified!\n"}};
  for (const auto& c : cases)
    EXPECT_EQ(std::make_pair(c.second.empty(), c.second),
              Printed([&] { return ValidateArgs(&c.first); }));
}

TEST(PrintUsage, ShowsProgramFileName) {
  EXPECT_EQ("mocftool.exe:  $ProjectRevision: Last Checkpoint: 1.6 $\n\n"
            "Usage:  mocftool.exe -m MocfFile -f InFile -t type [-d]\n"
            "\t-m: MOCF filename\n"
            "\t-f: Filename that has Record/object data to add\n"
            "\t-t: File type:  user|CompatProd|object|CustomDefaults\n"
            "\t    Note:  CompatProd cannot be used when appending to an existing MOCF\n"
            "\t-d: Delete the contents of the MOCF before appending the Input File\n",
            Printed([] { return PrintUsage("C:\\tools\\mocftool.exe"), true; }).second);
}

}  // namespace
