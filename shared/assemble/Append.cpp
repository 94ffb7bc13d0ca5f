#include "assemble/Append.h"

#include <filesystem>
#include <string>

#include "assemble/BuildPlan.h"
#include "assemble/RunReason.h"
#include "inputs/FileHelper.h"
#include "platform/Platform.h"
#include "platform/ReplaceFile.h"
#include "platform/Utf8Path.h"
#include "run/Messages.h"
#include "run/RunContext.h"

namespace append {

namespace {

// The run's words go out as the tool says them; why stays with the run,
// for its caller to say after them.
bool Refused(const mocfbuild::Failure_t& failure) {
  messages::Printf("%s", failure.Said.c_str());
  run::Current().Reasons = failure.Why;
  return false;
}

}  // namespace

// A run is planned as a one-line build is, and written the same way: the
// plan reads the loaded MOCF whole or where it lies, keeps each input's
// bytes in its file until the image is written, and checks the records as
// they are added.
bool Run(const options_t& options) {
  // Nothing but a regular file is read or replaced as a MOCF.
  if (CFileHelper::LookAtMocfPath(options.MocfFile.c_str()) == CFileHelper::MocfPath::kUnusable) {
    run::Current().Reasons = mocfbuild::NotAMocfFile(options.MocfFile) + "\n";
    return false;
  }
  const std::string mocf = Utf8Of(std::filesystem::absolute(Utf8Path(options.MocfFile)));
  // From before the old image is read until after the new one replaced it,
  // so that concurrent runs on one MOCF each see the previous one's result.
  const platform::CFileLock lock(ResolveLinks(mocf));
  mocfbuild::CBuildPlan plan({mocf, options.DeleteContents, true, "", options.MocfFile});
  mocfbuild::Failure_t failure;
  if (!plan.MakeOne(options, &failure)) return Refused(failure);
  if (plan.Write(lock, nullptr, &failure)) return true;
  // A write that failed leaves the reason to the file's own state.
  return failure.Status == 0 ? false : Refused(failure);
}

int StatusOf(bool appended) {
  if (appended) return 0;
  messages::Line(messages::kCreateFailed);
  return 2;
}

}  // namespace append
