// The mocfbuild command: a whole MOCF from a list of mocftool runs, in one
// pass, with the reason when a run is refused. Streams are parameters so
// that tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace mocfbuild {

// args excludes the program name. Returns the exit status: 0 built, 1 the
// command line or a run's arguments refused, 2 a run failed or the MOCF
// could not be written. With progress, a build that takes a while says how
// far it is on err.
int RunMocfbuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 bool progress = false);

}  // namespace mocfbuild
