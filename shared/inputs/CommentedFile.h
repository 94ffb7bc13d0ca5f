// Line reader for the hand-written text input files: hands out only content
// lines, trimmed, with "//" line comments, "/* ... */" block comments and
// blank lines removed. Readers of the individual formats derive from it and
// describe refused files in its error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <istream>
#include <sstream>
#include <string>

class CCommentedFile {
 public:
  CCommentedFile();
  virtual ~CCommentedFile();

  // The comment syntax sits in virtual slots so a derived reader could change
  // it; every test sees a line already stripped by StripWhiteSpace.
  virtual bool IsSingleLineComment(std::string const* pLine) const;
  virtual bool IsStartMultiLineComment(std::string const* pLine) const;
  virtual bool IsEndMultiLineComment(std::string const* pLine) const;
  virtual bool IsBlank(std::string const* pLine) const;
  // Skips the lines after one that opened a block comment, up to and
  // including the first line holding "*/". False if the file ends (or a read
  // fails) first.
  virtual bool ReadMultiLineComments();

  // False for a missing, unreadable or directory path; adds no error text.
  bool Open(char const* pPath);
  // Reads a copy of text as it would a file holding those bytes, every rule
  // below included, for inputs a caller holds in memory. Nothing beyond the
  // copy is read. Its bytes are taken as they are, as a file's are on POSIX
  // systems; Windows reads a file in text mode, "\r\n" as "\n": the same
  // line once trimmed, but a byte shorter for the limits.
  void OpenText(const std::string& text);
  void Close();
  // Fills *pLine with the next content line. True with an empty string once
  // no content line is left; false on a block comment still open at the end
  // of the file, a line over the limit set below, or a read error.
  bool ReadLine(std::string* pLine);
  void StripWhiteSpace(std::string* pLine) const;
  bool IsEof() const;
  void AddErrorStr(char const* pText);
  std::string GetErrorStr() const;

  // The number, from 1, of the raw line read last, comment and blank lines
  // counted: after ReadLine hands out a content line, that line's number; 0
  // before the first line.
  int GetLineNumber() const;
  // Refuses raw lines longer than n bytes (line feed not counted, anything
  // stripped later counted): ReadLine returns false, and from then on too,
  // having held at most n + 1 bytes of the line. Without a call, lines may
  // be of any length.
  void SetMaxLineLength(size_t n);
  // Whether a line over that limit stopped the read.
  bool LineTooLong() const;
  // Refuses a file longer than n bytes as ReadLine refuses a long line,
  // having read n. By default n is the largest MOCF: no text longer than
  // that makes a record, and an endless input (a device, a pipe) ends.
  static constexpr uint64_t kMaxBytes = 0x7FFFFFFF;
  void SetMaxBytes(uint64_t n);

 private:
  // What the stream reads: the opened file, or the copy of a text.
  std::filebuf m_File;
  std::stringbuf m_Text{std::ios::in};

 protected:
  // Reads through the buffer the last Open or OpenText chose; before one,
  // or after a failed Open, it is bad and reads nothing.
  std::istream m_InFile{nullptr};

 private:
  // Reads one raw line into *pLine (emptied first) and strips it. False when
  // nothing more can be read for a reason other than the end of the file.
  bool ReadStrippedLine(std::string* pLine);
  // std::getline's stream states and line, but giving up on a line longer
  // than the limit. True when a line (or part of one) was taken.
  bool ReadBoundedLine(std::string* pLine);

  std::string m_ErrorStr;
  size_t m_MaxLineLength = std::string::npos;
  bool m_LineTooLong = false;
  uint64_t m_BytesLeft = kMaxBytes;
  bool m_FileTooLong = false;
  int m_LineNumber = 0;
};
