// Entry point: parse and check the command line, run the append, and turn
// the outcome into the exit status scripts rely on.
#include <cstdio>

#include "AppendToMocf.h"
#include "CommandLine.h"
#include "Messages.h"
#include "Platform.h"
#include "Usage.h"

namespace {

int Run(int argc, const char** argv, options_t* options) {
  if (!ParseCommandLine(argc, argv, options)) {
    PrintUsage(argc > 0 ? argv[0] : "");
    return 1;
  }
  if (AppendToMocf(options)) return 0;
  messages::Line(messages::kCreateFailed);
  return 2;
}

}  // namespace

int main(int argc, const char** argv) {
  platform::IgnoreFileSizeSignal();
  options_t options;
  int status;
  try {
    status = Run(argc, argv, &options);
  } catch (...) {
    std::puts("Unexpected error");
    status = -1;
  }
  std::fflush(stdout);
  return status;
}
