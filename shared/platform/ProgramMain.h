// What every program's main does around its work: the file-size signal
// ignored, the standard streams binary, the command line's words in UTF-8,
// and no exception let out unannounced.
#pragma once

#include <new>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {

// work(words), the program's name first, gives the exit status; should it
// throw, failed(outOfMemory) says so and gives the status instead.
template <class Work, class Failed>
int RunProgram(int argc, char** argv, Work work, Failed failed) {
  IgnoreFileSizeSignal();
  BinaryStandardStreams();
  try {
    return work(Arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    return failed(true);
  } catch (...) {
    return failed(false);
  }
}

}  // namespace platform
