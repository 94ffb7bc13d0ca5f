// Entry point of mocfedit: everything but the process boundary lives in the
// mocfeditcore library, where tests reach it.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Mocfedit.h"
#include "platform/ProgramMain.h"

int main(int argc, char** argv) {
  return platform::RunProgram(
      argc, argv,
      [](std::vector<std::string> args) {
        if (!args.empty()) args.erase(args.begin());
        return mocfedit::RunMocfedit(args, std::cout, std::cerr);
      },
      [](bool outOfMemory) {
        std::cerr << (outOfMemory ? "mocfedit: out of memory\n" : "mocfedit: unexpected error\n");
        return 2;
      });
}
