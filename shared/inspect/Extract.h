// The bytes --extract and --record take out of a record.
#pragma once

#include <string>
#include <string_view>

#include "inspect/Inspect.h"

namespace mocfinfo {

enum class Extraction {
  kContent,  // a user file's bytes; any other record's value
  kRecord,   // header and value, without padding: an object file
};

// False, with the reason, when the record holds nothing of the kind asked.
bool ExtractedBytes(const Inspection& inspection, const RecordInfo& record, Extraction what,
                    std::string_view* pBytes, std::string* pWhyNot);

}  // namespace mocfinfo
