// The record builders' error text and reasons. They grow within a run and
// are said once by the append after a failed build; each run has its own.
#include "inputs/ObjectRecordBuilder.h"
#include "run/RunContext.h"

void AddErrorStr(const char* pText) { run::Current().ErrorStr += pText; }

std::string GetErrorStr() { return run::Current().ErrorStr; }

void AddReason(const std::string& line) { run::Current().Reasons += line + "\n"; }

std::string GetReasons() { return run::Current().Reasons; }

void ClearErrorStr() {
  run::Current().ErrorStr.clear();
  run::Current().Reasons.clear();
}
