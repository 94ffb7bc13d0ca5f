#include "args/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_util.h"

namespace {

const std::string kIn = MOCF_SOURCE_DIR "/CMakeLists.txt";

struct Parsed { bool ok; std::string out; options_t opts; };

Parsed Parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv{"mocftool"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back("POISON");  // sits at argv[argc], which must never be read
  Parsed p;
  std::tie(p.ok, p.out) = testutil::Printed(
      [&] { return ParseCommandLine(static_cast<int>(argv.size()) - 1, argv.data(), &p.opts); });
  return p;
}

TEST(CommandLine, TypeWordsAndAppName) {
  // Typed in odd case: words match without regard to it, and refusals echo them as typed.
  const std::string words[] = {"USER",   "compatprod", "Object",      "customDEFAULTS",
                               "Binary", "SWKEYS",     "menusettings"};
  for (int type = UserFile; type <= MenuSettings; ++type) {
    const bool hidden = type >= Binary;
    EXPECT_EQ(type, Parse({hidden ? "--Type" : "-T", words[type]}).opts.Type);
    EXPECT_EQ("Unrecognized file type (" + words[type] + ")\n",
              Parse({hidden ? "-t" : "--type", words[type]}).out);
  }
  for (const std::string miss : {"", "use", "users", "0"})
    EXPECT_EQ("Unrecognized file type (" + miss + ")\n", Parse({"-t", miss}).out);
  EXPECT_FALSE(StrInCmp("a[", "A{"));  // only letters fold
  EXPECT_EQ("x name", std::string(GetAppName("a/b:x")) + " " + GetAppName("name"));
}

TEST(CommandLine, TagValues) {
  // The tag read, or -1 where the value is refused.
  const std::pair<std::string, int64_t> tags[] = {
      {"0x1F", 31}, {"31", 31}, {"12abc", 12}, {" 7", 7}, {"0X1F", 0},
      {"-1", 0xFFFFFFFF}, {"abc", -1}, {"", -1}, {"-", -1}, {"x1", -1}};
  for (const auto& [text, tag] : tags) {
    const Parsed p = Parse({"-f", kIn, "-m", "new.mocf", "--type", "binary", "--tag", text});
    EXPECT_EQ(tag < 0 ? "Error in Tag value (" + text + ")\n" : "", p.out);
    EXPECT_EQ(tag, p.ok ? int64_t{p.opts.Tag} : -1) << text;
  }
}

TEST(CommandLine, WalkOverArguments) {
  Parsed p = Parse({"-d", "-m", "a.mocf", "--PartNum", "-x", "-t", "user", "--type", "SwKeys",
                    "-m", "-f"});
  EXPECT_TRUE(p.ok && p.opts.DeleteContents && p.opts.PartNum == "-x" && p.opts.Type == SwKeys);
  EXPECT_EQ("-f", p.opts.MocfFile);
  EXPECT_EQ("No input file specified!\n", Parse({}).out);
  EXPECT_EQ("", Parse({"-mfoo", "a.mocf", "-t", "bogus"}).out);  // nothing after it is read
  for (const char* bad : {"--bogus", "-x", "-mfoo", "file", "--", "-", "", "-m", "-f", "-t",
                          "--type", "--tag", "--PartNum"}) {
    p = Parse({"-f", kIn, "-m", "new.mocf", "-t", "user", bad});
    EXPECT_TRUE(!p.ok && p.out.empty()) << bad;
  }
}

}  // namespace
