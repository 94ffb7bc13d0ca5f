#include "inputs/CommentedFile.h"

#include <gtest/gtest.h>

#include "test_util.h"

// Each content line as "N:line " with the number GetLineNumber gives right
// after it ("$" once IsEof is already true), then "end N", "fail N" or
// "long N" with the number then.
static std::string Numbered(const std::string& text, size_t limit = std::string::npos,
                            uint64_t maxBytes = CCommentedFile::kMaxBytes) {
  CCommentedFile file;
  if (!file.Open(testutil::Put("numbered.txt", text).c_str())) return "unopened";
  file.SetMaxLineLength(limit);
  file.SetMaxBytes(maxBytes);
  std::string out, line = "stale";
  bool ok;
  while ((ok = file.ReadLine(&line)) && !line.empty()) {
    out += std::to_string(file.GetLineNumber()) + ":" + line + (file.IsEof() ? "$ " : " ");
  }
  // Past the end, every read gives the empty end marker again; a refused
  // long line stops every later read too; after any stop no line comes.
  if (ok && !(file.IsEof() && file.ReadLine(&line) && line.empty())) return out + "no end marker";
  if (file.LineTooLong() && file.ReadLine(&line)) return out + "not stopped";
  if (file.ReadLine(&line) && !line.empty()) return out + "more after the stop";
  const char* how = ok ? "end " : file.LineTooLong() ? "long " : "fail ";
  return out + how + std::to_string(file.GetLineNumber());
}

TEST(CommentedFile, CommentBlankAndLengthRules) {
  const struct { std::string text; size_t limit; uint64_t maxBytes; std::string read; } cases[] = {
      {"", 0, 0, "end 0"}, {"// only\n\n \t \n", 0, 0, "end 3"}, {"a\n", 0, 0, "1:a end 1"},
      {"a", 0, 0, "1:a$ end 1"}, {"  word \t\r\n", 0, 0, "1:word end 1"},
      {"a\r\nb\r\n", 0, 0, "1:a 2:b end 2"},
      {"// skip\nword // more\n/a\n", 0, 0, "2:word // more 3:/a end 3"},
      {"// /* not a block\nw\n", 17, 0, "2:w end 2"},  // the longest raw line meets the limit
      {"a /* b\nplain\nc */ d\nlast\n", 0, 0, "4:last end 4"},
      {"/*\n// x\n*/\nw", 0, 0, "4:w$ end 4"},
      {"/*\ncomment\n*/", 0, 0, "end 3"}, {"/* x */\nplain\n", 0, 0, "fail 2"},
      {"a\n/* open\nx\n", 0, 0, "1:a fail 3"}, {"\v\n\f\nword", 0, 0, "3:word$ end 3"},
      {"\xa0\n\xff w\n", 0, 0, "1:\xa0 2:\xff w end 2"},
      {"// c\r\n\r\na\n/* x\ny */\n\n  b  \nc", 8, 0, "3:a 7:b 8:c$ end 8"},
      {"a\n/* open\n\nx\n", 8, 0, "1:a fail 4"},
      // The limit counts the raw line, blanks that stripping removes included.
      {"abcd\n  abc  \nx\n", 6, 0, "1:abcd long 2"}, {"/*abcde\n*/\na\n", 6, 0, "long 1"},
      // Every byte of the file counts, comments and line ends too; the line
      // that crosses the limit is not handed out, and no later one is.
      {"ab\n// cd\nef\ngh", 0, 14, "1:ab 3:ef 4:gh$ end 4"},
      {"ab\n// cd\nef\ngh", 0, 13, "1:ab 3:ef fail 4"},
      {"ab\n// cd\nef\ngh", 0, 12, "1:ab 3:ef fail 4"}, {"ab\n// cd\nef\ngh", 0, 11, "1:ab fail 3"},
      {"ab\n// cd\nef\ngh", 0, 2, "fail 1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.read, Numbered(c.text, c.limit ? c.limit : std::string::npos,
                               c.maxBytes ? c.maxBytes : CCommentedFile::kMaxBytes))
        << c.text << " " << c.limit << " " << c.maxBytes;
  }
  CCommentedFile missing;  // a failed stream ends the read
  std::string line;
  EXPECT_FALSE(missing.Open("no/such/file") || missing.ReadLine(&line));
}
