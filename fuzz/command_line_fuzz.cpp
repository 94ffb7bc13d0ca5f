// The bytes as a command line: NUL separates the arguments. Parsing and
// validation must end in a verdict, whatever the words. Paths are kept in
// the scratch directory ('/' becomes '\', which the tool treats as a
// delimiter too), where in.txt and m.mocf exist.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "args/CommandLine.h"
#include "FuzzSupport.h"

namespace {

constexpr size_t kMaxArgs = 24;

std::vector<std::string> Split(const uint8_t* data, size_t size) {
  std::vector<std::string> args = {"mocftool"};
  std::string arg;
  for (size_t i = 0; i <= size && args.size() < kMaxArgs; ++i) {
    if (i == size || data[i] == 0) {
      args.push_back(arg);
      arg.clear();
    } else {
      arg += data[i] == '/' ? '\\' : static_cast<char>(data[i]);
    }
  }
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool prepared = [] {
    fuzz::AsFile(reinterpret_cast<const uint8_t*>("1\n"), 2, "in.txt");
    fuzz::AsFile(nullptr, 0, "m.mocf");
    // The refusals print; the fuzzer's own output goes to standard error.
    return std::freopen("/dev/null", "w", stdout) != nullptr;
  }();
  (void)prepared;
  const std::vector<std::string> args = Split(data, size);
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  options_t options;
  ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &options);
  GetAppName(argv.back());
  return 0;
}
