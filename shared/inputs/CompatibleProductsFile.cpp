#include "inputs/CompatibleProductsFile.h"

#include <cassert>
#include <cctype>
#include <cstdint>
#include <string>

namespace {

// Digit classes are fixed ASCII ranges, whatever the locale.
bool IsDecDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) {
  return IsDecDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned DigitValue(char c) {
  if (IsDecDigit(c)) return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 16;
}

// Reads the longest leading run of digits of the base. Written by hand rather
// than with sscanf so that a value beyond 32 bits is refused instead of
// being undefined; leading zeros never overflow.
bool ParseUnsigned(char const* p, unsigned base, unsigned int* pValue) {
  uint64_t value = 0;
  bool any = false;
  for (; DigitValue(*p) < base; ++p) {
    value = value * base + DigitValue(*p);
    if (value > UINT32_MAX) return false;
    any = true;
  }
  *pValue = static_cast<unsigned int>(value);
  return any;
}

}  // namespace

CCompatProductsFile::CCompatProductsFile() = default;

CCompatProductsFile::~CCompatProductsFile() = default;

bool CCompatProductsFile::ReadNumbers(std::vector<unsigned int>* pNumbers) {
  assert(m_InFile);
  pNumbers->clear();
  bool ok;
  do {
    std::string line;
    ok = ReadLine(&line);
    if (ok && !line.empty()) {
      // Both see the line as a C string: it ends at its first NUL.
      const bool valid = IsValidNumber(line.c_str());
      ok = valid && AddNumber(line.c_str(), pNumbers);
      if (!ok)
        m_WhyBad = std::to_string(GetLineNumber()) + ": \"" + line.c_str() + "\" is " +
                   (valid ? "more than 32 bits" : "not a number");
    }
  } while (ok && !IsEof());

  if (!ok) AddErrorStr("Error in Compatible Products File (bad format).\n");
  return ok;
}

bool CCompatProductsFile::IsValidNumber(char const* pText) const {
  bool tokenStart = true;
  bool hexMode = false;
  int tokenCount = 0;
  bool valid = true;
  for (size_t i = 0; pText[i] != '\0' && valid; ++i) {
    char c = pText[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      tokenStart = true;
    } else if (IsHexDigit(c)) {
      if (IsDecDigit(c) || hexMode) {
        if (tokenStart) {
          ++tokenCount;
          tokenStart = false;
          valid = tokenCount <= 1;
        }
      } else {
        valid = false;
      }
    } else if (c == 'x' && i > 0 && pText[i - 1] == '0' &&
               IsHexDigit(pText[i + 1])) {
      hexMode = true;
    } else {
      valid = false;
    }
  }
  return valid;
}

bool CCompatProductsFile::AddNumber(char const* pText,
                                    std::vector<unsigned int>* pNumbers) const {
  unsigned int value;
  bool converted;
  if (pText[0] == '0' && pText[1] == 'x') {
    converted = ParseUnsigned(pText + 2, 16, &value);
  } else {
    // Like "%u", white space before the digits is skipped.
    while (std::isspace(static_cast<unsigned char>(*pText))) ++pText;
    converted = ParseUnsigned(pText, 10, &value);
  }
  if (!converted) return false;
  pNumbers->push_back(value);
  return true;
}
