#include "Gen6Verdict.h"

#include "Describe.h"
#include "MocfRecordParser.h"
#include "MocfTags.h"
#include "TlvContainerParser.h"

void CGen6Verdict::Start(const unsigned char* pImage, size_t size) {
  CTlvContainerParser walk(CTlv::AtByte(pImage), size);
  m_End = CTlv::kHeaderSize;
  for (const CTlv::Header_t* p = walk.GetFirstRecord(); p; p = walk.GetNextRecord()) {
    ++m_Count;
    Note(p, m_Count, m_End);
    // Passed once already, when the image was checked; this counts it.
    m_Rules.CheckRecord(p, m_Count, m_End);
    m_End += CTlvContainerParser::GetPaddedSize(p);
  }
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
  const CTlv::Header_t* pCompatProd =
      m_CompatProd.empty() ? nullptr : CTlv::AtByte(m_CompatProd.data());
  if (m_Rules.RequireCompatProd(pCompatProd != nullptr) &&
      m_Rules.CheckProducts(pCompatProd, m_HasObjects, m_HasFirmware) &&
      m_Rules.CheckRecord(pRecord, index, offset))
    return true;
  return Refuse(m_Rules.GetReason());
}
