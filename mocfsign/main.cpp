// Entry point of mocfsign: everything but the process boundary lives in the
// mocfsigncore library.
#include <iostream>
#include <string>
#include <vector>

#include "Mocfsign.h"
#include "platform/ProgramMain.h"

int main(int argc, char** argv) {
  return platform::RunProgram(
      argc, argv,
      [](std::vector<std::string> args) {
        if (!args.empty()) args.erase(args.begin());
        return mocfsign::RunMocfsign(args, std::cout, std::cerr);
      },
      [](bool outOfMemory) {
        std::cerr << (outOfMemory ? "mocfsign: out of memory\n" : "mocfsign: unexpected error\n");
        return 2;
      });
}
