#include "inputs/CommentedFile.h"
#include "platform/Utf8Path.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <istream>
#include <system_error>

namespace {

// Only these are trimmed: a line of a vertical tab or form feed survives the
// trim and is dropped later as blank.
const char kStripChars[] = " \t\r\n";

}  // namespace

CCommentedFile::CCommentedFile() = default;

CCommentedFile::~CCommentedFile() { Close(); }

bool CCommentedFile::IsSingleLineComment(std::string const* pLine) const {
  return pLine->compare(0, 2, "//") == 0;
}

bool CCommentedFile::IsStartMultiLineComment(std::string const* pLine) const {
  return pLine->find("/*") != std::string::npos;
}

bool CCommentedFile::IsEndMultiLineComment(std::string const* pLine) const {
  return pLine->find("*/") != std::string::npos;
}

bool CCommentedFile::IsBlank(std::string const* pLine) const {
  for (char c : *pLine) {
    // Through unsigned char: bytes >= 0x80 are negative chars, which
    // std::isspace must not see.
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool CCommentedFile::ReadMultiLineComments() {
  std::string line;
  do {
    ReadStrippedLine(&line);
  } while (m_InFile.good() && !IsEndMultiLineComment(&line));
  // A closing "*/" on a last line without a line feed leaves the stream at
  // its end but still counts.
  return IsEndMultiLineComment(&line);
}

bool CCommentedFile::Open(char const* pPath) {
  if (pPath == nullptr) return false;
  // A directory opens as a stream on some platforms and fails only at the
  // first read; refuse it here so callers report it as unopenable.
  std::error_code ec;
  if (std::filesystem::is_directory(Utf8Path(pPath), ec)) return false;
  // Setting the buffer clears the stream's state: a reader can be opened
  // again after a read to the end.
  m_InFile.rdbuf(m_File.open(Utf8Path(pPath), std::ios::in) ? &m_File : nullptr);
  return m_InFile.good();
}

void CCommentedFile::OpenText(const std::string& text) {
  m_Text.str(text);
  m_InFile.rdbuf(&m_Text);
}

void CCommentedFile::Close() {
  if (m_File.is_open()) m_File.close();
  m_Text.str(std::string());
}

bool CCommentedFile::ReadStrippedLine(std::string* pLine) {
  pLine->clear();
  const bool taken = ReadBoundedLine(pLine);
  // Saturates: a file of billions of empty lines must not overflow it.
  if (taken && m_LineNumber < INT_MAX) ++m_LineNumber;
  if (m_LineTooLong || m_FileTooLong) {
    pLine->clear();
    return false;
  }
  StripWhiteSpace(pLine);
  return !m_InFile.bad() && (m_InFile.eof() || !m_InFile.fail());
}

bool CCommentedFile::ReadBoundedLine(std::string* pLine) {
  // Same entry check as getline: a stream already at its end or failed
  // reads nothing and gets failbit.
  std::istream::sentry ready(m_InFile, true);
  if (!ready) return false;
  std::streambuf* pBuf = m_InFile.rdbuf();
  std::ios::iostate state = std::ios::goodbit;
  size_t taken = 0;
  for (;;) {
    const int c = pBuf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      state |= std::ios::eofbit;
      break;
    }
    ++taken;
    if (m_BytesLeft == 0) {
      m_FileTooLong = true;
      state |= std::ios::failbit;
      break;
    }
    --m_BytesLeft;
    if (c == '\n') break;
    if (pLine->size() >= m_MaxLineLength) {
      // failbit without eofbit keeps every later read failing too.
      m_LineTooLong = true;
      state |= std::ios::failbit;
      break;
    }
    // Grown by hand so the capacity never overshoots the limit the way
    // doubling would.
    if (pLine->size() == pLine->capacity()) {
      pLine->reserve(std::min(m_MaxLineLength, 2 * pLine->capacity()));
    }
    pLine->push_back(static_cast<char>(c));
  }
  if (taken == 0) state |= std::ios::failbit;
  m_InFile.setstate(state);
  return taken > 0;
}

bool CCommentedFile::ReadLine(std::string* pLine) {
  pLine->clear();
  try {
    std::string line;
    bool found = false;
    do {
      // A stream that failed without reaching the end would never report
      // end of file, so the error has to end the read.
      if (!ReadStrippedLine(&line)) return false;
      if (IsSingleLineComment(&line) || IsBlank(&line)) continue;
      if (IsStartMultiLineComment(&line)) {
        if (!ReadMultiLineComments()) return false;
        continue;
      }
      *pLine = line;
      found = true;
    } while (!found && !IsEof());
    return true;
  } catch (...) {
    pLine->clear();
    return false;
  }
}

void CCommentedFile::StripWhiteSpace(std::string* pLine) const {
  size_t last = pLine->find_last_not_of(kStripChars);
  if (last == std::string::npos) {
    pLine->clear();
    return;
  }
  pLine->erase(last + 1);
  pLine->erase(0, pLine->find_first_not_of(kStripChars));
}

bool CCommentedFile::IsEof() const { return m_InFile.eof(); }

void CCommentedFile::AddErrorStr(char const* pText) { m_ErrorStr += pText; }

std::string CCommentedFile::GetErrorStr() const { return m_ErrorStr; }

int CCommentedFile::GetLineNumber() const { return m_LineNumber; }

void CCommentedFile::SetMaxLineLength(size_t n) { m_MaxLineLength = n; }

bool CCommentedFile::LineTooLong() const { return m_LineTooLong; }

void CCommentedFile::SetMaxBytes(uint64_t n) { m_BytesLeft = n; }
