// Reader for menu-settings texts (also used for software keys and custom
// defaults): all content lines joined into one settings string.
#pragma once

#include <string>

#include "inputs/CommentedFile.h"

class CMenuSettingsFile : public CCommentedFile {
 public:
  CMenuSettingsFile();
  ~CMenuSettingsFile() override;

  // Joins the content lines with no separator and drops one trailing ";".
  // Fails, with one message in the error text, on an open block comment or
  // when no content line remains. The file must be open.
  bool ReadMenuSettings(std::string* pSettings);
  // Per-line check; every character is allowed in a setting.
  bool IsValid(std::string const* pLine) const;
};
