#include "inspect/Extract.h"

#include "format/Describe.h"
#include "format/MocfTags.h"

namespace mocfinfo {

namespace {

std::string_view View(const unsigned char* p, uint64_t size) {
  return std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(size));
}

}  // namespace

bool ExtractedBytes(const Inspection& inspection, const RecordInfo& record, Extraction what,
                    std::string_view* pBytes, std::string* pWhyNot) {
  if (what == Extraction::kRecord) {
    *pBytes = View(CTlv::Bytes(record.header), CTlv::GetRecordSize(record.header));
    return true;
  }
  if (record.Tag() != mocf::kUserFileTag) {
    *pBytes = View(record.Value(), record.Length());
    return true;
  }
  RecordInfo data{};
  if (!FindNested(record, inspection.image, mocf::kDataTag, &data)) {
    *pWhyNot =
        describe::RecordPlace(record.index, record.Tag(), record.offset) + " holds no data record";
    return false;
  }
  *pBytes = View(data.Value(), data.Length());
  return true;
}

}  // namespace mocfinfo
