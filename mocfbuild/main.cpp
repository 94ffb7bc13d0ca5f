// Entry point of mocfbuild: everything but the process boundary lives in the
// mocfbuildcore library, where tests reach it.
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "Mocfbuild.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  platform::IgnoreFileSizeSignal();
  platform::BinaryStandardStreams();
  try {
    std::vector<std::string> args = platform::Arguments(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    const bool progress = platform::IsTerminal(stderr);
    if (progress) platform::EndOpenLineOnStop(stderr);
    return mocfbuild::RunMocfbuild(args, std::cout, std::cerr, progress);
  } catch (const std::bad_alloc&) {
    std::cerr << "mocfbuild: out of memory\n";
  } catch (...) {
    std::cerr << "mocfbuild: unexpected error\n";
  }
  return 2;
}
