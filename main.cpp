// Entry point: parse and check the command line, run the append, and turn
// the outcome into the exit status scripts rely on.
#include <cstdio>
#include <string>
#include <vector>

#include "AppendToMocf.h"
#include "args/CommandLine.h"
#include "args/Usage.h"
#include "assemble/Append.h"
#include "assemble/RunReason.h"
#include "inputs/ObjectRecordBuilder.h"
#include "platform/ProgramMain.h"
#include "platform/SignatureBeside.h"
#include "run/Messages.h"

namespace {

int Run(int argc, const char** argv, options_t* options) {
  if (!ParseCommandLine(argc, argv, options)) {
    PrintUsage(argc > 0 ? argv[0] : "");
    return 1;
  }
  return append::StatusOf(AppendToMocf(options));
}

// The tool's own messages keep their place on standard output; why a run
// was refused, what it took from a --tag read in part, and a signature that
// an append left behind, go to standard error, so that no refusal leaves it
// empty and no script reading the output sees a line more.
void SayWhy(int argc, const char** argv, const options_t& options, int status) {
  const std::vector<std::string> why = status == 1
                                           ? mocfbuild::WhyRunFails(argc, argv, messages::Said())
                                           : mocfbuild::Lines(GetReasons());
  for (const std::string& line : mocfbuild::WhyLines(options, status, why, messages::Said()))
    std::fprintf(stderr, "mocftool: %s\n", line.c_str());
  if (status == 0)
    std::fputs(platform::StaleSignatureWarning("mocftool", options.MocfFile).c_str(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
  const int status = platform::RunProgram(
      argc, argv,
      [](const std::vector<std::string>& args) {
        std::vector<const char*> words;
        for (const std::string& arg : args) words.push_back(arg.c_str());
        options_t options;
        const int ran = Run(static_cast<int>(words.size()), words.data(), &options);
        std::fflush(stdout);
        SayWhy(static_cast<int>(words.size()), words.data(), options, ran);
        return ran;
      },
      [](bool outOfMemory) {
        std::puts("Unexpected error");
        std::fflush(stdout);
        std::fputs(outOfMemory ? "mocftool: memory ran out; the MOCF is as it was\n"
                               : "mocftool: an unexpected failure inside the tool; the MOCF is as "
                                 "it was\n",
                   stderr);
        return -1;
      });
  std::fflush(stdout);
  return status;
}
