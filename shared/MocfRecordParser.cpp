#include "MocfRecordParser.h"

#include <algorithm>
#include <cstdint>

#include "Coding.h"
#include "MocfTags.h"

bool CMocfVersionParser::IsValid() {
  return CTlv::GetLength(m_pRecord) >= 1 && CTlv::GetData(m_pRecord)[0] == 0;
}

bool CMocfHashParser::IsValid() { return CTlv::GetLength(m_pRecord) == mocf::kHashSize; }

const unsigned char* CMocfHashParser::GetHash() { return CTlv::GetData(m_pRecord); }

bool CMocfCompatProdParser::IsValid() {
  const uint64_t length = CTlv::GetLength(m_pRecord);
  return length >= 4 && 4 * (static_cast<uint64_t>(GetNumItems()) + 1) == length;
}

unsigned int CMocfCompatProdParser::GetNumItems() {
  if (CTlv::GetLength(m_pRecord) < 4) return 0;
  return coding::DecodeFixed32(CTlv::GetData(m_pRecord));
}

unsigned int CMocfCompatProdParser::ReadableItems() {
  const unsigned int length = CTlv::GetLength(m_pRecord);
  if (length < 4) return 0;
  return std::min(GetNumItems(), (length - 4) / 4);
}

bool CMocfCompatProdParser::FindId(unsigned int Id) {
  const unsigned char* pNumbers = CTlv::GetData(m_pRecord) + 4;
  const unsigned int count = ReadableItems();
  for (unsigned int i = 0; i < count; ++i) {
    if (coding::DecodeFixed32(pNumbers + 4 * static_cast<size_t>(i)) == Id) return true;
  }
  return false;
}
