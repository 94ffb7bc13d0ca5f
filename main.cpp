// Entry point: parse and check the command line, run the append, and turn
// the outcome into the exit status scripts rely on.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "AppendToMocf.h"
#include "args/CommandLine.h"
#include "inputs/FileHelper.h"
#include "run/Messages.h"
#include "platform/Platform.h"
#include "build/RunReason.h"
#include "args/Usage.h"

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

// The tool's own messages keep their place on standard output; why a run
// was refused, and what it took from a --tag read in part, go to standard
// error, so that no refusal leaves it empty.
void SayWhy(int argc, const char** argv, const options_t& options, int status) {
  if (!options.TagNote.empty()) std::fprintf(stderr, "mocftool: %s\n", options.TagNote.c_str());
  if (status != 1 && status != 2) return;
  std::vector<std::string> why = mocfbuild::WhyRunFails(argc, argv, messages::Said());
  if (why.empty() && status == 1)
    why.push_back("the arguments were refused; the usage above says what mocftool takes");
  if (why.empty() && messages::Said().empty())
    why.push_back("the MOCF could not be written (" +
                  CFileHelper::WhyCannotWrite(options.MocfFile.c_str()) + "); it is as it was");
  if (why.empty()) why.push_back("the MOCF is as it was; the lines above say why");
  for (const std::string& line : why) std::fprintf(stderr, "mocftool: %s\n", line.c_str());
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
    std::fflush(stdout);
    SayWhy(static_cast<int>(words.size()), words.data(), options, status);
  } catch (const std::bad_alloc&) {
    std::puts("Unexpected error");
    std::fflush(stdout);
    std::fputs("mocftool: memory ran out; the MOCF is as it was\n", stderr);
    status = -1;
  } catch (...) {
    std::puts("Unexpected error");
    std::fflush(stdout);
    std::fputs("mocftool: an unexpected failure inside the tool; the MOCF is as it was\n", stderr);
    status = -1;
  }
  std::fflush(stdout);
  return status;
}
