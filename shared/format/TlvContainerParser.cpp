#include "format/TlvContainerParser.h"

#include <algorithm>
#include <cassert>

#include "format/Describe.h"

CTlvContainerParser::CTlvContainerParser(const CTlv::Header_t* pContainer, size_t bytesAvailable)
    : m_pTlvContainer(pContainer), m_BytesAvailable(bytesAvailable), m_ObjectFind{nullptr, 0} {}

bool CTlvContainerParser::IsValid() {
  if (!m_pTlvContainer) return Refuse("there is no record");
  if (!HeaderReadable())
    return Refuse("the " + std::to_string(m_BytesAvailable) +
                  " bytes are too few for a record header (8)");
  if (CTlv::GetRecordSize(m_pTlvContainer) > m_BytesAvailable)
    return Refuse("the record claims 8 + " + std::to_string(CTlv::GetLength(m_pTlvContainer)) +
                  " bytes, only " + std::to_string(m_BytesAvailable) + " are there");
  return true;
}

bool CTlvContainerParser::HeaderReadable() const { return m_BytesAvailable >= CTlv::kHeaderSize; }

uint64_t CTlvContainerParser::ValueBytes() const {
  if (!HeaderReadable()) return 0;
  return std::min<uint64_t>(CTlv::GetLength(m_pTlvContainer), m_BytesAvailable - CTlv::kHeaderSize);
}

bool CTlvContainerParser::RecordFits(const CTlv::Header_t* pRecord, uint64_t bytesLeft) {
  return bytesLeft >= CTlv::kHeaderSize && CTlv::GetRecordSize(pRecord) <= bytesLeft;
}

const CTlv::Header_t* CTlvContainerParser::GetFirstRecord() {
  assert(m_pTlvContainer);
  m_ObjectFind.pRecord = nullptr;
  m_ObjectFind.BytesLeft = 0;
  const uint64_t valueBytes = ValueBytes();
  if (valueBytes == 0) return nullptr;
  const CTlv::Header_t* pFirst = CTlv::AtByte(CTlv::GetData(m_pTlvContainer));
  if (!RecordFits(pFirst, valueBytes)) return nullptr;
  m_ObjectFind.pRecord = pFirst;
  m_ObjectFind.BytesLeft = valueBytes;
  return pFirst;
}

const CTlv::Header_t* CTlvContainerParser::GetNextRecord() {
  assert(m_ObjectFind.pRecord);
  const uint64_t step = GetPaddedSize(m_ObjectFind.pRecord);
  if (m_ObjectFind.BytesLeft <= step) return nullptr;
  const CTlv::Header_t* pNext = CTlv::AtByte(CTlv::Bytes(m_ObjectFind.pRecord) + step);
  const uint64_t bytesLeft = m_ObjectFind.BytesLeft - step;
  // Leave the walk on the last good record so further calls stay null.
  if (!RecordFits(pNext, bytesLeft)) return nullptr;
  CReadPace::Moved(m_pPace, step);
  m_ObjectFind.pRecord = pNext;
  m_ObjectFind.BytesLeft = bytesLeft;
  return pNext;
}

int CTlvContainerParser::CalcNumPaddingBytes(const CTlv::Header_t* pRecord) {
  const unsigned int r = CTlv::GetLength(pRecord) % 4;
  return r == 0 ? 0 : static_cast<int>(4 - r);
}

uint64_t CTlvContainerParser::GetPaddedSize(const CTlv::Header_t* pRecord) {
  return CTlv::GetRecordSize(pRecord) + static_cast<uint64_t>(CalcNumPaddingBytes(pRecord));
}

int CTlvContainerParser::GetLength() {
  assert(m_pTlvContainer);
  if (!HeaderReadable()) return 0;
  return static_cast<int>(CTlv::GetLength(m_pTlvContainer));
}

int CTlvContainerParser::GetContainerSize() {
  assert(m_pTlvContainer);
  if (!HeaderReadable()) return 0;
  return static_cast<int>(CTlv::GetRecordSize(m_pTlvContainer));
}

bool CTlvContainerParser::FindRecord(unsigned int Tag, const CTlv::Header_t** ppRecord,
                                     int* pIndex) {
  const ObjectFind_t saved = m_ObjectFind;
  int position = 1;
  const CTlv::Header_t* p = GetFirstRecord();
  while (p && CTlv::GetTag(p) != Tag) {
    p = GetNextRecord();
    ++position;
  }
  if (p) {
    *ppRecord = p;
    if (pIndex) *pIndex = position;
  }
  m_ObjectFind = saved;
  return p != nullptr;
}

uint64_t CTlvContainerParser::OffsetOf(const void* p) const {
  return static_cast<uint64_t>(static_cast<const unsigned char*>(p) - CTlv::Bytes(m_pTlvContainer));
}

std::string CTlvContainerParser::WhyNoRecordAt(const unsigned char* pAt, uint64_t bytesLeft) const {
  const std::string at = describe::Hex(OffsetOf(pAt));
  if (bytesLeft < CTlv::kHeaderSize)
    return "the " + std::to_string(bytesLeft) + " bytes left at " + at +
           " are too few for a record header (8)";
  const CTlv::Header_t* pRecord = CTlv::AtByte(pAt);
  return "the record at " + at + " (tag " + describe::Hex(CTlv::GetTag(pRecord)) + ") claims 8 + " +
         std::to_string(CTlv::GetLength(pRecord)) + " bytes, only " + std::to_string(bytesLeft) +
         " are left";
}

bool CTlvContainerParser::WalkStoppedShort(std::string* pWhy) {
  assert(m_pTlvContainer);
  const unsigned char* pAt = CTlv::GetData(m_pTlvContainer);
  uint64_t bytesLeft = ValueBytes();
  if (m_ObjectFind.pRecord) {
    const uint64_t step = GetPaddedSize(m_ObjectFind.pRecord);
    if (m_ObjectFind.BytesLeft <= step) return false;
    pAt = CTlv::Bytes(m_ObjectFind.pRecord) + step;
    bytesLeft = m_ObjectFind.BytesLeft - step;
  }
  if (bytesLeft == 0) return false;
  *pWhy = WhyNoRecordAt(pAt, bytesLeft);
  return true;
}
