#include "Gen6MocfParser.h"

#include <cassert>
#include <memory>
#include <string>

#include "Describe.h"
#include "Gen6Parsers.h"
#include "MocfRecordParser.h"
#include "MocfTags.h"

namespace {

std::unique_ptr<CGen6ObjectRecordParser> ParserFor(const CTlv::Header_t* pRecord) {
  return std::unique_ptr<CGen6ObjectRecordParser>(
      CGen6ObjectRecordParser::CreateObjectRecordParser(pRecord));
}

}  // namespace

CGen6MocfParser::CGen6MocfParser(const CTlv::Header_t* pContainer, size_t bytesAvailable)
    : CMocfParser(pContainer, bytesAvailable) {}

bool CGen6MocfParser::IsValid() {
  assert(m_pTlvContainer);
  if (!CMocfParser::IsValid()) return false;
  const CTlv::Header_t* pCompatProd = nullptr;
  if (!FindRecord(mocf::kCompatProdTag, &pCompatProd, nullptr))
    return Refuse("there is no compatible-products record (tag 0x2); every MOCF needs one");
  const CTlv::Header_t* pFirmware = nullptr;
  if (HasObjectRecords() && !FindRecord(mocf::kFirmwareTag, &pFirmware, nullptr) &&
      ProductsExcludeEachOther(pCompatProd))
    return Refuse(
        "the compatible products name more than one of products 1, 2 and 3, and the MOCF "
        "holds object records but no firmware record (tag 0x60000000)");
  return RecordsValidAndCounted();
}

// Products 1, 2 and 3 cannot share a MOCF that carries objects for them.
bool CGen6MocfParser::ProductsExcludeEachOther(const CTlv::Header_t* pCompatProd) {
  CMocfCompatProdParser products(pCompatProd);
  const int found = products.FindId(1) + products.FindId(2) + products.FindId(3);
  return found > 1;
}

// Every record passes its kind's check, and the once-only kinds (all but
// user files) appear at most once.
bool CGen6MocfParser::RecordsValidAndCounted() {
  const unsigned int kKinds = mocf::kMenuSettingsTag - mocf::kFirmwareTag + 1;
  unsigned int counts[kKinds] = {};
  int index = 1;
  for (const CTlv::Header_t* p = GetFirstRecord(); p; p = GetNextRecord(), ++index) {
    const std::string place = describe::RecordPlace(index, CTlv::GetTag(p), OffsetOf(p));
    const std::unique_ptr<CGen6ObjectRecordParser> parser = ParserFor(p);
    if (!parser->IsValid()) return Refuse(place, *parser);
    const unsigned int tag = CTlv::GetTag(p);
    if (tag < mocf::kFirmwareTag || tag > mocf::kMenuSettingsTag) continue;
    if (++counts[tag - mocf::kFirmwareTag] > 1 && tag != mocf::kUserFileTag)
      return Refuse(place + ": a second record of tag " + describe::Hex(tag) +
                    "; only user files may appear more than once");
  }
  return true;
}

bool CGen6MocfParser::HasObjectRecords() {
  for (const CTlv::Header_t* p = GetFirstRecord(); p; p = GetNextRecord()) {
    if (IsObjectRecord(p)) return true;
  }
  return false;
}

bool CGen6MocfParser::IsSystemUpdateMocf() {
  assert(m_pTlvContainer);
  for (const CTlv::Header_t* p = GetFirstRecord(); p; p = GetNextRecord()) {
    if (ParserFor(p)->IsSystemObject()) return true;
  }
  return false;
}
