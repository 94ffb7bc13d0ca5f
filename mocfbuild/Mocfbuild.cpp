#include "Mocfbuild.h"

#include <chrono>
#include <cstdint>

#include "assemble/ListBuild.h"
#include "platform/Platform.h"

#ifndef MOCFBUILD_VERSION
#error "the build defines MOCFBUILD_VERSION"
#endif

namespace mocfbuild {

namespace {

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

// One line of progress on a terminal, once the build has taken a second,
// rewritten in place and cleared at the end. A signal that ends the build
// meanwhile ends the line (see platform::EndOpenLineOnStop): it is said
// open before its first byte and closed after its last, so that a signal
// between the two gives at worst an empty line, never a prompt after it.
class CProgress {
 public:
  CProgress(std::ostream& err, bool shown) : m_Err(err), m_Shown(shown) {}
  ~CProgress() { Clear(); }
  void Clear() {
    if (!m_Width) return;
    m_Err << '\r' << std::string(m_Width, ' ') << '\r' << std::flush;
    m_Width = 0;
    platform::SetLineOpen(false);
  }
  // At most ten times a second: a terminal is slower than the build.
  void Show(const std::string& text) {
    const auto now = std::chrono::steady_clock::now();
    if (!m_Shown || now - m_Start < std::chrono::seconds(1) ||
        now - m_Last < std::chrono::milliseconds(100))
      return;
    m_Last = now;
    platform::SetLineOpen(true);
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

int Build(const Options_t& options, std::ostream& err, bool progress) {
  const std::string& list = options.lists[0];
  CProgress shown(err, progress);
  ListBuild_t build{list, options.mocf, options.remove, nullptr};
  build.Progress = [&](int line, uint64_t written, uint64_t total) {
    const std::string where = list + ":" + std::to_string(line);
    shown.Show(total ? "mocfbuild: " + MiB(written) + " of " + MiB(total) + " written, " + where
                     : "mocfbuild: reading " + where);
  };
  const BuildResult_t result = BuildFromList(build);
  shown.Clear();
  err << result.Messages;
  if (result.ListUnreadable) err << kUsage;
  // Someone watching sees the build end; a script's standard error stays empty.
  if (progress && result.Status == 0 && result.Records)
    err << "mocfbuild: wrote " << options.mocf << ": " << result.Records << " records ("
        << result.Added << " from the list), " << result.Bytes << " bytes\n";
  else if (progress && result.Status == 0)
    err << "mocfbuild: " << list << " holds no run; " << options.mocf << " is as it was\n";
  return result.Status;
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
