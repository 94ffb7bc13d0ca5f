#include "format/Gen6Verdict.h"

#include "format/Describe.h"
#include "format/MocfRecordParser.h"
#include "format/MocfTags.h"
#include "format/TlvContainerParser.h"

void CGen6Verdict::Start(const unsigned char* pImage, size_t size) {
  CTlvContainerParser walk(CTlv::AtByte(pImage), size);
  m_End = CTlv::kHeaderSize;
  // Passed once already, when the image was checked; this counts them.
  for (const CTlv::Header_t* p = walk.GetFirstRecord(); p; p = walk.GetNextRecord())
    Take(p, CTlvContainerParser::GetPaddedSize(p));
}

bool CGen6Verdict::Take(const CTlv::Header_t* pRecord, uint64_t paddedSize) {
  if (m_End == 0) m_End = CTlv::kHeaderSize;
  const int index = ++m_Count;
  const uint64_t offset = m_End;
  m_End += paddedSize;
  const unsigned int tag = CTlv::GetTag(pRecord);
  bool ok = Note(pRecord, index, offset);
  if (index == 1) ok = tag == mocf::kVersionTag && CMocfVersionParser(pRecord).IsValid() && ok;
  if (tag == mocf::kHashTag && m_FirstHash == 0) {
    m_FirstHash = index;
    ok = index == 2 && CMocfHashParser(pRecord).IsValid() && ok;
  }
  return m_Rules.CheckRecord(pRecord, index, offset) && ok;
}

bool CGen6Verdict::HoldsTogether() {
  return (m_FirstHash == 2 && m_Rules.RequireCompatProd(CompatProd() != nullptr) &&
          m_Rules.CheckProducts(CompatProd(), m_HasObjects, m_HasFirmware)) ||
         Refuse(m_Rules.GetReason());
}

const CTlv::Header_t* CGen6Verdict::CompatProd() const {
  return m_CompatProd.empty() ? nullptr : CTlv::AtByte(m_CompatProd.data());
}

// The first compatible-products record is checked where the MOCF-level
// checks would check it, ahead of the rules that read it.
bool CGen6Verdict::Note(const CTlv::Header_t* pRecord, int index, uint64_t offset) {
  const unsigned int tag = CTlv::GetTag(pRecord);
  m_HasObjects |= CMocfParser::IsObjectRecord(pRecord);
  m_HasFirmware |= tag == mocf::kFirmwareTag;
  if (tag != mocf::kCompatProdTag || !m_CompatProd.empty()) return true;
  const unsigned char* pBytes = CTlv::Bytes(pRecord);
  m_CompatProd.assign(pBytes, pBytes + CTlv::GetRecordSize(pRecord));
  CMocfCompatProdParser products(pRecord);
  return products.IsValid() ||
         Refuse(describe::RecordPlace(index, tag, offset) + ": " + products.GetReason());
}

bool CGen6Verdict::Append(const CTlv::Header_t* pRecord, uint64_t paddedSize) {
  const int index = ++m_Count;
  const uint64_t offset = m_End;
  m_End += paddedSize;
  if (!Note(pRecord, index, offset)) return false;
  if (m_Rules.RequireCompatProd(CompatProd() != nullptr) &&
      m_Rules.CheckProducts(CompatProd(), m_HasObjects, m_HasFirmware) &&
      m_Rules.CheckRecord(pRecord, index, offset))
    return true;
  return Refuse(m_Rules.GetReason());
}
