#include "CommentedFile.h"

#include <gtest/gtest.h>

#include "test_util.h"

TEST(CommentedFile, CommentAndBlankRules) {
  // The lines read, "$" marking one after which IsEof was already true.
  const struct { const char* text; bool ok; std::vector<std::string> lines; } cases[] = {
      {"", true, {}}, {"// only\n\n \t \n", true, {}}, {"a\n", true, {"a"}}, {"a", true, {"a$"}},
      {"  word \t\r\n", true, {"word"}}, {"a\r\nb\r\n", true, {"a", "b"}},
      {"// skip\nword // more\n/a\n", true, {"word // more", "/a"}},
      {"// /* not a block\nw\n", true, {"w"}}, {"a /* b\nplain\nc */ d\nlast\n", true, {"last"}},
      {"/*\n// x\n*/\nw", true, {"w$"}}, {"/*\ncomment\n*/", true, {}},
      {"/* x */\nplain\n", false, {}}, {"a\n/* open\nx\n", false, {"a"}},
      {"\v\n\f\nword", true, {"word$"}}, {"\xa0\n\xff w\n", true, {"\xa0", "\xff w"}}};
  std::string line;
  for (const auto& c : cases) {
    CCommentedFile file;
    ASSERT_TRUE(file.Open(testutil::Put("in.txt", c.text).c_str()));
    std::vector<std::string> lines;
    line = "stale";
    bool ok;
    while ((ok = file.ReadLine(&line)) && !line.empty()) {
      lines.push_back(line + (file.IsEof() ? "$" : ""));
    }
    EXPECT_TRUE(ok == c.ok && lines == c.lines) << c.text;
    // Past the end, every read gives the empty end marker again.
    EXPECT_TRUE(!ok || (file.IsEof() && file.ReadLine(&line) && line.empty())) << c.text;
  }
  CCommentedFile missing;
  EXPECT_FALSE(missing.Open("no/such/file"));
  EXPECT_FALSE(missing.ReadLine(&line));  // a failed stream ends the read
}
