// The tool's one operation: add one record, built from the input file, to
// the MOCF named on the command line.
#pragma once

#include "args/CommandLine.h"

// True when the MOCF file has been replaced by the new image. On false the
// reasons are printed and the file is as it was.
bool AppendToMocf(const options_t* options);
