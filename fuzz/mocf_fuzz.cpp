// Feeds arbitrary bytes to MOCF validation and adoption, as a MOCF file read
// from disk would be, twice: as they come, and with the digest the records
// call for stored in the hash record, so that mutations reach every record
// check instead of stopping at the hash. Whatever the bytes, nothing may read
// outside the image, loop or reach an assertion; an image that is adopted
// must come out of Finish unchanged and still valid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "format/Gen6Parsers.h"
#include "format/Gen6MocfParser.h"
#include "format/MocfCreator.h"

namespace {

// The parsers of the records inside a user file or firmware record, which
// the checks reach only through their parents.
void AskNested(CGen6ObjectRecordParser* pParent) {
  for (const CTlv::Header_t* p = pParent->GetFirstRecord(); p; p = pParent->GetNextRecord()) {
    CFileNameParser name(p);
    CDataParser data(p);
    CSwVersionParser version(p);
    for (CGen6ObjectRecordParser* pParser : {static_cast<CGen6ObjectRecordParser*>(&name),
                                             static_cast<CGen6ObjectRecordParser*>(&data),
                                             static_cast<CGen6ObjectRecordParser*>(&version)}) {
      pParser->IsValid();
      pParser->IsSystemObject();
      if (pParser->GetContainerSize() != pParser->GetLength() + 8) std::abort();
    }
    // All three hand out the same value.
    const char* pValue = reinterpret_cast<const char*>(CTlv::GetData(p));
    if (name.GetData() != pValue || version.GetData() != pValue) std::abort();
    if (data.GetData() != CTlv::GetData(p)) std::abort();
  }
}

// The record parsers' own questions, which the checks do not all ask. The
// ends of what the getters hand out are read, so a range that reaches past
// the image is seen.
void AskEveryRecord(CGen6MocfParser* pParser) {
  for (const CTlv::Header_t* p = pParser->GetFirstRecord(); p; p = pParser->GetNextRecord()) {
    std::unique_ptr<CGen6ObjectRecordParser> record(
        CGen6ObjectRecordParser::CreateObjectRecordParser(p));
    record->IsValid();
    record->IsSystemObject();
    if (auto* pFirmware = dynamic_cast<CFirmwareParser*>(record.get())) {
      const unsigned char* pData = nullptr;
      unsigned int length = 0;
      const char* pVersion = nullptr;
      if (pFirmware->GetFwData(&pData, &length) && length > 0 && pData[length - 1] == 0xA5)
        record->IsValid();
      if (pFirmware->GetSwVersion(&pVersion) && std::strlen(pVersion) > length) record->IsValid();
    }
    AskNested(record.get());
  }
}

// The digest read under the image's own header, a digest handed in, and a
// trusted stored digest must all agree with the plain check.
void CheckDigestShortcuts(const std::vector<unsigned char>& image) {
  const CTlv::Header_t* pHeader = CTlv::AtByte(image.data());
  CGen6MocfParser plain(pHeader, image.size()), underHeader(pHeader, image.size());
  unsigned char digest[20], again[20];
  const bool filled = plain.CalcHash(digest);
  if (underHeader.CalcHash(pHeader, again) != filled || std::memcmp(digest, again, 20) != 0)
    std::abort();
  CGen6MocfParser handed(pHeader, image.size());
  handed.SetHash(digest, filled);
  if (handed.IsValid() != plain.IsValid()) std::abort();
  const bool adoptable = CMocfCreator::IsAdoptable(image.data(), image.size());
  if (adoptable && !CMocfCreator::IsAdoptable(image.data(), image.size(), true)) std::abort();
}

void Check(const std::vector<unsigned char>& image) {
  if (!image.empty()) {
    CGen6MocfParser parser(CTlv::AtByte(image.data()), image.size());
    parser.IsValid();
    if (image.size() >= CTlv::kHeaderSize) {
      parser.IsSystemUpdateMocf();
      parser.HasObjectRecords();
      AskEveryRecord(&parser);
      CheckDigestShortcuts(image);
    }
  }
  CMocfCreator creator;
  if (creator.Init(&image)) {
    creator.Finish();
    const std::vector<unsigned char>& finished = *creator.Get();
    if (finished != image) std::abort();
    if (!CGen6MocfParser(CTlv::AtByte(finished.data()), finished.size()).IsValid()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly sized, so a read past the image is an over-read.
  const std::vector<unsigned char> image(data, data + size);
  Check(image);
  Check(fuzz::Sealed(image));
  return 0;
}
