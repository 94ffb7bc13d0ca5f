#include "assemble/ListBuild.h"

#include <filesystem>
#include <sstream>

#include "assemble/BuildPlan.h"
#include "assemble/RunList.h"
#include "assemble/RunReason.h"
#include "inputs/FileHelper.h"
#include "platform/Platform.h"
#include "platform/ReplaceFile.h"
#include "platform/SignatureBeside.h"
#include "platform/Utf8Path.h"

namespace mocfbuild {

namespace {

namespace fs = std::filesystem;

// Each line of a run's messages, said where it comes from.
std::string Report(const std::string& list, const Failure_t& failure) {
  const std::string where = failure.Line > 0 ? list + ":" + std::to_string(failure.Line) + ":"
                                             : "mocfbuild:";
  std::istringstream lines(failure.Text());
  std::string out;
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) out += where + " " + line + '\n';
  return out;
}

bool Write(const CBuildPlan& plan, const ListBuild_t& build, const platform::CFileLock& lock,
           Failure_t* pFailure) {
  std::function<void(uint64_t, uint64_t)> progress;
  if (build.Progress)
    progress = [&](uint64_t written, uint64_t total) {
      build.Progress(plan.LineAt(written), written, total);
    };
  if (plan.Write(lock, progress, pFailure)) return true;
  if (pFailure->Status == 0)
    *pFailure = {0, 2, "", false,
                 "could not write " + build.Mocf +
                     " (a write failed, or an input changed while it was read); it is as it was\n"};
  return false;
}

}  // namespace

BuildResult_t BuildFromList(const ListBuild_t& build) {
  CRunList runs;
  if (!runs.Open(build.List.c_str()))
    return {1, 0, true,
            "mocfbuild: cannot read " + build.List + ": " +
                CFileHelper::WhyCannotRead(build.List.c_str()) + "\n"};
  const std::string mocf = Utf8Of(fs::absolute(Utf8Path(build.Mocf)));
  if (CFileHelper::LookAtMocfPath(mocf.c_str()) == CFileHelper::MocfPath::kUnusable)
    return {2, 0, false, "mocfbuild: " + NotAMocfFile(build.Mocf) + "; nothing was written\n"};
  // Held from before the MOCF is first looked at until the new one stands.
  const platform::CFileLock lock(ResolveLinks(mocf));
  CBuildPlan plan({mocf, build.Fresh, false, Utf8Of(Utf8Path(build.List).parent_path()), build.Mocf});
  Failure_t failure;
  const bool planned = plan.Make(&runs, &failure, [&](int line) {
    if (build.Progress) build.Progress(line, 0, 0);
  });
  std::string notes;
  for (const Failure_t& note : plan.Notes()) notes += Report(build.List, note);
  if (planned && plan.IsEmpty()) return {0, 0, false, notes};
  if (planned && Write(plan, build, lock, &failure)) {
    const std::string warning = platform::StaleSignatureWarning("mocfbuild", build.Mocf);
    return {0, 0, false, notes + warning, plan.RecordCount(), plan.AddedCount(), plan.Size(), warning};
  }
  return {failure.Status, failure.Line, false, notes + Report(build.List, failure)};
}

}  // namespace mocfbuild
