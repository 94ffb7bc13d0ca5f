// The bytes as the input file of every type a run can append. A build
// either fails with a reason or gives exactly one whole record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "ObjectRecordBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* name = fuzz::AsFile(data, size);
  const FileType_t types[] = {UserFile, CompatProd, Object, CustomDefaults,
                              Binary,   SwKeys,     MenuSettings};
  for (FileType_t type : types) {
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
  return 0;
}
