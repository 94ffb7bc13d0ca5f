#include "format/MocfParser.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "format/Coding.h"
#include "format/Describe.h"
#include "format/MocfRecordParser.h"
#include "format/MocfTags.h"

const char CMocfParser::kNotMocf[] = "not a MOCF: it does not begin with the tag MOCF";

bool CMocfParser::IsNotMocf(const unsigned char* pImage, size_t size, std::string* pReason) {
  if (size < sizeof(uint32_t) || coding::DecodeFixed32(pImage) == mocf::kMocfTag) return false;
  if (pReason) *pReason = kNotMocf;
  return true;
}

CMocfParser::CMocfParser(const CTlv::Header_t* pContainer, size_t bytesAvailable)
    : CTlvContainerParser(pContainer, bytesAvailable) {}

bool CMocfParser::IsValid() {
  if (!CTlvContainerParser::IsValid()) return false;
  const unsigned int tag = CTlv::GetTag(m_pTlvContainer);
  if (tag != mocf::kMocfTag)
    return Refuse("the container's tag is " + describe::Hex(tag) + ", not 0x46434F4D (\"MOCF\")");
  return HasValidVersionFirst() && HasValidHashOrNone() && HasValidCompatProdOrNone();
}

std::string CMocfParser::Place(const CTlv::Header_t* pRecord, int index) const {
  return describe::RecordPlace(index, CTlv::GetTag(pRecord), OffsetOf(pRecord));
}

bool CMocfParser::HasValidVersionFirst() {
  const CTlv::Header_t* pFirst = GetFirstRecord();
  if (!pFirst) {
    if (ValueBytes() == 0)
      return Refuse("the MOCF holds no records; a version record must come first");
    return Refuse("no version record comes first: " +
                  WhyNoRecordAt(CTlv::GetData(m_pTlvContainer), ValueBytes()));
  }
  if (CTlv::GetTag(pFirst) != mocf::kVersionTag)
    return Refuse(Place(pFirst, 1) + ": the first record must be the version record (tag 0x0)");
  CMocfVersionParser version(pFirst);
  return version.IsValid() || Refuse(Place(pFirst, 1), version);
}

bool CMocfParser::HasValidHashOrNone() {
  const CTlv::Header_t* pRecord = nullptr;
  int index = 0;
  if (!FindRecord(mocf::kHashTag, &pRecord, &index)) return true;
  CMocfHashParser hash(pRecord);
  if (index != 2)
    return Refuse(Place(pRecord, index) + ": the hash record must be the second record");
  if (!hash.IsValid()) return Refuse(Place(pRecord, index), hash);
  if (m_TrustStoredHash) return true;
  unsigned char digest[mocf::kHashSize];
  if (!CalcHash(digest)) return Refuse("the records do not fill the container: " + m_HashGap);
  if (std::memcmp(digest, hash.GetHash(), mocf::kHashSize) != 0)
    return Refuse(DigestMismatch(hash.GetHash(), digest));
  return true;
}

bool CMocfParser::HasValidCompatProdOrNone() {
  const CTlv::Header_t* pRecord = nullptr;
  int index = 0;
  if (!FindRecord(mocf::kCompatProdTag, &pRecord, &index)) return true;
  CMocfCompatProdParser products(pRecord);
  return products.IsValid() || Refuse(Place(pRecord, index), products);
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
    if (bytesLeft < CTlv::kHeaderSize || CTlv::GetRecordSize(pRecord) > bytesLeft) {
      m_HashGap = WhyNoRecordAt(pPosition, bytesLeft);
      return false;
    }
    if (GetPaddedSize(pRecord) > bytesLeft) {
      m_HashGap = "the record at " + describe::Hex(OffsetOf(pRecord)) + " lacks its " +
                  std::to_string(GetPaddedSize(pRecord) - CTlv::GetRecordSize(pRecord)) +
                  " padding bytes at the container's end";
      return false;
    }
    const uint64_t step = HashNextRecord(pRecord);
    pPosition += step;
    bytesLeft -= step;
  }
  return true;
}

uint64_t CMocfParser::HashNextRecord(const CTlv::Header_t* pRecord) {
  const uint64_t step = GetPaddedSize(pRecord);
  if (CTlv::GetTag(pRecord) == mocf::kHashTag) return step;
  // The hash takes 32-bit counts, and a paced reader gives pages back as
  // it goes; a record may in principle be larger than either allows.
  const unsigned char* p = CTlv::Bytes(pRecord);
  const uint64_t most = CReadPace::Step(m_pPace, 1u << 30);
  for (uint64_t left = step; left > 0;) {
    const unsigned int chunk = static_cast<unsigned int>(std::min<uint64_t>(left, most));
    m_Sha1.Update(p, chunk);
    CReadPace::Moved(m_pPace, chunk);
    p += chunk;
    left -= chunk;
  }
  return step;
}

std::string CMocfParser::DigestMismatch(const unsigned char* pStored,
                                        const unsigned char* pComputed) {
  return "the stored hash " + describe::HexBytes(pStored, mocf::kHashSize) +
         " does not match the records' hash " + describe::HexBytes(pComputed, mocf::kHashSize);
}

bool CMocfParser::IsObjectRecord(const CTlv::Header_t* pRecord) {
  return CTlv::GetTag(pRecord) > mocf::kFirstObjectTag - 1;
}
