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
  // A limit the lines stay within must not change a thing; 17 bytes is the
  // longest line above, so one line meets it exactly.
  for (const size_t limit : {std::string::npos, size_t{17}}) {
    for (const auto& c : cases) {
      CCommentedFile file;
      ASSERT_TRUE(file.Open(testutil::Put("in.txt", c.text).c_str()));
      if (limit != std::string::npos) file.SetMaxLineLength(limit);
      std::vector<std::string> lines;
      line = "stale";
      bool ok;
      while ((ok = file.ReadLine(&line)) && !line.empty()) {
        lines.push_back(line + (file.IsEof() ? "$" : ""));
      }
      EXPECT_TRUE(ok == c.ok && lines == c.lines && !file.LineTooLong()) << c.text << limit;
      // Past the end, every read gives the empty end marker again.
      EXPECT_TRUE(!ok || (file.IsEof() && file.ReadLine(&line) && line.empty())) << c.text;
    }
  }
  CCommentedFile missing;
  EXPECT_FALSE(missing.Open("no/such/file"));
  EXPECT_FALSE(missing.ReadLine(&line));  // a failed stream ends the read
}

// Each content line as "N:line " with the number GetLineNumber gives right
// after it, then "end N", "fail N" or "long N" with the number then.
static std::string Numbered(const std::string& text, size_t limit,
                     uint64_t maxBytes = CCommentedFile::kMaxBytes) {
  CCommentedFile file;
  if (!file.Open(testutil::Put("numbered.txt", text).c_str())) return "unopened";
  file.SetMaxLineLength(limit);
  file.SetMaxBytes(maxBytes);
  std::string out, line;
  bool ok;
  while ((ok = file.ReadLine(&line)) && !line.empty()) {
    out += std::to_string(file.GetLineNumber()) + ":" + line + " ";
  }
  // A refused long line stops every later read too; after any stop no line comes.
  if (file.LineTooLong() && file.ReadLine(&line)) return out + "not stopped";
  if (file.ReadLine(&line) && !line.empty()) return out + "more after the stop";
  const char* how = ok ? "end " : file.LineTooLong() ? "long " : "fail ";
  return out + how + std::to_string(file.GetLineNumber());
}

TEST(CommentedFile, LineNumbersAndLengthLimits) {
  for (const size_t limit : {std::string::npos, size_t{8}}) {
    const std::string text = "// c\r\n\r\na\n/* x\ny */\n\n  b  \n";
    EXPECT_EQ(Numbered(text, limit), "3:a 7:b end 7");
    EXPECT_EQ(Numbered(text + "c", limit), "3:a 7:b 8:c end 8");
    EXPECT_EQ(Numbered("a\n/* open\n\nx\n", limit), "1:a fail 4");
  }
  // The limit counts the raw line, blanks that stripping removes included.
  EXPECT_EQ(Numbered("abcd\n  abc  \nx\n", 6), "1:abcd long 2");
  EXPECT_EQ(Numbered("/*abcde\n*/\na\n", 6), "long 1");
  // Every byte of the file counts, comments and line ends too; the line that
  // crosses the limit is not handed out, and no later one is.
  const std::string text = "ab\n// cd\nef\ngh";
  for (const auto& [maxBytes, read] : std::vector<std::pair<uint64_t, std::string>>{
           {14, "1:ab 3:ef 4:gh end 4"}, {13, "1:ab 3:ef fail 4"}, {12, "1:ab 3:ef fail 4"},
           {11, "1:ab fail 3"}, {10, "1:ab fail 3"}, {2, "fail 1"}}) {
    EXPECT_EQ(read, Numbered(text, std::string::npos, maxBytes)) << maxBytes;
  }
}
