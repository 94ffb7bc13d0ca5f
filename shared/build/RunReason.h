// Why a mocftool run was refused, in the words mocfbuild uses for the same
// run in a list: the tool's own messages, which stay as they are, say only
// that it failed.
#pragma once

#include <string>
#include <vector>

namespace mocfbuild {

// Why a path cannot take a MOCF, for a path that names no regular file.
std::string NotAMocfFile(const std::string& path);

// The lines that say why the run of these arguments fails, less those it
// printed itself (said); none when nothing is found to be wrong.
std::vector<std::string> WhyRunFails(int argc, const char** argv, const std::string& said);

}  // namespace mocfbuild
