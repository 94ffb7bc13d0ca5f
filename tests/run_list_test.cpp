#include "assemble/RunList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

// The words in brackets, or "error: <why>".
static std::string Split(const std::string& line) {
  std::vector<std::string> words = {"stale"};
  std::string why, out;
  if (!SplitWords(line, &words, &why)) return "error: " + why;
  for (const auto& w : words) out += "[" + w + "]";
  return out;
}

// Every run as "N:word|word ", then "end" or "N: <error>".
static std::string ReadPath(const std::string& path) {
  CRunList list;
  if (!list.Open(path.c_str())) return "unopened";
  std::string out;
  RunLine_t run;
  while (list.Next(&run)) {
    out += std::to_string(run.Number) + ":";
    for (size_t i = 0; i < run.Words.size(); ++i) out += (i ? "|" : "") + run.Words[i];
    out += " ";
  }
  auto end = [&list] {
    const std::string& why = list.GetError();
    return why.empty() ? "end" : std::to_string(list.GetErrorLine()) + ": " + why;
  };
  const std::string first = end();
  // Once ended, a list stays ended the same way.
  return out + first + (list.Next(&run) || end() != first ? " then more" : "");
}

static std::string ReadList(const std::string& text) { return ReadPath(testutil::Put("l", text)); }

TEST(RunList, SplitWords) {
  EXPECT_EQ(Split("-f \"my file.txt\"  -t\t\tuser"), "[-f][my file.txt][-t][user]");
  EXPECT_EQ(Split("\"\" a\"b c\"d \"x\"\"y\""), "[][ab cd][xy]");
  EXPECT_EQ(Split("\"q\\\"x\\\\y\\z\\\\\""), "[q\"x\\y\\z\\]");
  // Outside quotes, backslashes and single quotes are plain characters.
  EXPECT_EQ(Split("C:\\d\\ 'a b' \\\\ \xff\v\r"), "[C:\\d\\]['a][b'][\\\\][\xff\v\r]");
  for (const char* open : {"\"abc", "a \"", "\"a\\\"", "\"a\"\"b", "x \"y\\\\\\\""})
    EXPECT_EQ(Split(open), "error: an unterminated quote") << open;
}

TEST(RunList, RunsWithTheirNumbersUpToTheFirstError) {
  EXPECT_EQ(ReadList("// head\r\n-f a.txt -t user\r\n\r\n/* note\r\nstill */ -f x\r\n"
                     "  --type SwKeys\t-f \"my file.txt\" \r\n\nlast \"\""),
            "2:-f|a.txt|-t|user 6:--type|SwKeys|-f|my file.txt 8:last| end");
  EXPECT_EQ(ReadList("\n// only\n"), "end");
  EXPECT_EQ(ReadList("a\nb \"c\nd\n"), "1:a 2: an unterminated quote");
  EXPECT_EQ(ReadList(std::string("a\n\nb\0c\nd\n", 10)),
            "1:a 3: a NUL byte in the line: a list is a text file, one mocftool run a line");
  // A MOCF, its header's length cut by a line feed or not; then text.
  const std::string mocf = "1: this is a MOCF (it begins with the tag \"MOCF\"), not a list: a "
                           "list is a text file, one mocftool run a line; mocfinfo --unpack "
                           "FOLDER " + testutil::Put("l", "") + " writes one from a MOCF";
  EXPECT_EQ(ReadList(std::string("MOCF\x30\x01\0\0", 8)), mocf);
  EXPECT_EQ(ReadList("MOCF\n\x01\0\0"), mocf);
  EXPECT_EQ(ReadList("MOCFs -t user\n"), "1:MOCFs|-t|user end");
  EXPECT_EQ(ReadList("a\n/* open\n\nb\n"), "1:a 4: a /* comment is not closed");
  const std::string full(CRunList::kMaxLineLength, 'x');
  EXPECT_EQ(ReadList(full + "\nb"), "1:" + full + " 2:b end");
  EXPECT_EQ(ReadList("a\n" + full + "x\nb\n"), "1:a 2: the line is longer than 65536 bytes");
  EXPECT_EQ(ReadList("/*\n" + full + "xx"), "2: the line is longer than 65536 bytes");
  // An endless line ends at the limit instead of filling memory.
  EXPECT_EQ(ReadPath("/dev/zero"), "1: the line is longer than 65536 bytes");
  EXPECT_EQ(ReadPath(".") + ReadPath("no/such/list"), "unopenedunopened");
}
