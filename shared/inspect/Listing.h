// The human view of an inspection: a header line with the verdict, then one
// aligned line per MOCF-level record saying what it holds.
#pragma once

#include <ostream>
#include <string>

#include "inspect/Inspect.h"

namespace mocfinfo {

// "FILE: valid" or "FILE: invalid: REASON".
std::string Verdict(const Inspection& inspection);
void PrintListing(const Inspection& inspection, std::ostream& out);
// A tag as the listing's column shows it: 8 hexadecimal digits, no 0x.
std::string TagHex(unsigned int tag);
// What a record holds, in words; "" for kinds with nothing to show.
std::string Content(const Inspection& inspection, const RecordInfo& record);

}  // namespace mocfinfo
