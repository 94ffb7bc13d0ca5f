// Appending without holding the image in memory: the new image is put
// together in the temporary file by the system's own copying, then checked,
// hashed and finished in place through a view of that file.
#pragma once

#include <optional>

#include "assemble/AppendSteps.h"
#include "args/CommandLine.h"
#include "platform/Platform.h"

// As AppendToMocf, under the caller's lock. Empty when the image cannot be
// put together this way (under a file-size limit, where files cannot be
// mapped, or when the image would be too large to load again): nothing was
// read, printed or replaced, and the caller appends in memory instead.
std::optional<bool> AppendOnDisk(const options_t* options, const FilesSeen_t& seen,
                                 const platform::CFileLock* pLock);
