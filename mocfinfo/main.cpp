// Entry point of mocfinfo: everything but the process boundary lives in the
// mocfinspect library, where tests and the fuzzer reach it. Records written
// with -o - go out byte for byte; listings keep plain line feeds.
#include <iostream>
#include <string>
#include <vector>

#include "Mocfinfo.h"
#include "platform/ProgramMain.h"

int main(int argc, char** argv) {
  return platform::RunProgram(
      argc, argv,
      [](std::vector<std::string> args) {
        if (!args.empty()) args.erase(args.begin());
        return mocfinfo::RunMocfinfo(args, std::cout, std::cerr);
      },
      [](bool outOfMemory) {
        std::cerr << (outOfMemory ? "mocfinfo: out of memory\n" : "mocfinfo: unexpected error\n");
        return mocfinfo::kCouldNot;
      });
}
