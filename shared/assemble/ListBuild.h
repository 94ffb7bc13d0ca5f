// A whole MOCF from a list of mocftool runs, in one pass: read the list,
// plan the image under the MOCF's lock, write it beside the MOCF and put
// it in place, or leave the MOCF as it was and say which run would fail.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mocfbuild {

struct ListBuild_t {
  std::string List;
  std::string Mocf;
  bool Fresh = false;  // -d: the first run starts the MOCF afresh
  // How far the build is: while reading, the line reached and no bytes;
  // while writing, the bytes written of all and the line they belong to.
  std::function<void(int line, uint64_t written, uint64_t total)> Progress;
};

struct BuildResult_t {
  int Status = 0;              // as mocfbuild's: 0 built, 1 refused, 2 failed
  int Line = 0;                // the list line of the run that fails, or 0
  bool ListUnreadable = false;  // the list itself could not be read
  std::string Messages;        // what mocfbuild says on standard error
  // What a build wrote: the MOCF's records, those the list added, its bytes.
  int Records = 0;
  size_t Added = 0;
  uint64_t Bytes = 0;
  // Said last in Messages once the MOCF was replaced while a signature lay
  // beside it, which then no longer matches.
  std::string Warning{};
};

// The runs' relative inputs are read from the list's folder; the process's
// current folder is left as it is.
BuildResult_t BuildFromList(const ListBuild_t& build);

}  // namespace mocfbuild
