// Feeds arbitrary bytes to MOCF validation and adoption, as a MOCF file read
// from disk would be. Whatever the bytes, nothing may read outside the image,
// loop or reach an assertion; an image that is adopted must come out of
// Finish unchanged and still valid, since its stored digest was checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Gen6MocfParser.h"
#include "MocfCreator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly sized, so a read past the image is an over-read.
  const std::vector<unsigned char> image(data, data + size);
  if (!image.empty()) {
    CGen6MocfParser parser(CTlv::AtByte(image.data()), image.size());
    parser.IsValid();
    if (size >= CTlv::kHeaderSize) {
      parser.IsSystemUpdateMocf();
      parser.HasObjectRecords();
    }
  }

  CMocfCreator creator;
  if (creator.Init(&image)) {
    creator.Finish();
    const std::vector<unsigned char>& finished = *creator.Get();
    if (finished != image) std::abort();
    if (!CGen6MocfParser(CTlv::AtByte(finished.data()), finished.size()).IsValid()) std::abort();
  }
  return 0;
}
