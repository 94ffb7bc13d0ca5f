#include "CommentedFile.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

using Lines = std::vector<std::string>;

// Collects content lines up to the empty end marker; false on a failed read.
bool ReadAll(CCommentedFile* file, Lines* lines) {
  std::string line;
  while (file->ReadLine(&line)) {
    if (line.empty()) return true;
    lines->push_back(line);
  }
  return false;
}

TEST(CommentedFile, CommentAndBlankRules) {
  struct Case { const char* text; bool ok; Lines lines; } cases[] = {
    {"", true, {}}, {"// only\n\n \t \n", true, {}},
    {"  word \t\r\n", true, {"word"}}, {"a\r\nb\r\n", true, {"a", "b"}},
    {"// skip\nword // more\n/a\n", true, {"word // more", "/a"}},
    {"// /* not a block\nw\n", true, {"w"}},
    {"a /* b\nplain\nc */ d\nlast\n", true, {"last"}},
    {"/*\n// x\n*/\nw", true, {"w"}}, {"/*\ncomment\n*/", true, {}},
    {"/* x */\nplain\n", false, {}}, {"a\n/* open\nx\n", false, {"a"}},
    {"\v\n\f\nword", true, {"word"}}, {"\xa0\n\xff w\n", true, {"\xa0", "\xff w"}},
  };
  testutil::TempDir dir;
  for (const Case& c : cases) {
    testutil::WriteFile(dir.File("in.txt"), c.text);
    CCommentedFile file;
    ASSERT_TRUE(file.Open(dir.File("in.txt").c_str()));
    Lines lines;
    EXPECT_EQ(ReadAll(&file, &lines), c.ok) << c.text;
    EXPECT_EQ(lines, c.lines) << c.text;
    EXPECT_TRUE(file.IsEof() || !c.ok) << c.text;
  }
}

TEST(CommentedFile, EofWithAndWithoutFinalLineFeed) {
  testutil::TempDir dir;
  for (std::string text : {"a\n", "a"}) {
    testutil::WriteFile(dir.File("in.txt"), text);
    CCommentedFile file;
    ASSERT_TRUE(file.Open(dir.File("in.txt").c_str()));
    std::string line;
    EXPECT_TRUE(file.ReadLine(&line) && line == "a");
    EXPECT_EQ(file.IsEof(), text == "a");
    for (int i = 0; i < 2; ++i) {
      line = "stale";
      EXPECT_TRUE(file.ReadLine(&line) && line.empty() && file.IsEof());
    }
  }
}

struct RawFile : CCommentedFile {
  void OpenUnchecked(const std::string& path) { m_InFile.open(path); }
};

TEST(CommentedFile, UnopenableAndUnreadable) {
  testutil::TempDir dir;
  CCommentedFile missing, directory;
  EXPECT_FALSE(missing.Open(dir.File("none").c_str()));
  EXPECT_FALSE(directory.Open(dir.path().c_str()));
  EXPECT_EQ(missing.GetErrorStr(), "");
  // A stream that fails short of the end of the file must end the read.
  Lines lines;
  EXPECT_FALSE(ReadAll(&missing, &lines));
  RawFile raw;
  raw.OpenUnchecked(dir.path());
  EXPECT_FALSE(ReadAll(&raw, &lines));
}

}  // namespace
