#include "Mocfbuild.h"

#include <chrono>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "BuildPlan.h"
#include "FileHelper.h"
#include "ImageWriter.h"
#include "Platform.h"
#include "ReplaceFile.h"
#include "RunList.h"
#include "Utf8Path.h"

#ifndef MOCFBUILD_VERSION
#error "the build defines MOCFBUILD_VERSION"
#endif

namespace mocfbuild {

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: mocfbuild [-d] -m MocfFile LIST\n"
    "       mocfbuild --help | --version\n";

struct Options_t {
  bool help = false;
  bool version = false;
  bool remove = false;
  std::string mocf;
  std::vector<std::string> lists;
};

bool ParseArgs(const std::vector<std::string>& args, Options_t* pOptions, std::string* pError) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help") {
      pOptions->help = true;
    } else if (arg == "--version") {
      pOptions->version = true;
    } else if (arg == "-d") {
      pOptions->remove = true;
    } else if (arg == "-m") {
      if (i + 1 >= args.size()) return (*pError = "-m needs a value", false);
      pOptions->mocf = args[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return (*pError = "unknown option " + arg, false);
    } else {
      pOptions->lists.push_back(arg);
    }
  }
  if (pOptions->help || pOptions->version)
    *pError = args.size() == 1 ? "" : "--help and --version stand alone";
  else if (pOptions->mocf.empty())
    *pError = "no MOCF given (-m MocfFile)";
  else if (pOptions->lists.size() != 1)
    *pError = pOptions->lists.empty() ? "no LIST given" : "one LIST at a time";
  return pError->empty();
}

// The runs are made from the list's folder; the caller's comes back after.
class CInFolder {
 public:
  explicit CInFolder(const fs::path& folder) : m_Before(fs::current_path()) {
    if (!folder.empty()) fs::current_path(folder);
  }
  ~CInFolder() {
    std::error_code ec;
    fs::current_path(m_Before, ec);
  }
  CInFolder(const CInFolder&) = delete;
  CInFolder& operator=(const CInFolder&) = delete;

 private:
  fs::path m_Before;
};

// One line of progress on a terminal, once the build has taken a second,
// rewritten in place and cleared at the end.
class CProgress {
 public:
  CProgress(std::ostream& err, bool shown) : m_Err(err), m_Shown(shown) {}
  ~CProgress() { Clear(); }
  void Clear() {
    if (m_Width) m_Err << '\r' << std::string(m_Width, ' ') << '\r' << std::flush;
    m_Width = 0;
  }
  // At most ten times a second: a terminal is slower than the build.
  void Show(const std::string& text) {
    const auto now = std::chrono::steady_clock::now();
    if (!m_Shown || now - m_Start < std::chrono::seconds(1) ||
        now - m_Last < std::chrono::milliseconds(100))
      return;
    m_Last = now;
    const size_t width = text.size();
    m_Err << '\r' << text << std::string(m_Width > width ? m_Width - width : 0, ' ') << std::flush;
    m_Width = std::max(m_Width, width);
  }

 private:
  std::ostream& m_Err;
  bool m_Shown;
  std::chrono::steady_clock::time_point m_Start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point m_Last;
  size_t m_Width = 0;
};

std::string MiB(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// Each line of a run's messages, said where it comes from.
void Report(const std::string& list, const Failure_t& failure, std::ostream& err) {
  const std::string where = failure.Line > 0 ? list + ":" + std::to_string(failure.Line) + ":"
                                             : "mocfbuild:";
  std::istringstream lines(failure.Text);
  for (std::string line; std::getline(lines, line);)
    err << where << (line.empty() ? "" : " ") << line << '\n';
}

// False with the failure: the MOCF that was loaded turns out damaged as it
// is copied, or the new image cannot be written.
bool Write(const CBuildPlan& plan, const Options_t& options, const std::string& mocf,
           const platform::CFileLock& lock, CProgress* pProgress, Failure_t* pFailure) {
  const std::string& list = options.lists[0];
  CFileReplacement out(mocf, &lock);
  ImageJob_t job = plan.Job();
  job.Progress = [&](uint64_t written, uint64_t total) {
    pProgress->Show("mocfbuild: " + MiB(written) + " of " + MiB(total) + " written, " + list +
                    ":" + std::to_string(plan.LineAt(written)));
  };
  std::vector<Digest_t> digests;
  const bool written = WriteImage(job, &out, &digests);
  if (written && !plan.LoadedDigestHolds(digests, pFailure)) return false;
  if (written && out.WriteAt(plan.DigestOffset(), digests[0].data(), digests[0].size()) &&
      out.Commit())
    return true;
  *pFailure = {0, 2,
               "could not write " + options.mocf +
                   " (a write failed, or an input changed while it was read); it is as it was\n"};
  return false;
}

int Build(const Options_t& options, std::ostream& err, bool progress) {
  const std::string& list = options.lists[0];
  CRunList runs;
  if (!runs.Open(list.c_str())) {
    err << "mocfbuild: cannot read " << list << ": " << CFileHelper::WhyCannotRead(list.c_str()) << '\n' << kUsage;
    return 1;
  }
  const std::string mocf = Utf8Of(fs::absolute(Utf8Path(options.mocf)));
  if (CFileHelper::LookAtMocfPath(mocf.c_str()) == CFileHelper::MocfPath::kUnusable) {
    err << "mocfbuild: " << options.mocf
        << " cannot be a MOCF: it is not a regular file (a directory, a device, a FIFO or a loop "
           "of links); nothing was written\n";
    return 2;
  }
  // Held from before the MOCF is first looked at until the new one stands.
  const platform::CFileLock lock(ResolveLinks(mocf));
  const CInFolder folder(Utf8Path(list).parent_path());
  CProgress shown(err, progress);
  CBuildPlan plan({mocf, options.remove});
  Failure_t failure;
  const bool planned = plan.Make(&runs, &failure, [&](int line) {
    shown.Show("mocfbuild: reading " + list + ":" + std::to_string(line));
  });
  if (planned && (plan.IsEmpty() || Write(plan, options, mocf, lock, &shown, &failure))) return 0;
  shown.Clear();
  Report(list, failure, err);
  return failure.Status;
}

}  // namespace

int RunMocfbuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 bool progress) {
  Options_t options;
  std::string error;
  if (!ParseArgs(args, &options, &error)) {
    err << "mocfbuild: " << error << '\n' << kUsage;
    return 1;
  }
  if (options.help) {
    out << kUsage;
    return 0;
  }
  if (options.version) {
    out << "mocfbuild " MOCFBUILD_VERSION "\n";
    return 0;
  }
  return Build(options, err, progress);
}

}  // namespace mocfbuild
