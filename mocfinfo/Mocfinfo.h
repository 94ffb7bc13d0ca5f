// The mocfinfo command: reads its arguments, inspects each MOCF and prints
// or extracts. Streams are parameters so tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "inspect/Inspect.h"

namespace mocfinfo {

// args excludes the program name. Returns the exit status.
int RunMocfinfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mocfinfo
