// The mocfedit command: a MOCF changed by edits given in order, all or
// nothing, shown first with --dry-run. Streams are parameters so that tests
// can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace mocfedit {

// args excludes the program name. Returns the exit status: 0 done (or, with
// --dry-run, it would be), 1 the command line refused, 2 the MOCF refuses
// an edit, the result breaks a rule or it could not be written.
int RunMocfedit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mocfedit
