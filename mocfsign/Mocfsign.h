// The mocfsign command: a detached signature beside a MOCF made, co-signed,
// verified against a trust anchor, or listed. Streams are parameters so
// that tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace mocfsign {

// args excludes the program name. Returns the exit status: 0 signed,
// verified or listed; 1 (--verify) the MOCF does not verify; 2 the command
// line refused, or a file, key or token could not be used.
int RunMocfsign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mocfsign
