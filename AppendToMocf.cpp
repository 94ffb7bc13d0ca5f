#include "AppendToMocf.h"

#include "assemble/Append.h"

bool AppendToMocf(const options_t* options) { return append::Run(*options); }
