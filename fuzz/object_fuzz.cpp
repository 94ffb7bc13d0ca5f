// The bytes as the input file of every type a run can append. A build
// either fails with a reason or gives exactly one whole record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "ObjectRecordBuilder.h"

namespace {

void Build(const char* name, FileType_t type) {
  const InParams_t params = {name, type == SwKeys ? "0400-1234" : "", type, 0x60000010};
  CTlvContainerCreator record;
  ClearErrorStr();
  if (CreateObjectRecordFromFile(&params, &record)) {
    const std::vector<unsigned char>& bytes = *record.Get();
    if (bytes.size() < CTlv::kHeaderSize ||
        CTlv::GetRecordSize(CTlv::AtByte(bytes.data())) != bytes.size())
      std::abort();
  } else if (GetErrorStr().empty()) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const FileType_t types[] = {UserFile, CompatProd, Object,      CustomDefaults,
                              Binary,   SwKeys,     MenuSettings};
  // A file that is not there, once: every type but SwKeys refuses it.
  static const bool missingTried = [&types] {
    fuzz::EnterScratchDirectory();
    for (FileType_t type : types) Build("missing", type);
    return true;
  }();
  (void)missingTried;
  const char* name = fuzz::AsFile(data, size);
  for (FileType_t type : types) Build(name, type);
  // Type numbers outside the table as well, which the dispatch refuses.
  if (size > 0) Build(name, static_cast<FileType_t>(static_cast<int>(data[0] % 9) - 1));
  return 0;
}
