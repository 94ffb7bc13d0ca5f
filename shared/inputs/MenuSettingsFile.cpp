#include "inputs/MenuSettingsFile.h"

#include <cassert>

CMenuSettingsFile::CMenuSettingsFile() = default;

CMenuSettingsFile::~CMenuSettingsFile() = default;

bool CMenuSettingsFile::ReadMenuSettings(std::string* pSettings) {
  assert(m_InFile);
  pSettings->clear();
  bool ok;
  do {
    std::string line;
    ok = ReadLine(&line);
    if (ok && !line.empty()) {
      ok = IsValid(&line);
      if (ok) pSettings->append(line);
    }
  } while (ok && !IsEof());

  if (!ok) {
    AddErrorStr("Error in Menu Settings File (bad format).\n");
    return false;
  }
  if (pSettings->empty()) {
    AddErrorStr("Error in Menu Settings File (empty file).\n");
    return false;
  }
  // Settings are written ";"-terminated; the record builders add their own
  // terminator, so only the very last one goes.
  if (pSettings->back() == ';') pSettings->pop_back();
  return true;
}

bool CMenuSettingsFile::IsValid(std::string const* /*pLine*/) const {
  return true;
}
