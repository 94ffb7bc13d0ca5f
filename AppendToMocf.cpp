#include "AppendToMocf.h"

#include "build/Append.h"

bool AppendToMocf(const options_t* options) { return append::Run(*options); }
