// The bytes as the input file of every type a run can append. A build
// either fails with a reason or gives exactly one whole record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "inputs/ObjectRecordBuilder.h"

namespace {

// A record made without reading the file's bytes is the whole record, padded
// as a container takes it, once those bytes and the padding follow.
void CheckHead(const InParams_t& params, const std::vector<unsigned char>& whole,
               const uint8_t* data, size_t size) {
  CTlvContainerCreator head;
  RecordTail_t tail{};
  if (!CreateObjectRecordHead(&params, &head, &tail)) return;
  std::vector<unsigned char> expected = whole, got = *head.Get();
  expected.resize((expected.size() + 3) / 4 * 4, 0);
  if (tail.FileBytes != size) std::abort();
  got.insert(got.end(), data, data + size);
  got.resize(got.size() + tail.Padding, 0);
  if (got != expected) std::abort();
}

void Build(const char* name, FileType_t type, const uint8_t* data = nullptr, size_t size = 0) {
  const InParams_t params = {name, type == SwKeys ? "0400-1234" : "", type, 0x60000010};
  CTlvContainerCreator record;
  ClearErrorStr();
  if (CreateObjectRecordFromFile(&params, &record)) {
    const std::vector<unsigned char>& bytes = *record.Get();
    if (bytes.size() < CTlv::kHeaderSize ||
        CTlv::GetRecordSize(CTlv::AtByte(bytes.data())) != bytes.size())
      std::abort();
    if (data) CheckHead(params, bytes, data, size);
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
  for (FileType_t type : types) Build(name, type, data, size);
  // Type numbers outside the table as well, which the dispatch refuses.
  if (size > 0) Build(name, static_cast<FileType_t>(static_cast<int>(data[0] % 9) - 1));
  return 0;
}
