// Replaces a file by a complete new image, or leaves it as it was. The
// image goes to a temporary file beside the target and is renamed over it
// only once every byte is written and flushed; where the platform allows,
// the directory is flushed after the rename too.
#pragma once

#include <cstddef>
#include <string>

// Where the bytes of path really live, following symbolic links.
std::string ResolveLinks(const std::string& path);

// False when the target exists but can't be opened for writing, or when
// any step of writing the new image fails; the old file is then untouched
// and no temporary file is left behind. A symbolic link is followed: the
// file it points to is replaced and the link stays. An existing file's
// permission bits carry over to the new one.
bool ReplaceFile(const std::string& path, const unsigned char* pData, size_t size);
