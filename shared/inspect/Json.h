// The machine view of an inspection: one JSON object. Scripts parse it, so
// its fields only ever grow; man/mocfinfo.1 lists them.
#pragma once

#include <ostream>
#include <string_view>

#include "inspect/Inspect.h"

namespace mocfinfo {

void PrintJson(const Inspection& inspection, std::ostream& out);
// A JSON string literal. Valid UTF-8 passes through; a byte that is not
// part of valid UTF-8 becomes the character of the same value (\u0080 to
// \u00ff), so the output is always valid UTF-8.
std::string JsonString(std::string_view bytes);

}  // namespace mocfinfo
