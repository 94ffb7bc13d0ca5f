// Entry point of mocfbuild: everything but the process boundary lives in the
// mocfbuildcore library, where tests reach it.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Mocfbuild.h"
#include "platform/ProgramMain.h"

int main(int argc, char** argv) {
  return platform::RunProgram(
      argc, argv,
      [](std::vector<std::string> args) {
        if (!args.empty()) args.erase(args.begin());
        const bool progress = platform::IsTerminal(stderr);
        if (progress) platform::EndOpenLineOnStop(stderr);
        return mocfbuild::RunMocfbuild(args, std::cout, std::cerr, progress);
      },
      [](bool outOfMemory) {
        std::cerr << (outOfMemory ? "mocfbuild: out of memory\n" : "mocfbuild: unexpected error\n");
        return 2;
      });
}
