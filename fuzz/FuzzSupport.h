// What the harnesses share: the fuzzer's bytes as a file the library can
// open by a bare name, and a MOCF image with its digest made right so that
// mutations get past the hash check to the record checks.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "format/MocfCreator.h"

namespace fuzz {

// Works in a directory of its own, so bare names are this process's files.
// libFuzzer leaves without running exit handlers: the scripts that run the
// targets give them a TMPDIR of their own and remove it.
inline void EnterScratchDirectory() {
  static const bool entered = [] {
    const auto dir =
        std::filesystem::temp_directory_path() / ("mocf-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    return true;
  }();
  (void)entered;
}

// Writes the bytes to a file of that name in the scratch directory.
inline const char* AsFile(const uint8_t* data, size_t size, const char* name = "in.bin") {
  EnterScratchDirectory();
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return name;
}

// The image as the tool would finish it: the records' digest in its first
// hash record. Images too short for a header come back as they are.
inline std::vector<unsigned char> Sealed(std::vector<unsigned char> image) {
  if (image.size() < CTlv::kHeaderSize) return image;
  CMocfCreator mocf;
  mocf.Set(&image);
  mocf.Finish();
  return *mocf.Get();
}

}  // namespace fuzz
