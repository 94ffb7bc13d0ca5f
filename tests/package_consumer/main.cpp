// app FILE: exits 0 when FILE is a valid Gen6 MOCF, 1 when it is not, and 2
// when it cannot be read, so a caller can tell a refusal from a failure.
#include <cstdio>
#include <vector>

#include "FileHelper.h"
#include "Gen6MocfParser.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argc > 0 ? argv[0] : "app");
    return 2;
  }
  std::vector<unsigned char> image;
  if (!CFileHelper::ReadFileData(argv[1], &image)) {
    std::fprintf(stderr, "%s: cannot read\n", argv[1]);
    return 2;
  }
  // The parser needs at least a whole container header to stand on.
  if (image.size() < CTlv::kHeaderSize) return 1;
  CGen6MocfParser parser(CTlv::AtByte(image.data()), image.size());
  const bool valid = parser.IsValid();
  std::printf("%s: %s\n", argv[1], valid ? "valid" : "invalid");
  return valid ? 0 : 1;
}
