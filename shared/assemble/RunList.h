// Reader for the list that mocfbuild works through: a text file with the
// arguments of one mocftool run per content line, comments and blank lines
// as in the other text inputs, words split much like a shell splits them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "inputs/CommentedFile.h"

// One line of a list: the arguments of one mocftool run.
struct RunLine_t {
  int Number = 0;                  // line number in the file, from 1, comment lines counted
  std::vector<std::string> Words;  // never empty for a returned line
};

class CRunList {
 public:
  static constexpr size_t kMaxLineLength = 65536;

  // False when the path can't be opened for reading or is a directory. One
  // list per object.
  bool Open(const char* pPath);
  // True with the next run. False at the end of the list (GetError() empty)
  // or at a line that can't be read (GetError() says why, in a short phrase,
  // and GetErrorLine() gives its number); every later call is false again.
  bool Next(RunLine_t* pLine);
  const std::string& GetError() const;
  int GetErrorLine() const;

 private:
  bool Fail(const std::string& why, int line);
  // Why ReadLine gave up, with the line to blame.
  bool FailRead();

  CCommentedFile m_File;
  std::string m_Path;
  std::string m_Error;
  int m_ErrorLine = 0;
  bool m_Done = false;
};

// Splits one content line into words. False, with the reason in *pWhy, for
// an unterminated quote. Blanks (spaces, tabs) separate words; double quotes
// keep blanks in a word and may join unquoted text; inside them \" is " and
// \\ is \; every other character stands for itself. pWhy may be null.
bool SplitWords(const std::string& line, std::vector<std::string>* pWords, std::string* pWhy);

// The other way: a word as SplitWords reads it back, quoted only when it
// must be.
std::string QuotedWord(const std::string& word);
// The words as a line that the list reader gives back unchanged, or false:
// a comment marker, a line end or a NUL byte cannot be written in a line.
bool TypeableLine(const std::vector<std::string>& words, std::string* pLine);
