#include "MocfParser.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "MocfRecordParser.h"
#include "MocfTags.h"

CMocfParser::CMocfParser(const CTlv::Header_t* pContainer, size_t bytesAvailable)
    : CTlvContainerParser(pContainer, bytesAvailable) {}

bool CMocfParser::IsValid() {
  return CTlvContainerParser::IsValid() && CTlv::GetTag(m_pTlvContainer) == mocf::kMocfTag &&
         HasValidVersionFirst() && HasValidHashOrNone() && HasValidCompatProdOrNone();
}

bool CMocfParser::HasValidVersionFirst() {
  const CTlv::Header_t* pRecord = nullptr;
  int index = 0;
  return FindRecord(mocf::kVersionTag, &pRecord, &index) && index == 1 &&
         CMocfVersionParser(pRecord).IsValid();
}

bool CMocfParser::HasValidHashOrNone() {
  const CTlv::Header_t* pRecord = nullptr;
  int index = 0;
  if (!FindRecord(mocf::kHashTag, &pRecord, &index)) return true;
  CMocfHashParser hash(pRecord);
  if (index != 2 || !hash.IsValid()) return false;
  if (m_TrustStoredHash) return true;
  unsigned char digest[mocf::kHashSize];
  return CalcHash(digest) && std::memcmp(digest, hash.GetHash(), mocf::kHashSize) == 0;
}

bool CMocfParser::HasValidCompatProdOrNone() {
  const CTlv::Header_t* pRecord = nullptr;
  return !FindRecord(mocf::kCompatProdTag, &pRecord, nullptr) ||
         CMocfCompatProdParser(pRecord).IsValid();
}

bool CMocfParser::CalcHash(unsigned char* pHash) {
  assert(m_pTlvContainer);
  if (!m_HashKnown) {
    m_Sha1.Init();
    m_HashFilled = CTlvContainerParser::IsValid() && HashRecords(m_pTlvContainer);
    m_Sha1.GetResult(m_Hash);
    m_HashKnown = true;
  }
  std::memcpy(pHash, m_Hash, sizeof m_Hash);
  return m_HashFilled;
}

bool CMocfParser::CalcHash(const CTlv::Header_t* pHeader, unsigned char* pHash) {
  assert(m_pTlvContainer);
  m_Sha1.Init();
  const bool filled = m_BytesAvailable >= CTlv::kHeaderSize &&
                      CTlv::GetLength(pHeader) <= m_BytesAvailable - CTlv::kHeaderSize &&
                      HashRecords(pHeader);
  m_Sha1.GetResult(pHash);
  return filled;
}

void CMocfParser::SetHash(const unsigned char* pHash, bool filled) {
  std::memcpy(m_Hash, pHash, sizeof m_Hash);
  m_HashFilled = filled;
  m_HashKnown = true;
}

// Hashes the header and the records in file order. Stops, reporting that
// the container is not filled, at the first record that would run past the
// container's end: nothing outside the container is ever hashed.
bool CMocfParser::HashRecords(const CTlv::Header_t* pHeader) {
  m_Sha1.Update(CTlv::Bytes(pHeader), CTlv::kHeaderSize);
  uint64_t bytesLeft = CTlv::GetLength(pHeader);
  const unsigned char* pPosition = CTlv::GetData(m_pTlvContainer);
  while (bytesLeft > 0) {
    const CTlv::Header_t* pRecord = CTlv::AtByte(pPosition);
    if (bytesLeft < CTlv::kHeaderSize || GetPaddedSize(pRecord) > bytesLeft) return false;
    const uint64_t step = HashNextRecord(pRecord);
    pPosition += step;
    bytesLeft -= step;
  }
  return true;
}

uint64_t CMocfParser::HashNextRecord(const CTlv::Header_t* pRecord) {
  const uint64_t step = GetPaddedSize(pRecord);
  if (CTlv::GetTag(pRecord) == mocf::kHashTag) return step;
  // The hash takes 32-bit counts; a record may in principle be larger.
  const unsigned char* p = CTlv::Bytes(pRecord);
  for (uint64_t left = step; left > 0;) {
    const unsigned int chunk = static_cast<unsigned int>(std::min<uint64_t>(left, 1u << 30));
    m_Sha1.Update(p, chunk);
    p += chunk;
    left -= chunk;
  }
  return step;
}

bool CMocfParser::IsObjectRecord(const CTlv::Header_t* pRecord) {
  return CTlv::GetTag(pRecord) > mocf::kFirstObjectTag - 1;
}
