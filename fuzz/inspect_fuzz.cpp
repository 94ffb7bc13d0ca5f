// The inspector over any bytes, as they come and with the digest made
// right: its verdict is the one the tool reaches when it adopts the image,
// a reason comes exactly with a refusal, and the listing, the JSON and the
// extraction of every record stay inside the image; unpacking it gives a
// list that mocfbuild turns back into the very image whenever it says so;
// compared with a fixed MOCF either way round, it says the same change the
// other way, and an image compared with itself is the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "inspect/Diff.h"
#include "inspect/Extract.h"
#include "FuzzSupport.h"
#include "inspect/Inspect.h"
#include "inspect/Json.h"
#include "inspect/Listing.h"
#include "Mocfinfo.h"
#include "inspect/Unpack.h"

#include "Mocfbuild.h"

namespace {

namespace fs = std::filesystem;

// Unpacking writes a file per record and reads each back: unpacking every
// input would make the target some thirty times slower. Images of at most
// kUnpackRecords records are unpacked, one in kUnpackEvery chosen by its
// bytes, so that a finding is unpacked again when it is run alone.
constexpr uint32_t kUnpackEvery = 64;
constexpr int kUnpackRecords = 12;
bool Unpacked(const uint8_t* data, size_t size) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash % kUnpackEvery == 0;
}

// Into a fresh folder under TMPDIR, removed after: a fresh folder can always
// be filled, and status 0 promises that mocfbuild -d gives the image back.
void CheckUnpack(const std::vector<unsigned char>& image, const mocfinfo::Inspection& inspection) {
  static unsigned long count = 0;
  const fs::path dir = fs::temp_directory_path() /
                       ("unpack-" + std::to_string(getpid()) + "-" + std::to_string(count++));
  const fs::path rebuilt = dir.string() + ".mocf";
  std::ostringstream out, err;
  const int status = mocfinfo::Unpack(inspection, dir.string(), err);
  if (status == mocfinfo::kCouldNot) std::abort();
  if (status == mocfinfo::kValid) {
    if (mocfbuild::RunMocfbuild({"-d", "-m", rebuilt.string(), (dir / "records.list").string()},
                                out, err) != 0)
      std::abort();
    std::ifstream in(rebuilt, std::ios::binary);
    if (std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}) != image) std::abort();
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::remove(rebuilt, ec);
}

// An empty MOCF: its version and hash records, which the other side matches or not.
const std::vector<unsigned char>& Fixed() {
  static const std::vector<unsigned char> image = [] {
    CMocfCreator mocf;
    mocf.Init();
    std::vector<unsigned char> bytes = *mocf.Get();
    return fuzz::Sealed(bytes);
  }();
  return image;
}

void CheckDiff(const mocfinfo::Inspection& inspection) {
  std::string why;
  if (!mocfinfo::IsContainer(inspection, &why)) return;
  const std::vector<unsigned char>& fixed = Fixed();
  const mocfinfo::Inspection other = mocfinfo::Inspect("g", fixed.data(), fixed.size());
  const mocfinfo::MocfDiff there = mocfinfo::Compare(inspection, other);
  const mocfinfo::MocfDiff back = mocfinfo::Compare(other, inspection);
  if (there.changes.size() != back.changes.size()) std::abort();
  if (!mocfinfo::Compare(inspection, inspection).Same()) std::abort();
  std::ostringstream out;
  mocfinfo::PrintDiff(there, out);
  mocfinfo::PrintDiffJson(back, out);
}

void Check(const std::vector<unsigned char>& image, bool unpack) {
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
  CheckDiff(inspection);
  if (unpack && inspection.recordCount <= kUnpackRecords) CheckUnpack(image, inspection);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<unsigned char> image(data, data + size);
  const bool unpack = Unpacked(data, size);
  Check(image, unpack);
  Check(fuzz::Sealed(image), unpack);
  return 0;
}
