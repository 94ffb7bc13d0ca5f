// Whole-file questions asked by path: can it be opened, how long is it, and
// what are all its bytes. Nothing stays open between calls and nothing is
// printed; callers word their own messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CFileHelper {
 public:
  // False for a missing or unreadable path and for a directory.
  static bool DoesFileExist(const char* path);

  // What a MOCF path names. Only a regular file, or a link to one, can be
  // a MOCF: a directory, FIFO, device or loop of links is unusable. Found
  // without opening anything, so that a FIFO cannot block the caller.
  enum class MocfPath { kNothing, kFile, kUnusable };
  static MocfPath LookAtMocfPath(const char* path);
  // A MOCF to load: a regular file that can be read.
  static bool DoesMocfExist(const char* path);

  // Why a file cannot be read, or written in full, in the system's words
  // ("No such file or directory", "Is a directory", "Permission denied"),
  // found by asking again: for messages after a failure.
  static std::string WhyCannotRead(const char* path);
  static std::string WhyCannotWrite(const char* path);
  // -1 when the file can't be opened or is 2^31 bytes or longer.
  static int32_t GetFileLength(const char* path);
  // Replaces *data with the file's bytes. On false the content of *data is
  // not meaningful.
  static bool ReadFileData(const char* path, std::vector<unsigned char>* data);
};
