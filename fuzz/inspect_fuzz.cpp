// The inspector over any bytes, as they come and with the digest made
// right: its verdict is the one the tool reaches when it adopts the image,
// a reason comes exactly with a refusal, and the listing, the JSON and the
// extraction of every record stay inside the image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "Extract.h"
#include "FuzzSupport.h"
#include "Inspect.h"
#include "Json.h"
#include "Listing.h"

namespace {

void Check(const std::vector<unsigned char>& image) {
  const mocfinfo::Inspection inspection = mocfinfo::Inspect("f", image.data(), image.size());
  if (inspection.valid != CMocfCreator().Init(&image)) std::abort();
  if (inspection.valid != inspection.reason.empty()) std::abort();
  mocfinfo::RecordInfo last;
  if (inspection.Find(inspection.recordCount + 1, &last)) std::abort();
  if (inspection.recordCount > 0 && !inspection.Find(inspection.recordCount, &last)) std::abort();
  std::ostringstream out;
  out << mocfinfo::Verdict(inspection)
      << mocfinfo::JsonString(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  mocfinfo::PrintListing(inspection, out);
  mocfinfo::PrintJson(inspection, out);
  mocfinfo::RecordWalk walk = inspection.Records();
  mocfinfo::RecordInfo record;
  while (walk.Next(&record)) {
    std::string_view bytes;
    std::string why;
    for (auto what : {mocfinfo::Extraction::kContent, mocfinfo::Extraction::kRecord}) {
      if (mocfinfo::ExtractedBytes(inspection, record, what, &bytes, &why) && !bytes.empty())
        out << bytes.front() << bytes.back();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<unsigned char> image(data, data + size);
  Check(image);
  Check(fuzz::Sealed(image));
  return 0;
}
