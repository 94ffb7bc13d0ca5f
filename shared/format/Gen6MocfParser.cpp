#include "format/Gen6MocfParser.h"

#include <cassert>
#include <memory>
#include <string>

#include "format/Describe.h"
#include "format/Gen6Parsers.h"
#include "format/MocfRecordParser.h"
#include "format/MocfTags.h"

namespace {

std::unique_ptr<CGen6ObjectRecordParser> ParserFor(const CTlv::Header_t* pRecord) {
  return std::unique_ptr<CGen6ObjectRecordParser>(
      CGen6ObjectRecordParser::CreateObjectRecordParser(pRecord));
}

}  // namespace

bool CGen6Rules::RequireCompatProd(bool present) {
  return present ||
         Refuse("there is no compatible-products record (tag 0x2); every MOCF needs one");
}

bool CGen6Rules::CheckProducts(const CTlv::Header_t* pCompatProd, bool hasObjects,
                               bool hasFirmware) {
  if (!hasObjects || hasFirmware) return true;
  CMocfCompatProdParser products(pCompatProd);
  const int found = products.FindId(1) + products.FindId(2) + products.FindId(3);
  return found <= 1 ||
         Refuse(
             "the compatible products name more than one of products 1, 2 and 3, and the MOCF "
             "holds object records but no firmware record (tag 0x60000000)");
}

bool CGen6Rules::CheckRecord(const CTlv::Header_t* pRecord, int index, uint64_t offset) {
  const unsigned int tag = CTlv::GetTag(pRecord);
  const std::string place = describe::RecordPlace(index, tag, offset);
  const std::unique_ptr<CGen6ObjectRecordParser> parser = ParserFor(pRecord);
  if (!parser->IsValid()) return Refuse(place, *parser);
  if (tag < mocf::kFirmwareTag || tag > mocf::kMenuSettingsTag) return true;
  if (++m_Counts[tag - mocf::kFirmwareTag] > 1 && tag != mocf::kUserFileTag)
    return Refuse(place + ": a second record of tag " + describe::Hex(tag) +
                  "; only user files may appear more than once");
  return true;
}

CGen6MocfParser::CGen6MocfParser(const CTlv::Header_t* pContainer, size_t bytesAvailable)
    : CMocfParser(pContainer, bytesAvailable) {}

bool CGen6MocfParser::IsValid() {
  assert(m_pTlvContainer);
  if (!CMocfParser::IsValid()) return false;
  CGen6Rules rules;
  const CTlv::Header_t* pCompatProd = nullptr;
  const CTlv::Header_t* pFirmware = nullptr;
  if (!rules.RequireCompatProd(FindRecord(mocf::kCompatProdTag, &pCompatProd, nullptr)) ||
      !rules.CheckProducts(pCompatProd, HasObjectRecords(),
                           FindRecord(mocf::kFirmwareTag, &pFirmware, nullptr)))
    return Refuse(rules.GetReason());
  int index = 1;
  for (const CTlv::Header_t* p = GetFirstRecord(); p; p = GetNextRecord(), ++index) {
    if (!rules.CheckRecord(p, index, OffsetOf(p))) return Refuse(rules.GetReason());
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
