#include "MenuSettingsFile.h"

#include <gtest/gtest.h>

#include "test_util.h"

TEST(MenuSettingsFile, ReadMenuSettings) {
  const std::string bad = "Error in Menu Settings File (bad format).\n";
  const std::string empty = "Error in Menu Settings File (empty file).\n";
  // The settings read, or the error text when the read must fail.
  const struct { const char* text; bool ok; std::string out; } cases[] = {
      {"A=1;\n// c\n\n  B = 2;\r\n", true, "A=1;B = 2"}, {"A=1\nB=2", true, "A=1B=2"},
      {"x;;\n", true, "x;"}, {";\n", true, ""}, {"/* a\nb */\nS;", true, "S"},
      {"", false, empty}, {"// only\n\n/* x\n*/\n", false, empty},
      {"A=1;\n/* never closed\nB=2;\n", false, bad}};
  for (const auto& c : cases) {
    CMenuSettingsFile file;
    ASSERT_TRUE(file.Open(testutil::Put("menu.txt", c.text).c_str()));
    std::string settings = "stale";
    EXPECT_EQ(c.ok, file.ReadMenuSettings(&settings)) << c.text;
    EXPECT_EQ(c.out, c.ok ? settings : file.GetErrorStr()) << c.text;
  }
}
