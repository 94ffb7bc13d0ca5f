// The C API's writing half: a build from a list, one append, an unpack,
// each the programs' own operation with their words kept as the error.
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "build/Append.h"
#include "api/ApiError.h"
#include "api/ApiFile.h"
#include "args/CommandLine.h"
#include "build/ListBuild.h"
#include "run/Messages.h"
#include "inputs/ObjectRecordBuilder.h"
#include "inspect/Unpack.h"

namespace {

// The operations keep process-wide state while they run: the working
// folder, the record builders' error text, the captured messages.
std::mutex& RunMutex() {
  static std::mutex mutex;
  return mutex;
}

int RunFailed(int status, std::string messages, int line = 0) {
  return api::Fail(status == 1 ? MOCF_EREFUSED : MOCF_EFAILED, std::move(messages), status, line);
}

// The command line a mocftool run would be given.
std::vector<std::string> AppendWords(const char* mocf, const char* input, const char* type,
                                     unsigned flags, const char* partNumber, const char* tag) {
  std::vector<std::string> words = {"mocftool", "-m", mocf, TypeOption(type), type};
  if (input) words.insert(words.end(), {"-f", input});
  if (flags & MOCF_FRESH) words.push_back("-d");
  if (partNumber) words.insert(words.end(), {"--PartNum", partNumber});
  if (tag) words.insert(words.end(), {"--tag", tag});
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
    const std::lock_guard<std::mutex> lock(RunMutex());
    const mocfbuild::BuildResult_t result = mocfbuild::BuildFromList(build);
    if (result.Status == 0) return MOCF_OK;
    if (result.ListUnreadable) return api::Fail(MOCF_EIO, result.Messages, result.Status);
    return RunFailed(result.Status, result.Messages, result.Line);
  });
}

int mocf_append(const char* mocf_path, const char* input_path, const char* type, unsigned flags,
                const char* part_number, const char* tag) {
  return api::Guarded([&] {
    if (!mocf_path || !type || (flags & ~MOCF_FRESH))
      return api::Fail(MOCF_EARG, "a MOCF, a type and no flag but MOCF_FRESH\n");
    const std::vector<std::string> words =
        AppendWords(mocf_path, input_path, type, flags, part_number, tag);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    const std::lock_guard<std::mutex> lock(RunMutex());
    ClearErrorStr();
    messages::CCapture capture;
    options_t options;
    if (!ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &options))
      return RunFailed(1, capture.Take());
    if (append::Run(options)) return MOCF_OK;
    messages::Line(messages::kCreateFailed);
    return RunFailed(2, capture.Take());
  });
}

int mocf_unpack(mocf_file* file, const char* folder) {
  return api::Guarded([&] {
    if (!file || !folder) return api::Fail(MOCF_EARG, "a MOCF handle and a folder\n");
    std::ostringstream err;
    const std::lock_guard<std::mutex> lock(RunMutex());
    ClearErrorStr();
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
