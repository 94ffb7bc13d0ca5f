// Small helpers shared by the test programs: scratch directories, whole-file
// reads and writes, hex conversion for byte-exact expectations, and a probe
// for the record builders.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "inputs/FileType.h"

namespace testutil {

// The end-to-end tests drive the Windows programs under Wine instead: what
// only Linux has (file-size limits, /proc, strace, FIFOs, Unix links, line
// feeds in names) is then left out.
#ifdef MOCF_PROGRAMS_UNDER_WINE
constexpr bool kProgramsUnderWine = true;
#else
constexpr bool kProgramsUnderWine = false;
#endif

using Bytes = std::vector<unsigned char>;

// A fresh directory under the system temp dir, removed with its contents
// when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs a shell command in dir and returns what it printed on either stream,
// then "[exit N]" (128 + the signal's number for a command a signal ended).
// Where there is no POSIX shell (Windows), the tests that need one are not
// built.
std::string Sh(const std::string& dir, const std::string& cmd);
// The lines mocftool added on standard error ("mocftool: why") during this
// thread's last Sh, which leaves them out of what it returns: the tool's own
// messages then read as they always have.
const std::string& ShReasons();

void WriteFile(const std::string& path, const std::string& content);
Bytes ReadFile(const std::string& path);
// The bytes, or a word no MOCF starts with for a path that names nothing.
std::string State(const std::string& path);
std::string Str(const Bytes& bytes);
inline void WriteFile(const std::string& path, const Bytes& bytes) { WriteFile(path, Str(bytes)); }

// "0a 1b ff" or "0a1bff" (spaces and '|' ignored) to bytes, and bytes to
// lower-case hex without separators.
Bytes FromHex(const std::string& hex);
std::string ToHex(const unsigned char* data, size_t size);
inline std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }

// Writes text to a file of that name in a directory that lasts as long as
// the test program, and returns the file's path.
std::string Put(const std::string& name, const std::string& text);

// Runs the record dispatch into a creator that already holds a record and
// describes the call: "ok <record hex> / " or "failed / ", then what it added
// to the error text. Also checks that the error text only grew and that a
// failure left the caller's record alone.
std::string Build(FileType_t type, const std::string& path, const char* partNum = "",
                  unsigned int tag = 0);
inline std::string Ok(const std::string& hex) { return "ok " + ToHex(FromHex(hex)) + " / "; }

// A record of this tag and value followed by the children, each padded to
// four bytes; its Length covers them all. Children go in as they are, so
// one may claim more bytes than it brings.
Bytes Rec(unsigned int tag, const std::string& value, const std::vector<Bytes>& children = {});
std::string RecS(uint32_t tag, const std::string& value, const std::vector<std::string>& kids = {});
// The image with the digest its records call for stored in its first hash
// record, as the tool finishes an image. At least 8 bytes.
Bytes Seal(Bytes image);
inline std::string Seal(const std::string& image) {
  return Str(Seal(Bytes(image.begin(), image.end())));
}

// For the end-to-end suites, which drive the programs through a shell.
// A sanitized build needs more memory and cannot run under every limit;
// GCC says so one way, clang another.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// The programs under test, quoted for a shell.
inline const std::string kTool = "'" MOCFTOOL_PATH "'", kInfo = "'" MOCFINFO_PATH "'",
                         kBuild = "'" MOCFBUILD_PATH "'", kEdit = "'" MOCFEDIT_PATH "'";
// "kTool -m RUN", each run after the one before succeeded: "m.mocf -d -f p.txt -t CompatProd".
std::string ToolRuns(const std::vector<std::string>& runs);
// Four bytes, least significant first.
inline std::string U32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
// Every path under dir with the file's bytes, "/" for a folder: a file left
// behind or changed shows.
std::string Tree(const std::string& dir);
// one(0), one(1) ... one(count - 1) on four threads, until a test fails.
void RunCases(int count, const std::function<void(int)>& one);
// A word as a shell reads it back.
std::string ShQuote(const std::string& word);
// What a call printed on standard output, after what it returned.
std::pair<bool, std::string> Printed(const std::function<bool()>& call);
// The lines of dir's records.list, as mocfinfo --unpack wrote it, that hold
// a run. The folder must hold the list and exactly the files they name,
// and, given the MOCF they came from, the list must rebuild it byte for byte.
std::vector<std::string> UnpackedRuns(const std::string& dir, const std::string& made = "",
                                      const std::string& context = "");

// Random choices: a seed makes the same case on every system.
class Random {
 public:
  explicit Random(unsigned seed) : rng_(seed) {}
  int R(size_t n) { return static_cast<int>(rng_() % n); }
  bool P(int percent) { return R(100) < percent; }
  std::string Pick(const std::vector<std::string>& v) { return v[R(v.size())]; }

 private:
  std::mt19937 rng_;
};

}  // namespace testutil
