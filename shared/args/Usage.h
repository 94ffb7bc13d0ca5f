// The checks that the parsed options fit together, and the usage text shown
// whenever a command line is refused.
#pragma once

#include "args/CommandLine.h"

// False after printing the reason, one message for the first broken rule.
bool ValidateArgs(const options_t* options);
// The same with the answer to whether the MOCF file exists given, for a
// caller that knows what an earlier run will have left there.
bool ValidateArgs(const options_t* options, bool mocfExists);
// The same for an input handed over as bytes: InFile only names it, and no
// file of that name is looked for.
bool ValidateArgsForBytes(const options_t* options, bool mocfExists);
// argv0 is the program path as started; only its file name is shown.
void PrintUsage(const char* argv0);
