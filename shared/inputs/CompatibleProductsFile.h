// Reader for compatible-products lists: one product number per content line,
// decimal or "0x"-prefixed hexadecimal.
#pragma once

#include <vector>

#include "inputs/CommentedFile.h"

class CCompatProductsFile : public CCommentedFile {
 public:
  CCompatProductsFile();
  ~CCompatProductsFile() override;

  // Fills *pNumbers in file order. A file with no content line gives true and
  // an empty list; a bad line fails with one message in the error text. The
  // file must be open.
  bool ReadNumbers(std::vector<unsigned int>* pNumbers);
  // Syntax of one line: a single decimal or "0x" hexadecimal token.
  bool IsValidNumber(char const* pText) const;
  // Converts the leading number of a checked line and appends it. False,
  // with the list untouched, when there is no number or it needs more than
  // 32 bits.
  bool AddNumber(char const* pText, std::vector<unsigned int>* pNumbers) const;
  // After ReadNumbers failed on a line: "LINE: "TEXT" is not a number".
  const std::string& WhyBad() const { return m_WhyBad; }

 private:
  std::string m_WhyBad;
};
