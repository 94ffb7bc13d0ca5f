// The mocfinfo command: reads its arguments, inspects each MOCF and prints
// or extracts. Streams are parameters so tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace mocfinfo {

constexpr int kValid = 0;
constexpr int kInvalid = 1;
constexpr int kCouldNot = 2;

// args excludes the program name. Returns the exit status.
int RunMocfinfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mocfinfo
