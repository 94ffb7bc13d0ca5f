#include "MenuSettingsFile.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

const char kBadFormat[] = "Error in Menu Settings File (bad format).\n";
const char kEmpty[] = "Error in Menu Settings File (empty file).\n";

TEST(MenuSettingsFile, ReadMenuSettings) {
  // Expected settings, or the error text when the read must fail.
  struct Case { const char* text; bool ok; const char* out; } cases[] = {
    {"A=1;\n// c\n\n  B = 2;\r\n", true, "A=1;B = 2"}, {"A=1\nB=2", true, "A=1B=2"},
    {"x;;\n", true, "x;"}, {";\n", true, ""}, {"/* a\nb */\nS;", true, "S"},
    {"", false, kEmpty}, {"// only\n\n/* x\n*/\n", false, kEmpty},
    {"A=1;\n/* never closed\nB=2;\n", false, kBadFormat},
  };
  testutil::TempDir dir;
  for (const auto& c : cases) {
    testutil::WriteFile(dir.File("menu.txt"), c.text);
    CMenuSettingsFile file;
    ASSERT_TRUE(file.Open(dir.File("menu.txt").c_str()));
    std::string settings = "stale";
    EXPECT_EQ(file.ReadMenuSettings(&settings), c.ok) << c.text;
    EXPECT_EQ(c.ok ? settings : file.GetErrorStr(), c.out) << c.text;
    if (c.ok) {
      EXPECT_EQ(file.GetErrorStr(), "");
    }
  }
}

struct RawMenu : CMenuSettingsFile {
  void OpenUnchecked(const std::string& path) { m_InFile.open(path); }
};

TEST(MenuSettingsFile, ReadErrorIsBadFormat) {
  testutil::TempDir dir;
  RawMenu file;
  file.OpenUnchecked(dir.path());
  std::string settings;
  EXPECT_FALSE(file.ReadMenuSettings(&settings));
  EXPECT_EQ(file.GetErrorStr(), kBadFormat);
}

}  // namespace
