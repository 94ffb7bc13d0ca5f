// One run's append: add one record, built from the input file, to the MOCF
// the options name, and replace the file only once the result is sound.
#pragma once

#include "args/CommandLine.h"

namespace append {

// True when the MOCF file has been replaced by the new image. On false the
// run's messages have been said and the file is as it was.
bool Run(const options_t& options);

// The exit status of a run whose arguments were accepted: 0 when it
// appended; 2, once "Error creating MOCF" is said, when it did not.
int StatusOf(bool appended);

}  // namespace append
