// The C API's writing half: a build from a list, one append, an unpack,
// each the programs' own operation, run in a context of its own, with
// their words, reasons included, kept as the error.
#include <sstream>
#include <string>
#include <vector>

#include "api/ApiError.h"
#include "api/ApiFile.h"
#include "args/CommandLine.h"
#include "args/Usage.h"
#include "assemble/Append.h"
#include "assemble/ListBuild.h"
#include "assemble/RunReason.h"
#include "inputs/ObjectRecordBuilder.h"
#include "inspect/Unpack.h"
#include "platform/SignatureBeside.h"
#include "run/Messages.h"
#include "run/RunContext.h"

namespace {

int RunFailed(int status, std::string messages, int line = 0) {
  return api::Fail(status == 1 ? MOCF_EREFUSED : MOCF_EFAILED, std::move(messages), status, line);
}

// The options a mocftool run would read from these arguments, through the
// same option handlers; false, the handler's words said, when one refuses,
// with why when the tool would say more.
bool ReadOptions(const char* mocf, const char* input, const char* type, unsigned flags,
                 const char* partNumber, const char* tag, options_t* pOptions,
                 std::vector<std::string>* pWhy) {
  bool consumed = false;
  pOptions->MocfFile = mocf;
  pOptions->InFile = input ? input : "";
  pOptions->DeleteContents = (flags & MOCF_FRESH) != 0;
  const char* option = TypeOption(type);
  if (!(StrInCmp(option, "-t") ? ParseExposedOption(OptType, type, pOptions, &consumed)
                               : ParseHiddenOption(OptType, type, pOptions, &consumed))) {
    pWhy->push_back(TypeWordHint(option, type));
    return false;
  }
  return (!partNumber || ParseHiddenOption(OptPartNum, partNumber, pOptions, &consumed)) &&
         (!tag || ParseHiddenOption(OptTag, tag, pOptions, &consumed));
}

// What mocftool prints on standard output, then what it adds on standard
// error, for a run that ended with this status.
std::string Words(const options_t& options, int status, const std::string& printed,
                  std::vector<std::string> why) {
  std::string words = printed;
  for (const std::string& line : mocfbuild::WhyLines(options, status, std::move(why), printed))
    words += "mocftool: " + line + "\n";
  return words;
}

}  // namespace

extern "C" {

int mocf_build(const char* list_path, const char* mocf_path, unsigned flags,
               mocf_progress_fn progress, void* context) {
  return api::Guarded([&] {
    if (!list_path || !mocf_path || (flags & ~MOCF_FRESH))
      return api::Fail(MOCF_EARG, "a list, a MOCF and no flag but MOCF_FRESH\n");
    mocfbuild::ListBuild_t build{list_path, mocf_path, (flags & MOCF_FRESH) != 0, nullptr};
    if (progress)
      build.Progress = [&](int line, uint64_t written, uint64_t total) {
        progress(context, line, written, total);
      };
    run::Context_t run;
    const run::CScope scope(&run);
    const mocfbuild::BuildResult_t result = mocfbuild::BuildFromList(build);
    if (result.Status == 0) return api::Warn(result.Warning);
    if (result.ListUnreadable) return api::Fail(MOCF_EIO, result.Messages, result.Status);
    return RunFailed(result.Status, result.Messages, result.Line);
  });
}

int mocf_append(const char* mocf_path, const char* input_path, const char* type, unsigned flags,
                const char* part_number, const char* tag) {
  return api::Guarded([&] {
    if (!mocf_path || !type || (flags & ~MOCF_FRESH))
      return api::Fail(MOCF_EARG, "a MOCF, a type and no flag but MOCF_FRESH\n");
    run::Context_t run;
    const run::CScope scope(&run);
    options_t options;
    std::vector<std::string> why;
    int status = 1;
    std::string printed;
    {
      messages::CCapture capture;
      const bool read =
          ReadOptions(mocf_path, input_path, type, flags, part_number, tag, &options, &why);
      if (read && ValidateArgs(&options)) status = append::StatusOf(append::Run(options));
      printed = capture.Take();
      if (read && status == 1) why = mocfbuild::WhyRunFails(options, printed);
      if (status == 2) why = mocfbuild::Lines(GetReasons());
    }
    if (status == 0) return api::Warn(platform::StaleSignatureWarning("mocftool", mocf_path));
    return RunFailed(status, Words(options, status, printed, std::move(why)));
  });
}

int mocf_unpack(mocf_file* file, const char* folder) {
  return api::Guarded([&] {
    if (!file || !folder) return api::Fail(MOCF_EARG, "a MOCF handle and a folder\n");
    std::ostringstream err;
    run::Context_t run;
    const run::CScope scope(&run);
    switch (mocfinfo::Unpack(file->inspection, folder, err)) {
      case mocfinfo::kValid:
        return MOCF_OK;
      case mocfinfo::kInvalid:
        return api::Fail(MOCF_ENOTEXACT, err.str(), 1);
      default:
        return api::Fail(MOCF_EIO, err.str(), 2);
    }
  });
}

}  // extern "C"
