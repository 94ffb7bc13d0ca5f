// Entry point: parse and check the command line, run the append, and turn
// the outcome into the exit status scripts rely on.
#include <cstdio>
#include <string>
#include <vector>

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

int main(int argc, char** argv) {
  platform::IgnoreFileSizeSignal();
  platform::BinaryStandardStreams();
  options_t options;
  int status;
  try {
    const std::vector<std::string> args = platform::Arguments(argc, argv);
    std::vector<const char*> words;
    for (const std::string& arg : args) words.push_back(arg.c_str());
    status = Run(static_cast<int>(words.size()), words.data(), &options);
  } catch (...) {
    std::puts("Unexpected error");
    status = -1;
  }
  std::fflush(stdout);
  return status;
}
