#include "assemble/RunList.h"

namespace {

bool IsWordBlank(char c) { return c == ' ' || c == '\t'; }

// Only these two are escapes, so Windows paths in quotes keep their single
// backslashes.
bool IsQuotedEscape(const std::string& line, size_t i) {
  return line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\');
}

}  // namespace

bool SplitWords(const std::string& line, std::vector<std::string>* pWords, std::string* pWhy) {
  pWords->clear();
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        if (IsQuotedEscape(line, i)) ++i;
        word += line[i];
      }
    } else if (IsWordBlank(c)) {
      if (inWord) pWords->push_back(word);
      word.clear();
      inWord = false;
    } else {
      // A quote starts a word too, so "" is a word of its own.
      inWord = true;
      if (c == '"') {
        quoted = true;
      } else {
        word += c;
      }
    }
  }
  if (quoted) {
    pWords->clear();
    if (pWhy != nullptr) *pWhy = "an unterminated quote";
    return false;
  }
  if (inWord) pWords->push_back(word);
  return true;
}

bool CRunList::Open(const char* pPath) {
  m_Path = pPath;
  m_File.SetMaxLineLength(kMaxLineLength);
  return m_File.Open(pPath);
}

bool CRunList::Next(RunLine_t* pLine) {
  pLine->Words.clear();
  while (!m_Done) {
    std::string text;
    if (!m_File.ReadLine(&text)) return FailRead();
    if (text.empty()) {
      m_Done = true;
      break;
    }
    const int number = m_File.GetLineNumber();
    // A MOCF given for the list: its header's length holds a NUL, or a line
    // feed that ends the line within the header, and the version record
    // after it starts with NULs.
    const bool nul = text.find('\0') != std::string::npos;
    if (number == 1 && text.rfind("MOCF", 0) == 0 && (nul || text.size() < 8))
      return Fail("this is a MOCF (it begins with the tag \"MOCF\"), not a list: a list is a "
                  "text file, one mocftool run a line; mocfinfo --unpack FOLDER " + m_Path +
                  " writes one from a MOCF", number);
    // Words go on to the tool's argument parser as C strings, where a NUL
    // would quietly cut one short.
    if (nul) return Fail("a NUL byte in the line: a list is a text file, one mocftool run a line",
                         number);
    std::string why;
    if (!SplitWords(text, &pLine->Words, &why)) return Fail(why, number);
    // A content line holds something other than a blank, hence a word; the
    // check only keeps the promise of Words never being empty.
    if (pLine->Words.empty()) continue;
    pLine->Number = number;
    return true;
  }
  return false;
}

const std::string& CRunList::GetError() const { return m_Error; }

int CRunList::GetErrorLine() const { return m_ErrorLine; }

bool CRunList::Fail(const std::string& why, int line) {
  m_Error = why;
  m_ErrorLine = line;
  m_Done = true;
  return false;
}

bool CRunList::FailRead() {
  const int last = m_File.GetLineNumber();
  if (m_File.LineTooLong()) {
    return Fail("the line is longer than " + std::to_string(kMaxLineLength) + " bytes", last);
  }
  // A block comment is the only other thing that reads on to the end.
  if (m_File.IsEof()) return Fail("a /* comment is not closed", last);
  // The line that could not be read is the one after the last read.
  return Fail("the file can't be read", last + 1);
}

std::string QuotedWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"\\'") == std::string::npos) return word;
  std::string out = "\"";
  for (char c : word) out += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
  return out + "\"";
}

bool TypeableLine(const std::vector<std::string>& words, std::string* pLine) {
  std::string line;
  for (const std::string& word : words) line += (line.empty() ? "" : " ") + QuotedWord(word);
  if (line.find("/*") != std::string::npos || line.compare(0, 2, "//") == 0 ||
      line.find_first_of(std::string("\0\r\n", 3)) != std::string::npos ||
      line.size() > CRunList::kMaxLineLength)
    return false;
  std::vector<std::string> back;
  if (!SplitWords(line, &back, nullptr) || back != words) return false;
  *pLine = line;
  return true;
}
