// Entry point of mocfinfo: everything but the process boundary lives in the
// mocfinspect library, where tests and the fuzzer reach it.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "Mocfinfo.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  platform::IgnoreFileSizeSignal();
  // Records written with -o - go out byte for byte; listings keep plain line feeds.
  platform::BinaryStandardStreams();
  try {
    std::vector<std::string> args = platform::Arguments(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    return mocfinfo::RunMocfinfo(args, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << "mocfinfo: out of memory\n";
  } catch (...) {
    std::cerr << "mocfinfo: unexpected error\n";
  }
  return mocfinfo::kCouldNot;
}
