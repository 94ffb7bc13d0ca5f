// Why a mocftool run was refused or failed, beyond the tool's own
// messages, which stay as they are: the words mocfbuild uses for the same
// run in a list. A failed run keeps its reasons itself (GetReasons).
#pragma once

#include <string>
#include <vector>

#include "args/CommandLine.h"

namespace mocfbuild {

// Why a path cannot take a MOCF, for a path that names no regular file.
std::string NotAMocfFile(const std::string& path);

// The non-empty lines of a text.
std::vector<std::string> Lines(const std::string& text);

// The lines that say why the arguments are refused, less those the run
// printed itself (said); none when nothing is found to be wrong.
std::vector<std::string> WhyRunFails(int argc, const char** argv, const std::string& said);
// The same for a run of options already read.
std::vector<std::string> WhyRunFails(const options_t& options, const std::string& said);

// What mocftool adds on standard error once a run has ended with status,
// a line each without the program's name: the note on a --tag read in
// part, then why (as WhyRunFails found it), or what is known without it.
std::vector<std::string> WhyLines(const options_t& options, int status,
                                  std::vector<std::string> why, const std::string& said);

}  // namespace mocfbuild
