#include "assemble/RunReason.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "assemble/BuildPlan.h"
#include "args/CommandLine.h"
#include "inputs/FileHelper.h"
#include "run/Messages.h"
#include "platform/Utf8Path.h"

namespace mocfbuild {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

namespace {

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

namespace {

// Why the run fails, if the plan finds that it does; the plan is made by
// one of its MakeOne.
template <class Make>
std::vector<std::string> WhyPlanFails(const options_t& options, const std::string& said,
                                      Make make) {
  if (options.MocfFile.empty()) return {"name the MOCF with -m, as in -m device.mocf"};
  if (CFileHelper::LookAtMocfPath(options.MocfFile.c_str()) == CFileHelper::MocfPath::kUnusable)
    return {NotAMocfFile(options.MocfFile)};
  const std::string mocf = Utf8Of(std::filesystem::absolute(Utf8Path(options.MocfFile)));
  CBuildPlan plan({mocf, options.DeleteContents, true});
  Failure_t failure;
  if (make(&plan, &failure)) return {};
  std::vector<std::string> why = Lines(failure.Text());
  for (const std::string& printed : Lines(said)) {
    const auto found = std::find(why.begin(), why.end(), printed);
    if (found != why.end()) why.erase(found);
  }
  return why;
}

}  // namespace

std::vector<std::string> WhyRunFails(int argc, const char** argv, const std::string& said) {
  options_t options;
  {
    const messages::CCapture quiet;
    ReadArguments(argc, argv, &options);
  }
  // The read stops at a refused word, which the MOCF may be named after,
  // or in (-mout.mocf, which the plan then says how to write).
  for (int i = 1; options.MocfFile.empty() && i < argc; ++i) {
    const std::string word = argv[i];
    if (StrInCmp(argv[i], "-m") && i + 1 < argc) options.MocfFile = argv[i + 1];
    if (word.size() > 2 && StrInCmp(word.substr(0, 2).c_str(), "-m"))
      options.MocfFile = word.substr(word[2] == '=' ? 3 : 2);
  }
  return WhyPlanFails(options, said, [&](CBuildPlan* pPlan, Failure_t* pFailure) {
    return pPlan->MakeOne(AsListLine(argc, argv), pFailure);
  });
}

std::vector<std::string> WhyRunFails(const options_t& options, const std::string& said) {
  return WhyPlanFails(options, said, [&](CBuildPlan* pPlan, Failure_t* pFailure) {
    return pPlan->MakeOne(options, pFailure);
  });
}

std::vector<std::string> WhyLines(const options_t& options, int status,
                                  std::vector<std::string> why, const std::string& said) {
  std::vector<std::string> lines;
  if (!options.TagNote.empty()) lines.push_back(options.TagNote);
  if (status != 1 && status != 2) return lines;
  if (why.empty() && status == 1)
    why.push_back("the arguments were refused; the usage above says what mocftool takes");
  if (why.empty() && said.empty())
    why.push_back("the MOCF could not be written (" +
                  CFileHelper::WhyCannotWrite(options.MocfFile.c_str()) + "); it is as it was");
  if (why.empty()) why.push_back("the MOCF is as it was; the lines above say why");
  lines.insert(lines.end(), why.begin(), why.end());
  return lines;
}

}  // namespace mocfbuild
