#include "Gen6MocfParser.h"

#include <cassert>
#include <memory>

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
  if (!FindRecord(mocf::kCompatProdTag, &pCompatProd, nullptr)) return false;
  const CTlv::Header_t* pFirmware = nullptr;
  if (HasObjectRecords() && !FindRecord(mocf::kFirmwareTag, &pFirmware, nullptr) &&
      ProductsExcludeEachOther(pCompatProd))
    return false;
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
  for (const CTlv::Header_t* p = GetFirstRecord(); p; p = GetNextRecord()) {
    if (!ParserFor(p)->IsValid()) return false;
    const unsigned int tag = CTlv::GetTag(p);
    if (tag >= mocf::kFirmwareTag && tag <= mocf::kMenuSettingsTag)
      ++counts[tag - mocf::kFirmwareTag];
  }
  for (unsigned int kind = 0; kind < kKinds; ++kind) {
    if (kind != mocf::kUserFileTag - mocf::kFirmwareTag && counts[kind] > 1) return false;
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
