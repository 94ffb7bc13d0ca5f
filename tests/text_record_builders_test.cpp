#include <gtest/gtest.h>

#include "test_util.h"

using testutil::Build, testutil::Ok, testutil::Put;

TEST(TextRecordBuildersTest, SettingsKeysAndProductRecords) {
  // Settings lines join as they are, stripped; only the very last ';' goes.
  const std::string abc = Put("abc", "// settings\nA;;\n  BC;; \r\n");
  EXPECT_EQ(Ok("05000060 08000000 413b3b42433b2e00"), Build(MenuSettings, abc));
  EXPECT_EQ(Ok("04000060 08000000 413b3b42433b4000"), Build(CustomDefaults, abc));
  EXPECT_EQ(Ok("03000060 13000000 413b3b42433b3b46494d504e4d313233342e00"),
            Build(SwKeys, abc, "1234"));
  EXPECT_EQ(Ok("05000060 02000000 2e00"), Build(MenuSettings, Put("semi", ";\n")));
}

// Failures add the reader's text, then the builder's.
TEST(TextRecordBuildersTest, FailuresAddTheReadersTextThenTheBuilders) {
  const std::string comments = Put("comments", "// only a comment\n\n/* and\n a block */\n");
  const std::string empty = "failed / Error in Menu Settings File (empty file).\n";
  EXPECT_EQ(empty + "Error in Menu Settings file\n", Build(MenuSettings, comments));
  EXPECT_EQ(empty + "Error in Custom Defaults file\n", Build(CustomDefaults, comments));
  EXPECT_EQ(empty + "Error in SW Keys file\n", Build(SwKeys, comments, "1"));
  EXPECT_EQ("failed / Error in Menu Settings File (bad format).\nError in Menu Settings file\n",
            Build(MenuSettings, Put("open", "A=1;\n/* never closed\nB=2;\n")));
  const char* missing = "/nonexistent/in";
  EXPECT_EQ("failed / Can't open Menu Settings file\n", Build(MenuSettings, missing));
  EXPECT_EQ("failed / Can't open Custom Defaults file\n", Build(CustomDefaults, missing));
  EXPECT_EQ("failed / Can't open SW Keys file\n", Build(SwKeys, missing, "1"));
  EXPECT_EQ("failed / Can't open Compatible Products file\n", Build(CompatProd, missing));
}
