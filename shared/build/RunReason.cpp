#include "build/RunReason.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "build/BuildPlan.h"
#include "args/CommandLine.h"
#include "inputs/FileHelper.h"
#include "run/Messages.h"
#include "platform/Utf8Path.h"

namespace mocfbuild {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// The run as a line of a list: without the MOCF and -d, which a list names
// on mocfbuild's command line instead.
RunLine_t AsListLine(int argc, const char** argv) {
  RunLine_t line{1, {}};
  for (int i = 1; i < argc; ++i) {
    if (StrInCmp(argv[i], "-m"))
      ++i;
    else if (!StrInCmp(argv[i], "-d"))
      line.Words.push_back(argv[i]);
  }
  return line;
}

}  // namespace

std::string NotAMocfFile(const std::string& path) {
  return path +
         " cannot be a MOCF: it is not a regular file (a directory, a device, a FIFO or a loop "
         "of links)";
}

std::vector<std::string> WhyRunFails(int argc, const char** argv, const std::string& said) {
  options_t options;
  {
    const messages::CCapture quiet;
    ReadArguments(argc, argv, &options);
  }
  if (options.MocfFile.empty()) return {"name the MOCF with -m, as in -m device.mocf"};
  if (CFileHelper::LookAtMocfPath(options.MocfFile.c_str()) == CFileHelper::MocfPath::kUnusable)
    return {NotAMocfFile(options.MocfFile)};
  const std::string mocf = Utf8Of(std::filesystem::absolute(Utf8Path(options.MocfFile)));
  CBuildPlan plan({mocf, options.DeleteContents, true});
  Failure_t failure;
  if (plan.MakeOne(AsListLine(argc, argv), &failure)) return {};
  std::vector<std::string> why = Lines(failure.Text);
  for (const std::string& printed : Lines(said)) {
    const auto found = std::find(why.begin(), why.end(), printed);
    if (found != why.end()) why.erase(found);
  }
  return why;
}

}  // namespace mocfbuild
